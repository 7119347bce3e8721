// One frame of the scene as plain data: what is drawn, with no word about how.
// The OpenGL replay and the CPU renderer both draw from it.
#pragma once

#include <cstdint>

#include "support/NiftyMaths.h"
#include "water/Water.h"

namespace ambrel {

// The perspective the host sets before every frame.
constexpr double kViewFieldOfView = 45.0;
constexpr double kViewNear = 1.0;
constexpr double kViewFar = 100.0;

// A drawable with no height (a collapsed window) would put an infinite aspect into
// the projection; it is drawn as square instead.
float ViewAspect(double width, double height);

// A textured rectangle of the overlay, in pixels of a canvas scaled by
// (canvasX, canvasY) onto the drawable: the rectangle [left, right] x [bottom, top]
// moved by (x, y). Texture 0 draws the bare colour. Blended by source alpha.
struct SceneQuad {
  float canvasX = 1, canvasY = 1;
  float x = 0, y = 0;
  float left = 0, bottom = 0, right = 0, top = 0;
  uint32_t texture = 0;
  float colour[4] = {1, 1, 1, 1};
};

struct SceneFrame {
  int width = 0, height = 0;

  // The camera (gluLookAt) under the host's perspective of this aspect.
  float perspectiveAspect = 1;
  VECTOR3D eye{}, target{}, up{};

  // Light 0 (white diffuse, grey specular, no ambient) sits at lightPosition, a
  // point in world space; placeLight says whether this frame hands it over again
  // (otherwise it stays where it was placed at setup, which is the same point).
  bool placeLight = false;
  VECTOR3D lightPosition{};

  // The water: a triangle strip over the grid's vertices, scaled by waterScaleX
  // along x, coloured (ambient and diffuse material) and textured with the
  // background. A frame without water draws only the clear colour.
  float waterColour[4] = {1, 1, 1, 1};
  float waterScaleX = 1;
  uint32_t backgroundTexture = 0;
  const WATERVERTEX* vertices = nullptr;
  uint32_t vertexCount = 0;
  const uint16_t* strip = nullptr;
  uint32_t stripLength = 0;

  // The overlay, drawn over the water without lighting or depth: the badge and
  // the caption, then (when shown) the banner.
  bool overlay = false;
  SceneQuad badge, caption;
  float canvasX = 1, canvasY = 1;
  bool bannerShown = false;
  SceneQuad banner;
};

}  // namespace ambrel
