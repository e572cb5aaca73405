#include "model/globals.h"

Vector3 Slab[3];

ObjectRecord* myObjectList = nullptr;
ObjectRecord* myLightList = nullptr;
ColorEntry* myColorList = nullptr;

ViewPoint myViewPoint;
DisplaySettings myDisplay;
Haze myHaze;
Color myBackGroundColor;

int nPrims = 0;

int iNumSphere, iNumRing, iNumPlane, iNumCone, iNumCylinder, iNumDisc, iNumPolygone, iNumTriangle,
    iNumPatch, iNumSurface, iNumLight;
int iNumMesh;
long iNumMeshFace;

int iPQSize = 128;
int maxQueueSize = 0;
int bunching = 4;
int numThreads = 2;
int use3ds = 0;
int iCameraIndex = 0;
int iCameraGiven = 0;
char inputFileName[kInputFileNameSize];

int iImageType = IMAGE_BMP;
int iAntialias = ANTIALIAS_NONE;
int jitter = 0;
int iStatistics = 0;
int adapt_dist = 20;
int jpeg_quality = 0;
int image_width = 0;
int image_height = 0;

RowBand iBounds[kMaxThreads];

bool multiThreaded = false;
