#include "scene/SSMain.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <new>

#include "image/TextureStore.h"
#include "scene/GLFrame.h"
#include "scene/SceneLimits.h"
#include "support/Misc.h"

namespace ambrel {

namespace {

// A drawable that is momentarily zero pixels high still needs a finite aspect; the
// surface is then stretched as if it were one pixel high.
float AspectOf(int width, int height) { return (float)width / (float)(height > 0 ? height : 1); }

void TexturedQuad(float left, float bottom, float right, float top) {
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(left, bottom);
  glTexCoord2f(1, 0);
  glVertex2f(right, bottom);
  glTexCoord2f(1, 1);
  glVertex2f(right, top);
  glTexCoord2f(0, 1);
  glVertex2f(left, top);
  glEnd();
}

// The overlay reads fixed slots; a pack shorter than that has no record there, and
// the quad then draws with no texture, like an empty slot.
uint32_t SlotTexture(const SSMAIN& scene, uint32_t slot) {
  if (!scene.textures || scene.textureCount < 0 || slot >= (uint32_t)scene.textureCount) return 0;
  return scene.textures[slot].texID;
}

SceneQuad Quad(float x, float y, float right, float top, uint32_t texture) {
  SceneQuad quad;
  quad.x = x;
  quad.y = y;
  quad.right = right;
  quad.top = top;
  quad.texture = texture;
  return quad;
}

}  // namespace

float ViewAspect(double width, double height) {
  const float aspect = static_cast<float>(width) / static_cast<float>(height);
  return std::isfinite(aspect) && aspect > 0 ? aspect : 1.0f;
}

void SSMAIN::SetSize(int newWidth, int newHeight) {
  width = newWidth;
  height = newHeight;
  aspect = AspectOf(newWidth, newHeight);
}

bool SSMAIN::Setup(bool preview, int newWidth, int newHeight, SETTINGS* settings) {
  isPreview = preview;

  lighting = settings->LIGHTING;
  wantBowl = settings->WANTBOWL;
  waterSpeed = (float)Accepted(kWaterSpeedLimits, settings->WATERSPEED) / 100.0f;
  waterShift = Accepted(kWaterShiftLimits, settings->WATERSHIFT);
  dripSpeed = Accepted(kDripSpeedLimits, settings->DRIPSPEED);
  overlay = settings->OVERLAY;

  delete water;
  water = new (std::nothrow) WATERCLASS();
  if (!water) return false;

  delete[] textures;  // destructors run from the last record to the first
  textures = new (std::nothrow) Texture[9];
  if (!textures) {
    textureCount = 0;
    return false;
  }
  // The records the array holds, so that the overlay's slot lookups stay inside it.
  textureCount = 9;

  width = newWidth;
  height = newHeight;
  aspect = AspectOf(newWidth, newHeight);

  placedLight = lightPos;
  // A store that is not OpenGL's means no context to prepare: the frames are drawn elsewhere.
  if (CurrentTextureStore().IsOpenGL()) {
    SceneFrame frame;
    DescribeCamera(&frame);
    PrepareGLScene(frame);
  }

  water->Initialize((unsigned short)waterShift, 64.0f, wantBowl, waterSpeed);
  return true;
}

void SSMAIN::Cleanup() {
  delete water;
  water = nullptr;
  delete[] textures;
  textures = nullptr;
  CurrentTextureStore().Delete(backgroundTexture);
  backgroundTexture = 0;
  if (CurrentTextureStore().IsOpenGL()) ReleaseGLScene();
}

void SSMAIN::Update(double dt) {
  frameTime = dt;
  totalTime += dt;
  if (!water) return;

  water->Update(cameraEye, lightPos, false, dt);

  dropTimer = (float)((double)dropTimer - dt);
  if (dropTimer < 0) {
    float strength = (float)((rand() % 150) / 100.0 + 0.5);
    water->Drop(strength);
    dropTimer = (float)((dripSpeed + (int64_t)rand() % dripSpeed) / 100.0);
  }
}

void SSMAIN::Draw() {
  SceneFrame frame;
  Describe(&frame);
  DrawSceneFrameGL(frame);
}

void SSMAIN::DoOverlay() {
  SceneFrame frame;
  DescribeCamera(&frame);
  DescribeOverlay(&frame);
  DrawOverlayGL(frame);
}

void SSMAIN::DescribeCamera(SceneFrame* frame) const {
  frame->width = width;
  frame->height = height;
  frame->perspectiveAspect = ViewAspect(width, height);
  frame->eye = cameraEye;
  frame->target = cameraTarget;
  frame->up = VECTOR3D{0, 0, -1};
  frame->lightPosition = placedLight;
}

void SSMAIN::Describe(SceneFrame* frame) {
  DescribeCamera(frame);
  if (lighting) {
    frame->placeLight = true;
    frame->lightPosition = placedLight = lightPos;

    float t = (float)frameTime;
    lightPos.x = lightPos.x + (lightTarget.x - lightPos.x) * t * 0.25f;
    lightPos.y = lightPos.y + (lightTarget.y - lightPos.y) * t * 0.25f;
    lightPos.z = lightPos.z + (lightTarget.z - lightPos.z) * t * 0.25f;
    Rotate(&lightTarget, 0, (float)(5.0 * frameTime), 0);
  }

  // The banner's fade darkens the water under it.
  for (int i = 0; i < 3; ++i) frame->waterColour[i] = 1 - bannerAlpha;
  frame->waterColour[3] = 1;
  frame->waterScaleX = aspect;
  frame->backgroundTexture = backgroundTexture;
  if (water && water->vertices && water->indices) {
    frame->vertices = water->vertices;
    frame->vertexCount = water->vertexCount;
    frame->strip = water->indices;
    frame->stripLength = water->indexCount - 2;
  }

  // Without the overlay the banner never fades in, so the water stays bright.
  if (!isPreview && overlay) DescribeOverlay(frame);
}

void SSMAIN::DescribeOverlay(SceneFrame* frame) {
  // Strip: hidden 60 s at first, then 30 s, shown 20 s; each showing picks a caption,
  // a side for the badge and the other edge.
  overlayTimer = (float)((double)overlayTimer - frameTime);
  if (overlayTimer < 0) {
    overlayTimer = 30;
    if (!overlayShown) {
      captionSlot = rand() % 2 + 4;
      overlayPos.x = (rand() & 1) ? (float)(width - 256) : 0.0f;
      overlayAtTop = !overlayAtTop;
      overlayPos.y = overlayAtTop ? (float)(height + 40) : -40.0f;
      overlayTimer = 20;
    }
    overlayShown = !overlayShown;
  }
  double target;
  if (overlayShown)
    target = overlayAtTop ? height - 40 : 5;
  else
    target = overlayAtTop ? height + 40 : -40;
  overlayPos.y = (float)(overlayPos.y + (target - overlayPos.y) * frameTime);

  frame->overlay = true;
  frame->badge = Quad(overlayPos.x, overlayPos.y, 256, 32, SlotTexture(*this, 1));
  frame->caption = Quad((float)(width * 0.5 - 256), overlayPos.y, 512, 32, SlotTexture(*this, captionSlot));

  // Banner: drawn in the 1024 x 768 canvas.
  frame->canvasX = (float)width / 1024.0f;
  frame->canvasY = (float)height / 768.0f;
  bannerTimer = (float)((double)bannerTimer - frameTime);
  if (bannerTimer > 0) {
    if (bannerAlpha < 1)
      bannerAlpha = (float)(bannerAlpha + 0.5 * frameTime);
    else
      bannerAlpha = 1;
  } else {
    if (bannerAlpha > 0) {
      bannerAlpha = (float)(bannerAlpha - 0.5 * frameTime);
    } else {
      bannerAlpha = 0;
      if (bannerTimer < -40) bannerTimer = 20;
    }
  }

  frame->bannerShown = bannerAlpha > 0;
  if (frame->bannerShown) {
    frame->banner = Quad(0, 352, 1024, 64, SlotTexture(*this, captionSlot));
    frame->banner.canvasX = frame->canvasX;
    frame->banner.canvasY = frame->canvasY;
    frame->banner.colour[3] = bannerAlpha;
  }
}

void SSMAIN::DoIntro() {
  glPushMatrix();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);

  if (totalTime < 12) {
    if (introTitleAlpha < 1)
      introTitleAlpha = (float)(introTitleAlpha + frameTime);
    else if (introSubtitleAlpha < 1)
      introSubtitleAlpha = (float)(introSubtitleAlpha + frameTime);
  } else {
    if (introTitleAlpha > 0)
      introTitleAlpha = (float)(introTitleAlpha - frameTime);
    else if (introSubtitleAlpha > 0)
      introSubtitleAlpha = (float)(introSubtitleAlpha - frameTime);
    else
      introDone = true;
  }

  glPushMatrix();
  glBindTexture(GL_TEXTURE_2D, SlotTexture(*this, 2));
  glTranslatef(512, 614.4f, 0);
  glColor4f(1, 1, 1, introTitleAlpha);
  glScalef(2, 2, 1);
  TexturedQuad(-128, -32, 128, 32);
  glPopMatrix();

  glPushMatrix();
  glBindTexture(GL_TEXTURE_2D, SlotTexture(*this, 3));
  glTranslatef(1024 - 512 * introSlide, 192, 0);
  glColor4f(1, 1, 1, introSubtitleAlpha);
  glScalef(2, 2, 1);
  TexturedQuad(-128, -64, 128, 64);
  glPopMatrix();

  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glPopMatrix();
}

void SSMAIN::Clock(int* hour, int* minute, int* second) {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  *hour = local.tm_hour;
  *minute = local.tm_min;
  *second = local.tm_sec;
}

}  // namespace ambrel
