#include "host/AmbrelView.h"

#include <epoxy/gl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/BoxScale.h"
#include "image/Pics.h"
#include "image/ResFile.h"
#include "platform/Alerts.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/Screens.h"
#include "render/CpuFrame.h"
#include "support/GLU.h"

namespace ambrel {

namespace {

// Single-buffered, 32 bits of colour, no depth buffer, accelerated. On macOS this is
// the pixel format {NSOpenGLPFAAccelerated, NSOpenGLPFAColorSize 32,
// NSOpenGLPFAMinimumPolicy, NSOpenGLPFAMaximumPolicy, 0} = {73, 8, 32, 51, 52, 0}.
const SurfaceRequest kSurfaceRequest{};

const size_t kShortestPicturePath = 5;

// Copies text with its terminator into a buffer of the given size, like
// getCString:maxLength:. Text that does not fit is refused and the buffer left as
// it was: a path cut short would name some other file or folder.
bool CopyCString(const std::string& text, char* buffer, size_t bufferSize) {
  const size_t length = std::strlen(text.c_str());
  if (length + 1 > bufferSize) return false;
  std::memcpy(buffer, text.c_str(), length + 1);
  return true;
}

bool IsPictureFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

AmbrelView::AmbrelView(Rect frame, bool isPreview, ViewSite& site)
    : AmbrelView(frame, isPreview, site, AmbrelViewOverrides()) {}

AmbrelView::AmbrelView(Rect frame, bool isPreview, ViewSite& site, AmbrelViewOverrides overrides)
    : ScreenSaverView(frame, isPreview, site), overrides_(std::move(overrides)) {
  if (overrides_.renderer == FrameRenderer::kCpu) {
    pixelView = site.createPixelSurface();
    if (pixelView && overrides_.decoratePixelSurface) pixelView = overrides_.decoratePixelSurface(std::move(pixelView));
  }
  if (pixelView) {
    cpuTextures = std::make_unique<CpuTextureStore>();
  } else {
    glView = site.createGLSurface(kSurfaceRequest);
    if (glView && overrides_.decorateSurface) glView = overrides_.decorateSurface(std::move(glView));
  }
  viewAllocated = glView != nullptr || pixelView != nullptr;
  glReady = false;

  loadSettings();

  const Rect viewBounds = bounds();
  Scrn.width = viewBounds.width;
  Scrn.height = viewBounds.height;

  ThisScreenIsOn = true;
  initialized = false;

  if (static_cast<BackgroundKind>(mySettings.BGTYPE) == BackgroundKind::kCapture) {
    DeskTex.texID = 0;
    GetDesktopTexture(&DeskTex.texID, isPreview ? 0 : mySettings.BGRES, frame);
    // Only this view's copy changes: the stored kind stays the capture.
    if (DeskTex.texID == 0) mySettings.BGTYPE = static_cast<int32_t>(BackgroundKind::kDesktop);
  }

  setAnimationTimeInterval(1.0 / 60.0);
}

AmbrelView::~AmbrelView() {
  if (pixelView)
    MakeTextureStoreCurrent(cpuTextures.get());
  else {
    MakeTextureStoreCurrent(nullptr);
    if (glView) glView->MakeCurrent();
  }
  if (ssMain) {
    ssMain->Cleanup();
    delete ssMain;
    ssMain = nullptr;
  }
  // The background while this view's store or context is still current.
  if (DeskTex.texID != 0) CurrentTextureStore().Delete(DeskTex.texID);
  DeskTex.texID = 0;
  if (pixelView) MakeTextureStoreCurrent(nullptr);
}

bool AmbrelView::makeCurrent() {
  if (pixelView) {
    MakeTextureStoreCurrent(cpuTextures.get());
    return true;
  }
  MakeTextureStoreCurrent(nullptr);
  return glView && glView->MakeCurrent();
}

void AmbrelView::setFrameSize(Size size) {
  ScreenSaverView::setFrameSize(size);
  if (pixelView) {
    pixelView->SetSize(size);
    // No context to set up again: the scene only needs the new size.
    Scrn.width = size.width;
    Scrn.height = size.height;
    if (ssMain) ssMain->SetSize(static_cast<int>(size.width), static_cast<int>(size.height));
    return;
  }
  if (viewAllocated) glView->SetSize(size);
  glReady = false;
}

void AmbrelView::startAnimation() {
  ThisScreenIsOn = true;
  if (MainMonitorOnly) {
    // A window on no screen reads as screen number 0.
    const Screen* shownOn = site().screen();
    const int thisNumber = shownOn ? shownOn->number : 0;
    if (thisNumber != MainScreen().number) ThisScreenIsOn = false;
  }
  if (pixelView) {
    // Black at once, as the OpenGL path clears its surface.
    const PixelBuffer buffer = pixelView->Acquire();
    for (int y = 0; buffer.pixels && y < buffer.height; ++y)
      std::memset(buffer.pixels + y * buffer.stride, 0, size_t(buffer.width) * 4);
    pixelView->Present();
  } else if (glView && glView->MakeCurrent()) {
    MakeTextureStoreCurrent(nullptr);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFlush();
  }
  ScreenSaverView::startAnimation();
}

void AmbrelView::stopAnimation() { ScreenSaverView::stopAnimation(); }

void AmbrelView::animateOneFrame() {
  if (!ThisScreenIsOn) {
    stopAnimation();
    return;
  }
  // Without a drawing surface there is nothing to draw into, nor a context to build in.
  if (!makeCurrent()) return;
  if (pixelView) {
    animateOnTheProcessor();
    return;
  }
  if (!glReady) {
    glInit();
    glReady = true;
  }
  if (!initialized) {
    mainSetup();
    initialized = true;
    glClear(GL_COLOR_BUFFER_BIT);
  }
  double dt = 0;
  if (!frameDue(&dt)) return;
  if (ssMain) ssMain->Update(dt);
  glReshape();
  if (ssMain) ssMain->Draw();
  glView->Flush();
}

// After a stall of over two seconds the clock starts again without a step.
bool AmbrelView::frameDue(double* dt) {
  *dt = CFAbsoluteTimeGetCurrent() - animtime;
  if (*dt > 2.0) {
    animtime = CFAbsoluteTimeGetCurrent();
    return false;
  }
  if (*dt <= 0.01) return false;
  animtime = CFAbsoluteTimeGetCurrent();
  return true;
}

// The same clock as the OpenGL path; the frame is described and drawn into the
// surface's buffer.
void AmbrelView::animateOnTheProcessor() {
  if (!initialized) {
    mainSetup();
    initialized = true;
  }
  double dt = 0;
  if (!frameDue(&dt)) return;
  SceneFrame frame;
  if (ssMain) {
    ssMain->Update(dt);
    ssMain->Describe(&frame);
  }
  DrawSceneFrameCpu(frame, cpuTextures->textures(), pixelView->Acquire());
  pixelView->Present();
}

void SetViewGLState(int width, int height) {
  glViewport(0, 0, width, height);
  glShadeModel(GL_SMOOTH);
  glClearColor(0, 0, 0, 0);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
}

void SetViewProjection(double width, double height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(kViewFieldOfView, ViewAspect(width, height), kViewNear, kViewFar);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void AmbrelView::glInit() {
  const Rect viewBounds = bounds();
  Scrn.width = viewBounds.width;
  Scrn.height = viewBounds.height;
  if (ssMain) ssMain->SetSize(static_cast<int>(Scrn.width), static_cast<int>(Scrn.height));
  SetViewGLState(static_cast<int>(Scrn.width), static_cast<int>(Scrn.height));
  glReshape();
}

void AmbrelView::glReshape() { SetViewProjection(Scrn.width, Scrn.height); }

// The picture shipped with the resources; on a Mac in the plug-in bundle, since
// the system's old "Aqua Blue" picture is gone from current macOS.
std::string AmbrelView::fallbackPicturePath() const { return PathForResource("fallback", "png"); }

std::string AmbrelView::desktopPicturePath() {
  char picturePath[1024] = "";
  if (overrides_.desktopPicture) {
    CopyCString(*overrides_.desktopPicture, picturePath, sizeof picturePath);
    return std::strlen(picturePath) < kShortestPicturePath ? fallbackPicturePath() : picturePath;
  }
  const Screen* shownOn = site().screen();
  const int screenNumber = shownOn ? shownOn->number : 0;
  const std::optional<DesktopPicturePreference> preference =
      overrides_.desktopPictures ? overrides_.desktopPictures : CopyDesktopPicturePreference();
  if (!preference) return fallbackPicturePath();
  auto entry = preference->entries.find(std::to_string(screenNumber));
  if (entry == preference->entries.end()) entry = preference->entries.find("default");
  if (entry == preference->entries.end()) return fallbackPicturePath();
  if (entry->second.imageFilePath) CopyCString(*entry->second.imageFilePath, picturePath, sizeof picturePath);
  if (std::strlen(picturePath) < kShortestPicturePath) return fallbackPicturePath();
  return picturePath;
}

bool AmbrelView::mainSetup() {
  const Rect viewBounds = bounds();
  srand(static_cast<unsigned>(static_cast<int64_t>(CFAbsoluteTimeGetCurrent())));

  if (ssMain) {
    ssMain->Cleanup();
    delete ssMain;
    ssMain = nullptr;
  }
  ssMain = new SSMAIN();
  if (!ssMain->Setup(isPreview(), static_cast<int>(viewBounds.width), static_cast<int>(viewBounds.height),
                     &mySettings))
    return false;

  const std::string packPath = PathForResource("morvish", "tallowyn");
  if (!LoadTexturesFromDataFile(packPath.c_str(), &ssMain->textures, &ssMain->textureCount)) {
    // A damaged image has said so itself; a missing pack or a damaged header has not.
    if (RESFILE pack; !pack.Open(packPath.c_str()))
      ShowAlert("ERROR", ("Could not open the data pack \"" + packPath + "\"").c_str());
    return false;
  }

  const int detail = isPreview() ? 0 : mySettings.BGRES;
  const BackgroundKind kind = static_cast<BackgroundKind>(mySettings.BGTYPE);
  if (kind == BackgroundKind::kDesktop) {
    // A desktop that shows pictures from a folder names the folder: one of them.
    // A picture that cannot be shown has said why; the shipped one stands in.
    const std::string picture = desktopPicturePath();
    const bool shown = IsPictureFolder(picture) ? LoadDesktopFolderPicture(picture.c_str(), &DeskTex, detail)
                                                : loadPicFile(picture.c_str(), &DeskTex, detail);
    if (!shown) loadPicFile(fallbackPicturePath().c_str(), &DeskTex, detail);
  }
  if (kind == BackgroundKind::kFolder) {
    if (!LoadPicture(mySettings.BGPath, &DeskTex, detail)) loadPicFile(fallbackPicturePath().c_str(), &DeskTex, 0);
  }

  ssMain->backgroundTexture = DeskTex.texID;
  DeskTex.texID = 0;

  animtime = CFAbsoluteTimeGetCurrent();
  return true;
}

uint32_t AmbrelView::getScreenMaskForFrame(Rect frame) {
  for (const Screen& screen : Screens())
    if (!IsEmptyRect(IntersectionRect(screen.frame, frame))) return DisplayMaskForScreenNumber(screen.number);
  return DisplayMaskForScreenNumber(MainDisplayNumber());
}

void AmbrelView::GetDesktopTexture(uint32_t* texName, int detail, Rect frame) {
  const uint32_t mask = getScreenMaskForFrame(frame);
  CapturedImage capture;
  if (!CurrentPlatform().captureScreen(mask, &capture)) return;
  // A capture whose buffer does not hold its stated size counts as none.
  if (capture.width <= 0 || capture.height <= 0 ||
      capture.pixels.size() / 4 / static_cast<size_t>(capture.width) < static_cast<size_t>(capture.height))
    return;
  if (!makeCurrent()) return;

  *texName = CurrentTextureStore().CreateCapture(
      [&](uint32_t largest, int* width, int* height, std::vector<uint8_t>* scaled) {
        const uint32_t textureWidth = PictureTextureSide(detail, capture.width, largest, DetailFit::kAtMost);
        const uint32_t textureHeight = PictureTextureSide(detail, capture.height, largest, DetailFit::kAtMost);
        *width = static_cast<int>(textureWidth);
        *height = static_cast<int>(textureHeight);
        scaled->resize(static_cast<size_t>(textureWidth) * textureHeight * 4);
        if (*width == capture.width && *height == capture.height) {
          // The box filter at a ratio of one gives the same bytes back, slowly.
          std::memcpy(scaled->data(), capture.pixels.data(), scaled->size());
        } else {
          BoxScaleRGBA(capture.pixels.data(), capture.width, capture.height, scaled->data(), *width, *height);
        }
        // An all-black capture counts as a failed one.
        for (size_t i = 0; i < scaled->size(); i += 4)
          if ((*scaled)[i] || (*scaled)[i + 1] || (*scaled)[i + 2]) return true;
        return false;
      });
}

}  // namespace ambrel
