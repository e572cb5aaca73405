#pragma once

#include <vector>

#include "import3ds/model3ds.h"
#include "model/records.h"

// Makes one smooth triangle (a patch) per face of every object, given surfaces[k] for object
// k, and puts them on myObjectList in object order. The faces of an object share its vertices
// and normals: the object's own normals when it has one per vertex, else normals averaged over
// the faces around each vertex. A face whose corners span no plane is dropped. Each object's
// arrays are released once its patches exist. Returns how many patches it made.
long addMeshFaces(std::vector<Object3DS>& objects, const std::vector<const Surface*>& surfaces);
