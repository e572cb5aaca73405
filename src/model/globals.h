#pragma once

#include "model/records.h"

// The one scene of the run, and the options that steer its rendering. The loaders fill
// them, the hierarchy builder rearranges the object list, the renderer only reads.

extern Vector3 Slab[3];  // slab normals: the x, y and z axes

extern ObjectRecord* myObjectList;
extern ObjectRecord* myLightList;
extern ColorEntry* myColorList;

extern ViewPoint myViewPoint;
extern DisplaySettings myDisplay;
extern Haze myHaze;
extern Color myBackGroundColor;

extern int nPrims;  // records in the object hierarchy: primitives, then composites too

// Per-keyword counts of the parse summary.
extern int iNumSphere, iNumRing, iNumPlane, iNumCone, iNumCylinder, iNumDisc, iNumPolygone,
    iNumTriangle, iNumPatch, iNumSurface, iNumLight;
// Mesh statements read, and the faces they added (counted apart from the patches and
// triangles of the scene's own blocks).
extern int iNumMesh;
extern long iNumMeshFace;

extern int iPQSize;       // capacity of the traversal's priority queue
extern int maxQueueSize;  // high-water mark of that queue
extern int bunching;      // group size at which the slab hierarchy stops splitting
extern int numThreads;    // render threads of the multithreaded build
extern int use3ds;        // 1 when the input is a 3DS model
extern int iCameraIndex;  // 3DS camera chosen on the command line, counted from 0
extern int iCameraGiven;  // 1 when "-c" chose it: it then wins over the settings' camera_index

constexpr int kInputFileNameSize = 512;
extern char inputFileName[kInputFileNameSize];

enum ImageType : int {
    IMAGE_TGA = 0,
    IMAGE_BMP = 1,
    IMAGE_PPM = 2,
    IMAGE_PNG = 3,
    IMAGE_JPEG = 4,
    IMAGE_TIFF = 5,
};
extern int iImageType;

enum AntialiasMode : int { ANTIALIAS_NONE = 0, ANTIALIAS_QUICK = 1, ANTIALIAS_ADAPTIVE = 2 };
extern int iAntialias;
extern int jitter;
extern int iStatistics;  // 1 when "--stats" asks for the render's figures
extern int adapt_dist;   // colour distance above which adaptive anti-aliasing subdivides
extern int jpeg_quality;
extern int image_width, image_height;  // image size as the JPEG writer keeps it

constexpr int kMaxThreads = 8;
extern RowBand iBounds[kMaxThreads];

// True in the multithreaded program: it has its own banner, usage line and "-t" option.
extern bool multiThreaded;
