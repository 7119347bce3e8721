// The plug-in's principal class: a ScreenSaverView that owns the portable view
// (through the seam in CocoaBridge.h) and is its window, surface and timer.
#import "platform/macos/Cocoa.h"
#import <ScreenSaver/ScreenSaver.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/macos/CocoaBridge.h"
#import "platform/macos/CocoaSheet.h"

@interface AmbrelView : ScreenSaverView {
 @private
  cocoa::ViewHost* _host;
  cocoa::ViewCore* _core;
  NSSize _toldSize;  // the drawing size the portable view last had
}
// One line on what the view holds (cocoa::ViewCore::report, and the surface's
// pixel-format words), for hosts that report on it.
- (NSString*)ambrelReport;
@end

@interface AmbrelView (Site)
- (void)ambrelTellBackingSize;
- (void)ambrelStartTimer;
- (void)ambrelStopTimer;
- (void)ambrelSetTimerInterval:(NSTimeInterval)seconds;
@end

namespace {

static_assert(sizeof(NSOpenGLPixelFormatAttribute) == sizeof(uint32_t), "pixel-format words are 32 bits");

NSSize BackingSize(NSView* view) {
#ifdef GNUSTEP
  // GNUstep draws at one pixel per point.
  return [view bounds].size;
#else
  return [view convertRectToBacking:[view bounds]].size;
#endif
}

class OpenGLViewSurface : public cocoa::Surface {
 public:
  explicit OpenGLViewSurface(NSOpenGLView* view) : view_([view retain]) {}
  ~OpenGLViewSurface() override {
    if ([NSOpenGLContext currentContext] == [view_ openGLContext]) [NSOpenGLContext clearCurrentContext];
    [view_ clearGLContext];
    [view_ removeFromSuperview];
    [view_ release];
  }
  bool makeCurrent() override {
    NSOpenGLContext* context = [view_ openGLContext];
    if (!context) return false;
    if ([context view] != view_) [context setView:view_];
    [context makeCurrentContext];
    return [NSOpenGLContext currentContext] == context;
  }
  // The view follows its superview's size; its context learns of it here.
  void resize(double, double) override { [[view_ openGLContext] update]; }
  void flush() override { [[view_ openGLContext] flushBuffer]; }

 private:
  NSOpenGLView* view_;
};

class AmbrelViewHost : public cocoa::ViewHost {
 public:
  explicit AmbrelViewHost(AmbrelView* view) : view_(view) {}

  std::unique_ptr<cocoa::Surface> createSurface(const cocoa::SurfaceWish& wish) override {
    // As close to the wish as there is: a software renderer rather than none.
    cocoa::SurfaceWish chosen = wish;
    NSOpenGLPixelFormat* format = PixelFormat(chosen);
    if (!format && chosen.accelerated) {
      chosen.accelerated = false;
      format = PixelFormat(chosen);
    }
    if (!format) return nullptr;
    words_ = cocoa::PixelFormatWords(chosen);
    NSOpenGLView* glView = [[[NSOpenGLView alloc] initWithFrame:[view_ bounds] pixelFormat:format] autorelease];
    if (!glView) return nullptr;
    [glView setAutoresizingMask:NSViewWidthSizable | NSViewHeightSizable];
#ifndef GNUSTEP
    [glView setWantsBestResolutionOpenGLSurface:YES];
#endif
    [view_ addSubview:glView];
    return std::make_unique<OpenGLViewSurface>(glView);
  }

  bool screen(cocoa::Display* out) override {
    NSWindow* window = [view_ window];
    NSScreen* shownOn = [window screen];
    // Since macOS 14 a saver's window may not yet know its screen: take the one
    // that holds the window's centre, so that no screen is left black.
    if (!shownOn && window) {
      const NSRect frame = [window frame];
      const NSPoint centre = NSMakePoint(NSMidX(frame), NSMidY(frame));
      for (NSScreen* screen : cocoa::Items<NSScreen*>([NSScreen screens]))
        if (NSPointInRect(centre, [screen frame])) shownOn = screen;
    }
    if (!shownOn) return false;
    for (const cocoa::Display& display : cocoa::Displays()) {
      NSNumber* number = [[shownOn deviceDescription] objectForKey:@"NSScreenNumber"];
      if (number && display.number == [number intValue]) {
        *out = display;
        return true;
      }
    }
    return false;
  }

  void timerIntervalChanged(double seconds) override { [view_ ambrelSetTimerInterval:seconds]; }
  void startTimer() override { [view_ ambrelStartTimer]; }
  void stopTimer() override { [view_ ambrelStopTimer]; }
  // The pixel-format words of the surface made, comma-separated.
  std::string pixelFormat() const {
    std::string text;
    for (uint32_t word : words_) text += (text.empty() ? "" : ",") + std::to_string(word);
    return text;
  }

 private:
  static NSOpenGLPixelFormat* PixelFormat(const cocoa::SurfaceWish& wish) {
    std::vector<uint32_t> words = cocoa::PixelFormatWords(wish);
    return [[[NSOpenGLPixelFormat alloc]
        initWithAttributes:reinterpret_cast<NSOpenGLPixelFormatAttribute*>(words.data())] autorelease];
  }

  AmbrelView* view_;  // owns this host
  std::vector<uint32_t> words_;
};

}  // namespace

@implementation AmbrelView

+ (BOOL)performGammaFade {
  return cocoa::ViewCore::PerformGammaFade();
}

- (instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview {
  if (!(self = [super initWithFrame:frame isPreview:isPreview])) return nil;
  [self setAutoresizesSubviews:YES];
  _host = new AmbrelViewHost(self);
  const NSSize size = BackingSize(self);
  _core = cocoa::ViewCore::Create(cocoa::Box{0, 0, size.width, size.height}, isPreview, *_host).release();
  _toldSize = size;
  // Since macOS 14 the engine keeps the saver's process alive after the saver
  // stops, and the water would go on drawing unseen: leave when told it stops.
  if (!isPreview)
    [[NSDistributedNotificationCenter defaultCenter] addObserver:self
                                                        selector:@selector(screenSaverWillStop:)
                                                            name:@"com.apple.screensaver.willstop"
                                                          object:nil];
  return self;
}

- (void)dealloc {
  if (![self isPreview]) [[NSDistributedNotificationCenter defaultCenter] removeObserver:self];
  [super stopAnimation];
  delete _core;
  delete _host;
  [super dealloc];
}

- (void)screenSaverWillStop:(NSNotification*)notification {
  (void)notification;
  [self stopAnimation];
  std::exit(0);
}

- (void)setFrameSize:(NSSize)newSize {
  [super setFrameSize:newSize];
  _toldSize = NSZeroSize;
  [self ambrelTellBackingSize];
}

// A view made before its window knows only its size in points; its backing size
// (pixels, twice as many each way on a Retina screen) comes with the window. Told
// only when it changed: a GL context updated while its view moves between windows
// raises on GNUstep.
- (void)viewDidMoveToWindow {
  [super viewDidMoveToWindow];
  [self ambrelTellBackingSize];
}

- (void)viewDidChangeBackingProperties {
  [self ambrelTellBackingSize];
}

- (void)ambrelTellBackingSize {
  const NSSize size = BackingSize(self);
  if (!_core || NSEqualSizes(size, _toldSize)) return;
  _toldSize = size;
  _core->setFrameSize(size.width, size.height);
}

- (void)startAnimation {
  if (_core)
    _core->startAnimation();
  else
    [super startAnimation];
}

- (void)stopAnimation {
  if (_core)
    _core->stopAnimation();
  else
    [super stopAnimation];
}

- (void)animateOneFrame {
  if (_core) _core->animateOneFrame();
}

- (void)drawRect:(NSRect)rect {
  // The OpenGL view covers it; until its first frame the screen stays black.
  [super drawRect:rect];
}

- (BOOL)hasConfigureSheet {
  return _core && _core->hasConfigureSheet();
}

- (NSWindow*)configureSheet {
  return _core ? cocoa::WindowOfSheet(_core->configureSheet()) : nil;
}

// The sheet's nine outlets by name, as key-value coding reads a nib's outlets.
- (id)valueForUndefinedKey:(NSString*)key {
  ambrel::SheetControl* control = _core ? _core->outlet([key UTF8String]) : nullptr;
  if (control) return cocoa::ControlOf(control);
  return [super valueForUndefinedKey:key];
}

- (NSString*)ambrelReport {
  if (!_core) return @"none";
  const std::string report =
      _core->report() + " pixelformat=" + static_cast<AmbrelViewHost*>(_host)->pixelFormat();
  return [NSString stringWithUTF8String:report.c_str()];
}

- (void)ambrelStartTimer {
  [super startAnimation];
}

- (void)ambrelStopTimer {
  [super stopAnimation];
}

- (void)ambrelSetTimerInterval:(NSTimeInterval)seconds {
  [super setAnimationTimeInterval:seconds];
}

@end
