#pragma once

#include <string>

#include "import3ds/model3ds.h"

// The entry of the model-reader module, which the importing child process loads by name:
// reads the model at `path` into `model`, leaving `reason` empty, or says in `reason` why the
// file could not be read.
extern "C" void lumoraReadModel(const char* path, Model3DS* model, std::string* reason);

// The module's file name.
constexpr const char* kModelReaderName = "lumora-model-reader.so";
