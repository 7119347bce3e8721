#include "scene/SSMain.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>
#include <ctime>
#include <new>

#include "scene/Settings.h"
#include "support/Misc.h"

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
GLuint SlotTexture(const SSMAIN& scene, uint32_t slot) {
  if (!scene.textures || scene.textureCount < 0 || slot >= (uint32_t)scene.textureCount) return 0;
  return scene.textures[slot].texID;
}

}  // namespace

void SSMAIN::SetSize(int newWidth, int newHeight) {
  width = newWidth;
  height = newHeight;
  aspect = AspectOf(newWidth, newHeight);
}

bool SSMAIN::Setup(bool preview, int newWidth, int newHeight, SETTINGS* settings) {
  isPreview = preview;
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  lighting = settings->LIGHTING;
  wantBowl = settings->WANTBOWL;
  waterSpeed = (float)AcceptedValue(*SettingForKey("WaterSpeed"), settings->WATERSPEED) / 100.0f;
  waterShift = AcceptedValue(*SettingForKey("WaterRes"), settings->WATERSHIFT);
  dripSpeed = AcceptedValue(*SettingForKey("DripSpeed"), settings->DRIPSPEED);

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

  gluLookAt(cameraEye.x, cameraEye.y, cameraEye.z, cameraTarget.x, cameraTarget.y, cameraTarget.z, 0, 0, -1);

  const GLfloat ambient[] = {0, 0, 0, 0};
  const GLfloat diffuse[] = {1, 1, 1, 1};
  const GLfloat specular[] = {0.3f, 0.3f, 0.3f, 1};
  const GLfloat position[] = {lightPos.x, lightPos.y, lightPos.z, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  glLightfv(GL_LIGHT0, GL_POSITION, position);

  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);

  water->Initialize((unsigned short)waterShift, 64.0f, wantBowl, waterSpeed);
  return true;
}

void SSMAIN::Cleanup() {
  delete water;
  water = nullptr;
  delete[] textures;
  textures = nullptr;
  glDeleteTextures(1, &backgroundTexture);
  backgroundTexture = 0;
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);
  glDisable(GL_CULL_FACE);
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
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);

  gluLookAt(cameraEye.x, cameraEye.y, cameraEye.z, cameraTarget.x, cameraTarget.y, cameraTarget.z, 0, 0, -1);

  if (lighting) {
    const GLfloat position[] = {lightPos.x, lightPos.y, lightPos.z, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);

    float t = (float)frameTime;
    lightPos.x = lightPos.x + (lightTarget.x - lightPos.x) * t * 0.25f;
    lightPos.y = lightPos.y + (lightTarget.y - lightPos.y) * t * 0.25f;
    lightPos.z = lightPos.z + (lightTarget.z - lightPos.z) * t * 0.25f;
    Rotate(&lightTarget, 0, (float)(5.0 * frameTime), 0);
  }

  glColor4f(1 - bannerAlpha, 1 - bannerAlpha, 1 - bannerAlpha, 1);

  glPushMatrix();
  glBindTexture(GL_TEXTURE_2D, backgroundTexture);
  glScalef(aspect, 1, 1);
  if (water) water->DrawSurface();
  glPopMatrix();

  if (!isPreview) DoOverlay();

  glDisable(GL_TEXTURE_2D);
}

void SSMAIN::DoOverlay() {
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

  // A zero-sized drawable would make the orthographic volume empty (a GL error).
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width > 0 ? width : 1, 0, height > 0 ? height : 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
  glNormal3f(0, 0, 1);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);

  glPushMatrix();
  glTranslatef(overlayPos.x, overlayPos.y, 0);
  glBindTexture(GL_TEXTURE_2D, SlotTexture(*this, 1));
  TexturedQuad(0, 0, 256, 32);
  glPopMatrix();

  glPushMatrix();
  glTranslatef((float)(width * 0.5 - 256), overlayPos.y, 0);
  glBindTexture(GL_TEXTURE_2D, SlotTexture(*this, captionSlot));
  TexturedQuad(0, 0, 512, 32);
  glPopMatrix();

  glDisable(GL_BLEND);

  // Banner: from here on the modelview works in the 1024 x 768 canvas.
  glScalef((float)width / 1024.0f, (float)height / 768.0f, 1);
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

  if (bannerAlpha > 0) {
    glColor4f(1, 1, 1, bannerAlpha);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glPushMatrix();
    glTranslatef(0, 352, 0);
    glBindTexture(GL_TEXTURE_2D, SlotTexture(*this, captionSlot));
    TexturedQuad(0, 0, 1024, 64);
    glPopMatrix();
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
  }

  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
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
