#include "scene/GLFrame.h"

#include <epoxy/gl.h>

#include "support/GLU.h"

namespace ambrel {

namespace {

void LookAt(const SceneFrame& frame) {
  gluLookAt(frame.eye.x, frame.eye.y, frame.eye.z, frame.target.x, frame.target.y, frame.target.z, frame.up.x,
            frame.up.y, frame.up.z);
}

void PlaceLight(const SceneFrame& frame) {
  const GLfloat position[] = {frame.lightPosition.x, frame.lightPosition.y, frame.lightPosition.z, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
}

void Quad(const SceneQuad& quad) {
  glPushMatrix();
  glTranslatef(quad.x, quad.y, 0);
  glBindTexture(GL_TEXTURE_2D, quad.texture);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(quad.left, quad.bottom);
  glTexCoord2f(1, 0);
  glVertex2f(quad.right, quad.bottom);
  glTexCoord2f(1, 1);
  glVertex2f(quad.right, quad.top);
  glTexCoord2f(0, 1);
  glVertex2f(quad.left, quad.top);
  glEnd();
  glPopMatrix();
}

void DrawWater(const SceneFrame& frame) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(WATERVERTEX), &frame.vertices[0].position);
  glNormalPointer(GL_FLOAT, sizeof(WATERVERTEX), &frame.vertices[0].normal);
  glTexCoordPointer(2, GL_FLOAT, sizeof(WATERVERTEX), &frame.vertices[0].u);
  glDrawElements(GL_TRIANGLE_STRIP, static_cast<GLsizei>(frame.stripLength), GL_UNSIGNED_SHORT, frame.strip);
}

}  // namespace

void PrepareGLScene(const SceneFrame& frame) {
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  LookAt(frame);
  const GLfloat ambient[] = {0, 0, 0, 0};
  const GLfloat diffuse[] = {1, 1, 1, 1};
  const GLfloat specular[] = {0.3f, 0.3f, 0.3f, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  PlaceLight(frame);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);
}

void ReleaseGLScene() {
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);
  glDisable(GL_CULL_FACE);
}

void DrawSceneFrameGL(const SceneFrame& frame) {
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  LookAt(frame);
  if (frame.placeLight) PlaceLight(frame);

  glColor4f(frame.waterColour[0], frame.waterColour[1], frame.waterColour[2], frame.waterColour[3]);
  glPushMatrix();
  glBindTexture(GL_TEXTURE_2D, frame.backgroundTexture);
  glScalef(frame.waterScaleX, 1, 1);
  if (frame.vertices && frame.strip) DrawWater(frame);
  glPopMatrix();

  if (frame.overlay) DrawOverlayGL(frame);
  glDisable(GL_TEXTURE_2D);
}

void DrawOverlayGL(const SceneFrame& frame) {
  // A zero-sized drawable would make the orthographic volume empty (a GL error).
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, frame.width > 0 ? frame.width : 1, 0, frame.height > 0 ? frame.height : 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
  glNormal3f(0, 0, 1);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  Quad(frame.badge);
  Quad(frame.caption);
  glDisable(GL_BLEND);

  glScalef(frame.canvasX, frame.canvasY, 1);
  if (frame.bannerShown) {
    const float* c = frame.banner.colour;
    glColor4f(c[0], c[1], c[2], c[3]);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    Quad(frame.banner);
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
  }
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
}

}  // namespace ambrel
