#pragma once

#include <cstdio>
#include <exception>

// Ends the run: thrown where the program must stop with a given exit status, and turned
// into that status by main. Throwing instead of calling exit() lets a test drive the
// parser or the command line inside its own process and inspect how the run ended.
class ProgramExit : public std::exception {
  public:
    explicit ProgramExit(int status) : status_(status) {}
    int status() const { return status_; }
    const char* what() const noexcept override { return "program exit"; }

  private:
    int status_;
};

// The status of command-line, scene and 3DS errors: -1, which the shell sees as 255.
constexpr int kErrorStatus = -1;

[[noreturn]] inline void endProgram(int status) {
    std::fflush(stdout);
    throw ProgramExit(status);
}
