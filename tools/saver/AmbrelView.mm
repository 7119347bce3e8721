// The plug-in's principal class: a ScreenSaverView that owns the portable view
// and is its window, surface and timer.
#import "platform/macos/Cocoa.h"
#import <ScreenSaver/ScreenSaver.h>

#include <cstdlib>
#include <memory>
#include <vector>

#import "tools/saver/AmbrelViewTesting.h"
#include "host/AmbrelView.h"
#import "platform/macos/CocoaPlatform.h"
#import "platform/macos/CocoaSheet.h"

namespace {
class AmbrelViewSite;
}  // namespace

// The class the engine loads by name; the portable view it owns is ambrel::AmbrelView.
@interface AmbrelView : ScreenSaverView <AmbrelViewTesting> {
 @private
  // The portable view's site, which holds the portable view: GCC cannot write the
  // view's own type into an Objective-C field's type encoding.
  AmbrelViewSite* _site;
  NSSize _toldSize;  // the drawing size the portable view last had
}
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

class OpenGLViewSurface : public ambrel::GLSurface {
 public:
  explicit OpenGLViewSurface(NSOpenGLView* view) : view_([view retain]) {}
  ~OpenGLViewSurface() override {
    if ([NSOpenGLContext currentContext] == [view_ openGLContext]) [NSOpenGLContext clearCurrentContext];
    [view_ clearGLContext];
    [view_ removeFromSuperview];
    [view_ release];
  }
  bool MakeCurrent() override {
    NSOpenGLContext* context = [view_ openGLContext];
    if (!context) return false;
    if ([context view] != view_) [context setView:view_];
    [context makeCurrentContext];
    return [NSOpenGLContext currentContext] == context;
  }
  // The view follows its superview's size; its context learns of it here.
  void SetSize(ambrel::Size) override { [[view_ openGLContext] update]; }
  void Flush() override { [[view_ openGLContext] flushBuffer]; }

 private:
  NSOpenGLView* view_;
};

class AmbrelViewSite : public ambrel::ViewSite {
 public:
  explicit AmbrelViewSite(AmbrelView* view) : view_(view) {}
  ~AmbrelViewSite() override { portable.reset(); }

  std::unique_ptr<ambrel::AmbrelView> portable;

  std::unique_ptr<ambrel::GLSurface> createGLSurface(const ambrel::SurfaceRequest& request) override {
    // As close to the request as there is: a software renderer rather than none.
    ambrel::SurfaceRequest chosen = request;
    NSOpenGLPixelFormat* format = PixelFormat(chosen);
    if (!format && chosen.accelerated) {
      chosen.accelerated = false;
      format = PixelFormat(chosen);
    }
    if (!format) return nullptr;
    words_ = ambrel::PixelFormatWords(chosen);
    NSOpenGLView* glView = [[[NSOpenGLView alloc] initWithFrame:[view_ bounds] pixelFormat:format] autorelease];
    if (!glView) return nullptr;
    [glView setAutoresizingMask:NSViewWidthSizable | NSViewHeightSizable];
#ifndef GNUSTEP
    [glView setWantsBestResolutionOpenGLSurface:YES];
#endif
    [view_ addSubview:glView];
    return std::make_unique<OpenGLViewSurface>(glView);
  }

  const ambrel::Screen* screen() override {
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
    if (!shownOn || ![[shownOn deviceDescription] objectForKey:@"NSScreenNumber"]) return nullptr;
    screen_ = ambrel::ScreenOf(shownOn);
    return &screen_;
  }

  void timerIntervalChanged(double seconds) override { [view_ ambrelSetTimerInterval:seconds]; }
  void startTimer() override { [view_ ambrelStartTimer]; }
  void stopTimer() override { [view_ ambrelStopTimer]; }
  // The pixel-format words of the surface made.
  const std::vector<uint32_t>& pixelFormatWords() const { return words_; }

 private:
  static NSOpenGLPixelFormat* PixelFormat(const ambrel::SurfaceRequest& request) {
    std::vector<uint32_t> words = ambrel::PixelFormatWords(request);
    return [[[NSOpenGLPixelFormat alloc]
        initWithAttributes:reinterpret_cast<NSOpenGLPixelFormatAttribute*>(words.data())] autorelease];
  }

  AmbrelView* view_;  // owns this site
  ambrel::Screen screen_;
  std::vector<uint32_t> words_;
};

// Null until the portable view is made: its constructor may already call back.
ambrel::AmbrelView* Portable(AmbrelViewSite* site) { return site ? site->portable.get() : nullptr; }

}  // namespace

@implementation AmbrelView

+ (BOOL)performGammaFade {
  return ambrel::AmbrelView::performGammaFade();
}

- (instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview {
  if (!(self = [super initWithFrame:frame isPreview:isPreview])) return nil;
  [self setAutoresizesSubviews:YES];
  ambrel::InstallCocoaPlatform();
  _site = new AmbrelViewSite(self);
  const NSSize size = BackingSize(self);
  _site->portable =
      std::make_unique<ambrel::AmbrelView>(ambrel::Rect{0, 0, size.width, size.height}, isPreview, *_site);
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
  delete _site;
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
  ambrel::AmbrelView* view = Portable(_site);
  if (!view || NSEqualSizes(size, _toldSize)) return;
  _toldSize = size;
  view->setFrameSize(ambrel::Size{size.width, size.height});
}

- (void)startAnimation {
  if (ambrel::AmbrelView* view = Portable(_site))
    view->startAnimation();
  else
    [super startAnimation];
}

- (void)stopAnimation {
  if (ambrel::AmbrelView* view = Portable(_site))
    view->stopAnimation();
  else
    [super stopAnimation];
}

- (void)animateOneFrame {
  if (ambrel::AmbrelView* view = Portable(_site)) view->animateOneFrame();
}

- (void)drawRect:(NSRect)rect {
  // The OpenGL view covers it; until its first frame the screen stays black.
  [super drawRect:rect];
}

- (BOOL)hasConfigureSheet {
  ambrel::AmbrelView* view = Portable(_site);
  return view && view->hasConfigureSheet();
}

- (NSWindow*)configureSheet {
  ambrel::AmbrelView* view = Portable(_site);
  return view ? cocoa::WindowOfSheet(view->configureSheet()) : nil;
}

// The sheet's nine outlets by name, as key-value coding reads a nib's outlets.
- (id)valueForUndefinedKey:(NSString*)key {
  ambrel::AmbrelView* view = Portable(_site);
  ambrel::SheetControl* control = view ? view->outletNamed([key UTF8String]) : nullptr;
  if (control) return cocoa::ControlOf(control);
  return [super valueForUndefinedKey:key];
}

- (void)ambrelDescribe:(ambrel::ViewFacts*)facts {
  *facts = ambrel::ViewFacts{};
  ambrel::AmbrelView* view = Portable(_site);
  const ambrel::SSMAIN* scene = view ? view->ssMain : nullptr;
  facts->scene = scene && scene->water;
  facts->overlay = scene && !scene->isPreview;
  if (scene) {
    for (int i = 0; i < scene->textureCount; ++i)
      if (scene->textures[i].texID) facts->textures.push_back(scene->textures[i].texID);
    if (scene->backgroundTexture) facts->textures.push_back(scene->backgroundTexture);
  }
  if (_site) facts->pixelFormat = _site->pixelFormatWords();
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
