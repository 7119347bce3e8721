// Small constructors, rotation and wrapping helpers, and developer diagnostics.
#pragma once

#include "NiftyMaths.h"

namespace ambrel {

void Rotate(VECTOR3D* v, float ax, float ay, float az);
VECTOR3D CalculateNormal(VECTOR3D p1, VECTOR3D p2, VECTOR3D p3);
double clamp(double v, double lo, double hi);
VECTOR3D MakePoint(float x, float y, float z);
point2d Make2DPoint(float x, float y);
COLOUR MakeColour(float r, float g, float b, float a);

// Diagnostics: each call opens the diagnostic file, writes once and closes it;
// none of them ever fails the caller.
void DEBUG(double value);
void DEBUGstr(const char* text);
void DEBUGp3d(VECTOR3D v);
void ERRORBOX(const char* text);
void ERRORCLOSE(const char* text);
void CalcFrameRate(double now);

// The diagnostic file's path. Tests point it elsewhere; null restores the default.
const char* DiagnosticPath();
void SetDiagnosticPath(const char* path);

extern int fCount;
extern double frameRate;
extern double lastcountTime;
extern int lastcountFrame;

}  // namespace ambrel
