#include "platform/egl/OffscreenEngine.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/egl/OffscreenContext.h"

namespace ambrel {

namespace {

int PixelSide(double side) { return std::max(1, static_cast<int>(side)); }

class OffscreenSurface : public GLSurface {
 public:
  explicit OffscreenSurface(int* flushes) : flushes_(flushes) {}
  bool Create() {
    // The view asks with an empty rectangle; a pbuffer needs at least one pixel.
    std::string error;
    if (context_.Create(1, 1, &error)) return true;
    std::fprintf(stderr, "ambrel: no off-screen OpenGL context: %s\n", error.c_str());
    return false;
  }
  bool MakeCurrent() override { return context_.MakeCurrent(); }
  void SetSize(Size size) override {
    const int width = PixelSide(size.width), height = PixelSide(size.height);
    if (width == context_.Width() && height == context_.Height()) return;
    std::string error;
    if (!context_.Resize(width, height, &error))
      std::fprintf(stderr, "ambrel: cannot resize the off-screen surface: %s\n", error.c_str());
  }
  void Flush() override {
    glFlush();
    ++*flushes_;
  }
  OffscreenContext& context() { return context_; }

 private:
  OffscreenContext context_;
  int* flushes_;
};

// Frames drawn on the processor into plain memory. A new size gets its own black
// buffer at once, which the next Acquire lends.
class MemorySurface : public PixelSurface {
 public:
  explicit MemorySurface(int* presents) : presents_(presents) {}
  void SetSize(Size size) override {
    width_ = PixelSide(size.width);
    height_ = PixelSide(size.height);
    pixels_.assign(size_t(width_) * size_t(height_) * 4, 0);
  }
  PixelBuffer Acquire() override { return PixelBuffer{pixels_.data(), width_, height_, size_t(width_) * 4}; }
  void Present() override { ++*presents_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // RGBA, rows top first, opaque.
  std::vector<uint8_t> ReadPixels() const {
    std::vector<uint8_t> rgba(pixels_.size());
    for (size_t i = 0; i < rgba.size(); i += 4) {
      rgba[i] = pixels_[i + 2];
      rgba[i + 1] = pixels_[i + 1];
      rgba[i + 2] = pixels_[i];
      rgba[i + 3] = 255;
    }
    return rgba;
  }

 private:
  int width_ = 1, height_ = 1;
  std::vector<uint8_t> pixels_ = std::vector<uint8_t>(4, 0);
  int* presents_;
};

}  // namespace

class OffscreenEngine::Site : public ViewSite {
 public:
  Site(OffscreenEngine& engine, std::optional<int> screenNumber) : engine_(engine), screenNumber_(screenNumber) {}

  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest&) override {
    engine_.madeGLContext_ = true;
    auto surface = std::make_unique<OffscreenSurface>(&flushes);
    if (!surface->Create()) return nullptr;
    this->surface = surface.get();
    return surface;
  }
  std::unique_ptr<PixelSurface> createPixelSurface() override {
    auto surface = std::make_unique<MemorySurface>(&flushes);
    pixelSurface = surface.get();
    return surface;
  }
  const Screen* screen() override {
    if (!screenNumber_) return nullptr;
    for (const Screen& s : engine_.screens_)
      if (s.number == *screenNumber_) return &s;
    return nullptr;
  }
  void timerIntervalChanged(double seconds) override { interval = seconds; }
  void startTimer() override { timerRunning = true; }
  void stopTimer() override { timerRunning = false; }

  // The surface lives as long as the view that owns it; the engine only peeks.
  OffscreenSurface* surface = nullptr;
  MemorySurface* pixelSurface = nullptr;
  int flushes = 0;
  bool timerRunning = false;
  double interval = 1.0 / 60.0;

 private:
  OffscreenEngine& engine_;
  std::optional<int> screenNumber_;
};

struct OffscreenEngine::Slot {
  std::unique_ptr<Site> site;
  std::unique_ptr<ScreenSaverView> view;
};

OffscreenEngine::OffscreenEngine(std::vector<Screen> screens) : OffscreenEngine(std::move(screens), Options()) {}

OffscreenEngine::OffscreenEngine(std::vector<Screen> screens, Options options)
    : screens_(std::move(screens)), options_(options), now_(options.startTime) {
  SetPlatform(this);
}

OffscreenEngine::~OffscreenEngine() {
  destroyViews();
  if (&CurrentPlatform() == this) SetPlatform(nullptr);
}

void OffscreenEngine::setCapture(int screenNumber, std::optional<CapturedImage> image) {
  captures_.erase(std::remove_if(captures_.begin(), captures_.end(),
                                 [&](const auto& entry) { return entry.first == screenNumber; }),
                  captures_.end());
  if (image) captures_.emplace_back(screenNumber, std::move(*image));
}

int OffscreenEngine::createViews(const ViewFactory& factory) {
  int made = 0;
  for (const Screen& screen : std::vector<Screen>(screens_))
    if (addView(factory, screen.frame, options_.preview, screen.number) >= 0) ++made;
  return made;
}

int OffscreenEngine::addView(const ViewFactory& factory, Rect frame, bool isPreview,
                             std::optional<int> screenNumber) {
  auto slot = std::make_unique<Slot>();
  slot->site = std::make_unique<Site>(*this, screenNumber);
  slot->view = factory(frame, isPreview, *slot->site);
  if (!slot->view) return -1;
  slot->view->setFrameSize(Size{frame.width, frame.height});
  views_.push_back(std::move(slot));
  return static_cast<int>(views_.size()) - 1;
}

void OffscreenEngine::startAnimation() {
  for (auto& slot : views_) slot->view->startAnimation();
}

void OffscreenEngine::stopAnimation() {
  for (auto& slot : views_)
    if (slot->view->isAnimating()) slot->view->stopAnimation();
}

void OffscreenEngine::tick() {
  for (auto& slot : views_)
    if (slot->site->timerRunning) slot->view->animateOneFrame();
}

void OffscreenEngine::runFrames(int frames) {
  for (int i = 0; i < frames; ++i) {
    double interval = 1.0 / 60.0;
    for (auto& slot : views_)
      if (slot->site->timerRunning) {
        interval = slot->site->interval;
        break;
      }
    advance(interval);
    tick();
  }
}

void OffscreenEngine::destroyViews() {
  // Newest first, as windows close.
  while (!views_.empty()) {
    views_.back()->view.reset();
    views_.pop_back();
  }
}

ScreenSaverView* OffscreenEngine::view(int index) {
  return index >= 0 && index < viewCount() ? views_[index]->view.get() : nullptr;
}

void OffscreenEngine::resizeView(int index, Size size) {
  if (ScreenSaverView* v = view(index)) v->setFrameSize(size);
}

bool OffscreenEngine::timerRunning(int index) const {
  return index >= 0 && index < viewCount() && views_[index]->site->timerRunning;
}

double OffscreenEngine::timerInterval(int index) const {
  return index >= 0 && index < viewCount() ? views_[index]->site->interval : 0;
}

int OffscreenEngine::flushCount(int index) const {
  return index >= 0 && index < viewCount() ? views_[index]->site->flushes : 0;
}

bool OffscreenEngine::hasSurface(int index) const {
  return index >= 0 && index < viewCount() && (views_[index]->site->surface || views_[index]->site->pixelSurface);
}

int OffscreenEngine::surfaceWidth(int index) const {
  if (!hasSurface(index)) return 0;
  const Site& site = *views_[index]->site;
  return site.surface ? site.surface->context().Width() : site.pixelSurface->Width();
}

int OffscreenEngine::surfaceHeight(int index) const {
  if (!hasSurface(index)) return 0;
  const Site& site = *views_[index]->site;
  return site.surface ? site.surface->context().Height() : site.pixelSurface->Height();
}

std::vector<uint8_t> OffscreenEngine::pixels(int index) {
  if (!hasSurface(index)) return {};
  const Site& site = *views_[index]->site;
  return site.surface ? site.surface->context().ReadPixelsTopDown() : site.pixelSurface->ReadPixels();
}

bool OffscreenEngine::makeCurrent(int index) {
  return index >= 0 && index < viewCount() && views_[index]->site->surface &&
         views_[index]->site->surface->MakeCurrent();
}

Screen OffscreenEngine::mainScreen() { return screens_.empty() ? Screen{} : screens_.front(); }

uint32_t OffscreenEngine::displayMask(int screenNumber) {
  // One bit per screen, in the list's order, as OpenGL display masks go.
  for (size_t i = 0; i < screens_.size() && i < 32; ++i)
    if (screens_[i].number == screenNumber) return 1u << i;
  return 0;
}

int OffscreenEngine::mainDisplayNumber() { return mainScreen().number; }

bool OffscreenEngine::captureScreen(uint32_t mask, CapturedImage* out) {
  if (!out) return false;
  for (const Screen& screen : screens_) {
    if (displayMask(screen.number) != mask) continue;
    for (const auto& [number, image] : captures_)
      if (number == screen.number) {
        *out = image;
        return true;
      }
    return false;
  }
  return false;
}

}  // namespace ambrel
