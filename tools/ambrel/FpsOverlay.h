// XScreenSaver's -fps: the frame rate and the process's CPU load in the bottom left
// corner, drawn over each frame just before it is flushed.
#pragma once

#include <memory>
#include <string>

#include "platform/GLSurface.h"

namespace ambrel {

// Passes everything to the view's own surface and draws the figures before each flush.
class FpsOverlaySurface : public GLSurface {
 public:
  explicit FpsOverlaySurface(std::unique_ptr<GLSurface> inner);
  bool MakeCurrent() override { return inner_->MakeCurrent(); }
  void SetSize(Size size) override;
  void Flush() override;

  // What the overlay shows now, e.g. "FPS: 59.9" and "Load: 3.1%".
  const std::string& text() const { return text_; }

 private:
  std::unique_ptr<GLSurface> inner_;
  int width_ = 0, height_ = 0;
  long frames_ = 0;
  double windowStart_ = -1, cpuAtStart_ = 0;
  std::string text_ = "FPS: -\nLoad: -";
};

// Draws lines of text (digits, a few letters, ".", ":", "%", " ") with a built-in
// pixel font at the window's bottom left; leaves the GL state as it found it.
void DrawCornerText(const std::string& text, int width, int height);

}  // namespace ambrel
