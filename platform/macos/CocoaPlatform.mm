// The platform on Cocoa: screens, display masks, the screen capture, the bundle's
// resources and the pixel format.
#import "platform/macos/CocoaPlatform.h"

#ifndef GNUSTEP
#import <ScreenCaptureKit/ScreenCaptureKit.h>
#endif

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Bundle.h"
#include "platform/Platform.h"
#include "platform/UserFile.h"

// Any class of the plug-in finds its bundle.
@interface AmbrelBundleMarker : NSObject
@end
@implementation AmbrelBundleMarker
@end

namespace ambrel {
namespace {

int ScreenNumber(NSScreen* screen) {
  NSNumber* number = [[screen deviceDescription] objectForKey:@"NSScreenNumber"];
  return number ? [number intValue] : 0;
}

#ifndef GNUSTEP
// ScreenCaptureKit, waited for: the capture is made as the view is created. An
// error (no screen-recording permission among them) is no image.
CGImageRef CreateDisplayImage(CGDirectDisplayID displayID) {
  if (@available(macOS 14.0, *)) {
    __block CGImageRef result = NULL;
    dispatch_semaphore_t done = dispatch_semaphore_create(0);
    [SCShareableContent getShareableContentWithCompletionHandler:^(SCShareableContent* content, NSError* error) {
      SCDisplay* target = nil;
      for (SCDisplay* display : cocoa::Items<SCDisplay*>(content.displays))
        if (display.displayID == displayID) target = display;
      if (error || !target) {
        dispatch_semaphore_signal(done);
        return;
      }
      SCContentFilter* filter = [[[SCContentFilter alloc] initWithDisplay:target excludingWindows:@[]] autorelease];
      SCStreamConfiguration* configuration = [[[SCStreamConfiguration alloc] init] autorelease];
      configuration.width = target.width;
      configuration.height = target.height;
      [SCScreenshotManager captureImageWithFilter:filter
                                    configuration:configuration
                                completionHandler:^(CGImageRef image, NSError* captureError) {
                                  if (image && !captureError) result = CGImageRetain(image);
                                  dispatch_semaphore_signal(done);
                                }];
    }];
    // The blocks hold the semaphore and the result for as long as they run.
    const bool timedOut = dispatch_semaphore_wait(done, dispatch_time(DISPATCH_TIME_NOW, 5 * NSEC_PER_SEC)) != 0;
    dispatch_release(done);
    return timedOut ? NULL : result;
  }
  return NULL;
}
#endif

uint32_t DisplayMask(int number) { return CGDisplayIDToOpenGLDisplayMask(static_cast<CGDirectDisplayID>(number)); }

// RGBA, bottom row first; false when the displays cannot be read.
bool CaptureDisplays(uint32_t mask, CapturedImage* out) {
#ifdef GNUSTEP
  // The stand-in's capture, like one refused its permission, gives no image.
  for (NSScreen* screen : cocoa::Items<NSScreen*>([NSScreen screens])) {
    if (!(DisplayMask(ScreenNumber(screen)) & mask)) continue;
    CGImageRef image = CGDisplayCreateImage(static_cast<CGDirectDisplayID>(ScreenNumber(screen)));
    if (!image) return false;
    CGImageRelease(image);
  }
  (void)out;
  return false;
#else
  for (NSScreen* screen : cocoa::Items<NSScreen*>([NSScreen screens])) {
    if (!(DisplayMask(ScreenNumber(screen)) & mask)) continue;
    CGImageRef image = CreateDisplayImage(static_cast<CGDirectDisplayID>(ScreenNumber(screen)));
    if (!image) return false;
    const size_t w = CGImageGetWidth(image), h = CGImageGetHeight(image);
    std::vector<uint8_t> rgba(w * h * 4);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(rgba.data(), w, h, 8, w * 4, space,
                                                 kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big);
    CGColorSpaceRelease(space);
    if (context) {
      CGContextDrawImage(context, CGRectMake(0, 0, w, h), image);
      CGContextRelease(context);
    }
    CGImageRelease(image);
    if (!context) return false;
    // The bitmap context's memory holds the top row first.
    out->pixels.resize(rgba.size());
    for (size_t row = 0; row < h; ++row)
      std::memcpy(out->pixels.data() + row * w * 4, rgba.data() + (h - 1 - row) * w * 4, w * 4);
    out->width = static_cast<int>(w);
    out->height = static_cast<int>(h);
    return true;
  }
  return false;
#endif
}

// The plug-in bundle's resource "<name>.<type>", or empty.
std::string BundleResourcePath(const char* name, const char* type) {
  NSBundle* bundle = [NSBundle bundleForClass:[AmbrelBundleMarker class]];
  NSString* path = [bundle pathForResource:[NSString stringWithUTF8String:name]
                                    ofType:[NSString stringWithUTF8String:type]];
  return path ? std::string([path fileSystemRepresentation]) : std::string();
}

class CocoaPlatform : public Platform {
 public:
  std::vector<Screen> screens() override {
    std::vector<Screen> screens;
    for (NSScreen* screen : cocoa::Items<NSScreen*>([NSScreen screens])) screens.push_back(ScreenOf(screen));
    return screens;
  }
  // The main screen is the one with the menu bar, the first of the list (Cocoa's
  // mainScreen is the one with the key window).
  Screen mainScreen() override {
    NSArray* screens = [NSScreen screens];
    return [screens count] ? ScreenOf([screens objectAtIndex:0]) : Screen{};
  }
  uint32_t displayMask(int screenNumber) override { return DisplayMask(screenNumber); }
  int mainDisplayNumber() override { return static_cast<int>(CGMainDisplayID()); }
  bool captureScreen(uint32_t displayMask, CapturedImage* out) override { return CaptureDisplays(displayMask, out); }
  // AMBREL_RESOURCES first, as on Linux, so that a host may point the view at
  // other resources; else the plug-in bundle's own.
  std::string pathForResource(const char* name, const char* type) override {
    if (const char* folder = std::getenv("AMBREL_RESOURCES"); folder && *folder)
      return ResourcePathInDirectory(folder, name, type);
    // A bundle is a folder like any other: what is in it is read only as a
    // regular file, never a FIFO that would block the open.
    const std::string path = BundleResourcePath(name, type);
    return path.empty() || !UserFile(path, INT64_MAX).isOpen() ? std::string() : path;
  }
};

}  // namespace

// Cocoa's screen frames grow upwards from the bottom of the first screen; the
// core's grow downwards from its top.
Screen ScreenOf(NSScreen* screen) {
  NSArray* screens = [NSScreen screens];
  const CGFloat top = [screens count] ? NSMaxY([[screens objectAtIndex:0] frame]) : 0;
  const NSRect frame = [screen frame];
  return Screen{Rect{frame.origin.x, top - NSMaxY(frame), frame.size.width, frame.size.height}, ScreenNumber(screen)};
}

std::vector<uint32_t> PixelFormatWords(const SurfaceRequest& request) {
  std::vector<uint32_t> words;
  if (request.accelerated) words.push_back(NSOpenGLPFAAccelerated);
  words.insert(words.end(), {NSOpenGLPFAColorSize, static_cast<uint32_t>(request.colorBits)});
  if (request.alphaBits) words.insert(words.end(), {NSOpenGLPFAAlphaSize, static_cast<uint32_t>(request.alphaBits)});
  if (request.depthBits) words.insert(words.end(), {NSOpenGLPFADepthSize, static_cast<uint32_t>(request.depthBits)});
  if (request.stencilBits)
    words.insert(words.end(), {NSOpenGLPFAStencilSize, static_cast<uint32_t>(request.stencilBits)});
  if (request.doubleBuffer) words.push_back(NSOpenGLPFADoubleBuffer);
  words.insert(words.end(), {NSOpenGLPFAMinimumPolicy, NSOpenGLPFAMaximumPolicy, 0});
  return words;
}

void InstallCocoaPlatform() {
  static CocoaPlatform platform;
  SetPlatform(&platform);
  InstallAlertPresenter();
}

}  // namespace ambrel
