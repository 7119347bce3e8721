// A stand-in for the macOS screen-saver engine, on GNUstep: loads a .saver
// bundle, makes its principal class once per screen (a full-screen window each)
// and once as a preview (a small window over the first screen), drives the views
// as the engine does and releases them, reporting each step on stdout. What a
// view holds it reads through the principal class's test interface.
//   ambrel-saver-engine <bundle> run <seconds> [<views per screen> [willstop]]
//       willstop: after a second, post the system's com.apple.screensaver.willstop
// GNUstep on Xvfb knows one NSScreen however many monitors the server has, so a
// screen may be split into side-by-side views, one per monitor it stands for.
//   ambrel-saver-engine <bundle> sheet <action>...   (actions: save cancel defaults
//       update; "set:<outlet>=<value>" sets a control; "show" reports the controls)
#import "platform/macos/Cocoa.h"
#import <ScreenSaver/ScreenSaver.h>
#include <GL/gl.h>

#import "tools/saver/AmbrelViewTesting.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void Say(NSString* line) {
  std::printf("%s\n", [line UTF8String]);
  std::fflush(stdout);
}

NSOpenGLView* OpenGLViewIn(NSView* view) {
  for (NSView* subview : cocoa::Items<NSView*>([view subviews]))
    if ([subview isKindOfClass:[NSOpenGLView class]]) return (NSOpenGLView*)subview;
  return nil;
}

ambrel::ViewFacts Facts(ScreenSaverView* view) {
  ambrel::ViewFacts facts;
  if ([view conformsToProtocol:@protocol(AmbrelViewTesting)]) [(id<AmbrelViewTesting>)view ambrelDescribe:&facts];
  return facts;
}

std::string Joined(const std::vector<uint32_t>& numbers) {
  std::string text;
  for (uint32_t number : numbers) text += (text.empty() ? "" : ",") + std::to_string(number);
  return text;
}

// A context in the view's share group, kept after the view is gone, in which the
// view's texture names are looked up again.
struct TextureProbe {
  NSWindow* window = nil;
  NSOpenGLView* glView = nil;
  std::vector<uint32_t> names;

  bool Attach(NSOpenGLView* viewGL, const std::vector<uint32_t>& textureNames) {
    if (!viewGL) return false;
    names = textureNames;
    NSOpenGLContext* shared = [[[NSOpenGLContext alloc] initWithFormat:[viewGL pixelFormat]
                                                          shareContext:[viewGL openGLContext]] autorelease];
    if (!shared) return false;
    window = [[NSWindow alloc] initWithContentRect:NSMakeRect(0, 0, 8, 8)
                                         styleMask:NSWindowStyleMaskBorderless
                                           backing:NSBackingStoreBuffered
                                             defer:NO];
    glView = [[NSOpenGLView alloc] initWithFrame:NSMakeRect(0, 0, 8, 8) pixelFormat:[viewGL pixelFormat]];
    [window setContentView:glView];
    [window orderBack:nil];
    [glView setOpenGLContext:shared];
    [shared setView:glView];
    return true;
  }
  std::string Alive() {
    std::string alive;
    [[glView openGLContext] makeCurrentContext];
    for (uint32_t name : names)
      if (glIsTexture(name)) alive += " " + std::to_string(name);
    return alive;
  }
};

struct Saver {
  NSWindow* window;
  ScreenSaverView* view;
};

void RunLoopFor(double seconds) {
  NSDate* until = [NSDate dateWithTimeIntervalSinceNow:seconds];
  while (!stopRequested && [until timeIntervalSinceNow] > 0)
    [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                             beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.01]];
}

Saver MakeSaver(Class principal, NSRect frame, BOOL preview) {
  NSWindow* window = [[NSWindow alloc] initWithContentRect:frame
                                                 styleMask:NSWindowStyleMaskBorderless
                                                   backing:NSBackingStoreBuffered
                                                     defer:NO];
  [window setLevel:preview ? NSScreenSaverWindowLevel + 1 : NSScreenSaverWindowLevel];
  const NSRect local = NSMakeRect(0, 0, frame.size.width, frame.size.height);
  // Made before its window shows, as the engine does, so a capture sees the desktop.
  ScreenSaverView* view = [[principal alloc] initWithFrame:local isPreview:preview];
  [window setContentView:view];
  [view setFrameSize:local.size];
  [window orderFrontRegardless];
  return Saver{window, view};
}

NSControl* Outlet(ScreenSaverView* view, const char* name) {
  id control = nil;
  @try {
    control = [view valueForKey:[NSString stringWithUTF8String:name]];
  } @catch (NSException*) {
  }
  return control;
}

}  // namespace

int main(int argc, char** argv) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <bundle> run <seconds> | sheet <actions>...\n", argv[0]);
    return 2;
  }
  std::signal(SIGTERM, [](int) { stopRequested = 1; });
  [NSApplication sharedApplication];
  // An exception nobody catches ends the engine with a line, not in GNUstep's panel.
  NSSetUncaughtExceptionHandler([](NSException* exception) {
    std::fprintf(stderr, "uncaught %s: %s\n", [[exception name] UTF8String], [[exception reason] UTF8String]);
    std::_Exit(70);
  });

  NSBundle* bundle = [NSBundle bundleWithPath:[NSString stringWithUTF8String:argv[1]]];
  Class principal = [bundle principalClass];
  if (!principal || ![principal isSubclassOfClass:[ScreenSaverView class]]) {
    Say([NSString stringWithFormat:@"no screen-saver view in %s", argv[1]]);
    return 1;
  }
  Say([NSString stringWithFormat:@"loaded principal %@ gammaFade=%d", NSStringFromClass(principal),
                                 (int)[principal performGammaFade]]);
  const std::string mode = argv[2];

  if (mode == "sheet") {
    // One preview view and its sheet, as the settings pane has them.
    Saver saver = MakeSaver(principal, NSMakeRect(0, 0, 160, 120), YES);
    Say([NSString stringWithFormat:@"hasConfigureSheet=%d", (int)[saver.view hasConfigureSheet]]);
    NSWindow* sheet = [saver.view configureSheet];
    NSWindow* again = [saver.view configureSheet];
    Say([NSString stringWithFormat:@"sheet=%d same=%d", sheet != nil, sheet == again]);
    [sheet orderFront:nil];
    for (int i = 3; i < argc && sheet; ++i) {
      const std::string step = argv[i];
      if (step.rfind("set:", 0) == 0) {
        const size_t equals = step.find('=');
        NSControl* control = Outlet(saver.view, step.substr(4, equals - 4).c_str());
        const int value = std::atoi(step.c_str() + equals + 1);
        if ([control isKindOfClass:[NSPopUpButton class]])
          [(NSPopUpButton*)control selectItemAtIndex:value];
        else if ([control isKindOfClass:[NSButton class]])
          [(NSButton*)control setState:value];
        else
          [control setIntValue:value];
      } else if (step == "show") {
        NSMutableString* line = [NSMutableString stringWithString:@"controls"];
        for (const char* name : {"oMainMonitorOnly", "oLighting", "oWantBowl", "oWaterSpeed", "oWaterRes",
                                 "oDripSpeed", "oBGType", "oBGPath", "oBGRes"}) {
          NSControl* control = Outlet(saver.view, name);
          NSString* value = [control isKindOfClass:[NSPopUpButton class]]
                                ? [NSString stringWithFormat:@"%ld", (long)[(NSPopUpButton*)control indexOfSelectedItem]]
                            : std::strcmp(name, "oBGPath") == 0 ? [(NSButton*)control title]
                            : [control isKindOfClass:[NSButton class]]
                                ? [NSString stringWithFormat:@"%ld", (long)[(NSButton*)control state]]
                                : [NSString stringWithFormat:@"%d", [control intValue]];
          [line appendFormat:@" %s=%@%@", name, value, [control isEnabled] ? @"" : @"(off)"];
        }
        Say(line);
      } else {
        // The sheet's buttons carry the actions: press the one that sends it.
        NSString* selector = [NSString stringWithFormat:@"configureSheet_%s:", step.c_str()];
        bool pressed = false;
        NSMutableArray* views = [NSMutableArray arrayWithObject:[sheet contentView]];
        while ([views count] && !pressed) {
          NSView* candidate = [views objectAtIndex:0];
          [views removeObjectAtIndex:0];
          [views addObjectsFromArray:[candidate subviews]];
          if ([candidate isKindOfClass:[NSButton class]] &&
              [NSStringFromSelector([(NSButton*)candidate action]) isEqualToString:selector]) {
            [(NSButton*)candidate performClick:nil];
            pressed = true;
          }
        }
        Say([NSString stringWithFormat:@"%@ %s visible=%d", pressed ? @"pressed" : @"no button for", step.c_str(),
                                       (int)[sheet isVisible]]);
      }
    }
    [saver.view release];
    [saver.window close];
    Say(@"exit 0");
    [pool release];
    return 0;
  }

  const double seconds = argc > 3 ? std::atof(argv[3]) : 5;
  const int split = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
  std::vector<Saver> savers;
  NSArray* screens = [NSScreen screens];
  for (NSScreen* screen : cocoa::Items<NSScreen*>(screens)) {
    NSRect part = [screen frame];
    part.size.width /= split;
    for (int i = 0; i < split; ++i, part.origin.x += part.size.width) savers.push_back(MakeSaver(principal, part, NO));
  }
  const NSRect first = [[screens objectAtIndex:0] frame];
  savers.push_back(MakeSaver(principal, NSMakeRect(first.origin.x + 20, NSMaxY(first) - 20 - 120, 160, 120), YES));
  for (size_t i = 0; i < savers.size(); ++i) {
    const NSRect frame = [savers[i].window frame];
    Say([NSString stringWithFormat:@"view %zu preview=%d frame=%gx%g+%g+%g", i, (int)[savers[i].view isPreview],
                                   frame.size.width, frame.size.height, frame.origin.x, frame.origin.y]);
  }
  for (const Saver& saver : savers) [saver.view startAnimation];
  Say(@"animating");
  if (argc > 5 && std::strcmp(argv[5], "willstop") == 0) {
    RunLoopFor(1);
    [[NSDistributedNotificationCenter defaultCenter] postNotificationName:@"com.apple.screensaver.willstop"
                                                                   object:nil];
    Say(@"posted willstop");
  }
  RunLoopFor(seconds);

  // Alerts stay up without stopping the water: count the ones still shown.
  int alerts = 0;
  for (NSWindow* window : cocoa::Items<NSWindow*>([NSApp windows]))
    alerts += [window isKindOfClass:[NSPanel class]] && [window isVisible];
  Say([NSString stringWithFormat:@"alerts shown %d", alerts]);
  for (const Saver& saver : savers) [saver.view stopAnimation];
  std::vector<TextureProbe> probes(savers.size());
  for (size_t i = 0; i < savers.size(); ++i) {
    const ambrel::ViewFacts facts = Facts(savers[i].view);
    Say([NSString stringWithFormat:@"view %zu scene=%d overlay=%d textures=%s pixelformat=%s animating=%d", i,
                                   (int)facts.scene, (int)facts.overlay, Joined(facts.textures).c_str(),
                                   Joined(facts.pixelFormat).c_str(), (int)[savers[i].view isAnimating]]);
    probes[i].Attach(OpenGLViewIn(savers[i].view), facts.textures);
  }
  int released = 0;
  for (size_t i = 0; i < savers.size(); ++i) {
    [savers[i].window setContentView:nil];
    [savers[i].view release];
    [savers[i].window close];
    ++released;
    Say([NSString stringWithFormat:@"view %zu released, textures alive:%s", i, probes[i].Alive().c_str()]);
  }
  Say([NSString stringWithFormat:@"exit 0 released %d of %zu", released, savers.size()]);
  [pool release];
  return 0;
}
