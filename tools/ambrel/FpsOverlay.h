// XScreenSaver's -fps: the frame rate, the process's CPU load and who draws, in
// the bottom left corner, drawn over each frame just before it is shown.
#pragma once

#include <memory>
#include <string>

#include "platform/GLSurface.h"
#include "platform/PixelSurface.h"

namespace ambrel {

// The figures, new once a second over that second.
class FpsFigures {
 public:
  // renderer: the last line's name for who draws, e.g. "GL" or "CPU".
  explicit FpsFigures(const std::string& renderer);
  // Counts a frame about to be shown.
  void Frame();
  // What the overlay shows now, e.g. "FPS: 59.9\nLoad: 3.1%\nRenderer: GL".
  const std::string& text() const { return text_; }

 private:
  std::string renderer_;
  long frames_ = 0;
  double windowStart_ = -1, cpuAtStart_ = 0;
  std::string text_;
};

// Passes everything to the view's own surface and draws the figures before each flush.
class FpsOverlaySurface : public GLSurface {
 public:
  explicit FpsOverlaySurface(std::unique_ptr<GLSurface> inner);
  bool MakeCurrent() override { return inner_->MakeCurrent(); }
  void SetSize(Size size) override;
  void Flush() override;

  const std::string& text() const { return figures_.text(); }

 private:
  std::unique_ptr<GLSurface> inner_;
  int width_ = 0, height_ = 0;
  FpsFigures figures_{"GL"};
};

// The same for the CPU renderer: the figures go into the frame's pixels before
// it is presented.
class FpsOverlayPixelSurface : public PixelSurface {
 public:
  explicit FpsOverlayPixelSurface(std::unique_ptr<PixelSurface> inner);
  void SetSize(Size size) override { inner_->SetSize(size); }
  PixelBuffer Acquire() override { return buffer_ = inner_->Acquire(); }
  void Present() override;

  const std::string& text() const { return figures_.text(); }

 private:
  std::unique_ptr<PixelSurface> inner_;
  PixelBuffer buffer_;
  FpsFigures figures_{"CPU"};
};

// Draws lines of text (digits, a few letters, ".", ":", "%", " ") with a built-in
// pixel font at the window's bottom left; leaves the GL state as it found it.
void DrawCornerText(const std::string& text, int width, int height);
// The same text, looking the same, into a frame's pixels.
void DrawCornerText(const std::string& text, const PixelBuffer& buffer);

}  // namespace ambrel
