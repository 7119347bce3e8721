#include "support/Misc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace ambrel {

namespace {

constexpr double kPi = 3.141592653589793;

// Beyond this many steps the wrap would crawl (or never move v at all).
constexpr long kMaxWrapSteps = 1L << 20;

#ifdef __APPLE__
constexpr const char* kDefaultDiagnosticPath = "/Users/Shared/debug.txt";
#else
constexpr const char* kDefaultDiagnosticPath = "/tmp/debug.txt";
#endif

std::string& DiagnosticPathStorage() {
  static std::string path = kDefaultDiagnosticPath;
  return path;
}

float ToRadians(float degrees) { return static_cast<float>(degrees * kPi / 180.0); }

// The diagnostic file sits in a directory every user can write, so whatever is
// found there may have been planted: never follow a link, never block on a FIFO,
// and write only into a regular file.
FILE* OpenDiagnosticFile(bool append) {
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : 0);
  const int fd = ::open(DiagnosticPath(), flags, 0644);
  if (fd < 0) return nullptr;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (!append && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return nullptr;
  }
  FILE* file = ::fdopen(fd, append ? "a" : "w");
  if (!file) ::close(fd);
  return file;
}

}  // namespace

int fCount = 0;
double frameRate = 0.0;
double lastcountTime = 0.0;
int lastcountFrame = 0;

void Rotate(VECTOR3D* v, float ax, float ay, float az) {
  if (!v) return;
  if (ax == 0.0f && ay == 0.0f && az == 0.0f) return;
  const float rx = ToRadians(ax);
  const float ry = ToRadians(ay);
  const float rz = ToRadians(az);

  if (rx != 0.0f) {
    const double c = std::cos(static_cast<double>(rx)), s = std::sin(static_cast<double>(rx));
    const float y = static_cast<float>(c * v->y - s * v->z);
    const float z = static_cast<float>(s * v->y + c * v->z);
    v->y = y;
    v->z = z;
  }
  if (ry != 0.0f) {
    const double c = std::cos(static_cast<double>(ry)), s = std::sin(static_cast<double>(ry));
    const float x = static_cast<float>(c * v->x + s * v->z);
    const float z = static_cast<float>(c * v->z - s * v->x);
    v->x = x;
    v->z = z;
  }
  if (rz != 0.0f) {
    const double c = std::cos(static_cast<double>(rz)), s = std::sin(static_cast<double>(rz));
    const float x = static_cast<float>(c * v->x - s * v->y);
    const float y = static_cast<float>(s * v->x + c * v->y);
    v->x = x;
    v->y = y;
  }
}

VECTOR3D CalculateNormal(VECTOR3D p1, VECTOR3D p2, VECTOR3D p3) {
  return VectorCrossProduct(SubtractVectors(p1, p2), SubtractVectors(p2, p3));
}

double clamp(double v, double lo, double hi) {
  // A step that is not positive, or a value that is not finite, can never be wrapped.
  if (!(hi > 0.0) || !std::isfinite(v)) return v;
  if (std::fabs(v) / hi > static_cast<double>(kMaxWrapSteps)) v = std::fmod(v, hi);
  long steps = 0;
  while (v < lo && steps++ < kMaxWrapSteps) v += hi;
  while (v >= hi && steps++ < kMaxWrapSteps) v -= hi;
  return v;
}

VECTOR3D MakePoint(float x, float y, float z) { return {x, y, z}; }

point2d Make2DPoint(float x, float y) { return {x, y}; }

COLOUR MakeColour(float r, float g, float b, float a) { return {r, g, b, a}; }

const char* DiagnosticPath() { return DiagnosticPathStorage().c_str(); }

void SetDiagnosticPath(const char* path) {
  DiagnosticPathStorage() = path ? path : kDefaultDiagnosticPath;
}

void DEBUG(double value) {
  if (FILE* file = OpenDiagnosticFile(true)) {
    std::fprintf(file, "%f\n", value);
    std::fclose(file);
  }
}

void DEBUGstr(const char* text) {
  if (FILE* file = OpenDiagnosticFile(false)) {
    std::fprintf(file, "%s\n", text ? text : "");
    std::fclose(file);
  }
}

void DEBUGp3d(VECTOR3D v) {
  if (FILE* file = OpenDiagnosticFile(false)) {
    std::fprintf(file, "%f,%f,%f\n", static_cast<double>(v.x), static_cast<double>(v.y),
                 static_cast<double>(v.z));
    std::fclose(file);
  }
}

void ERRORBOX(const char*) {}

void ERRORCLOSE(const char*) {}

void CalcFrameRate(double now) {
  if (now < 0.25) return;
  if (now > lastcountTime + 0.25) {
    // Wraps like the 32-bit counters it compares instead of overflowing.
    const int32_t frames = static_cast<int32_t>(static_cast<uint32_t>(fCount) -
                                                static_cast<uint32_t>(lastcountFrame));
    frameRate = frames / (now - lastcountTime);
    lastcountTime = now;
    lastcountFrame = fCount;
  }
}

}  // namespace ambrel
