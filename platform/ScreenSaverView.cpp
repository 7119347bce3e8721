#include "platform/ScreenSaverView.h"

namespace ambrel {

ScreenSaverView::ScreenSaverView(Rect frame, bool isPreview, ViewSite& site)
    : frame_(frame), isPreview_(isPreview), site_(site) {}

ScreenSaverView::~ScreenSaverView() = default;

void ScreenSaverView::setFrameSize(Size size) {
  frame_.width = size.width;
  frame_.height = size.height;
}

void ScreenSaverView::startAnimation() {
  animating_ = true;
  site_.startTimer();
}

void ScreenSaverView::stopAnimation() {
  animating_ = false;
  site_.stopTimer();
}

void ScreenSaverView::animateOneFrame() {}

bool ScreenSaverView::hasConfigureSheet() { return false; }

void ScreenSaverView::setAnimationTimeInterval(double seconds) {
  animationTimeInterval_ = seconds;
  site_.timerIntervalChanged(seconds);
}

}  // namespace ambrel
