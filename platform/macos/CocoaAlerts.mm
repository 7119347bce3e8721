// The decoder's alerts as NSAlerts that do not wait: while the saver owns the
// screen a modal alert would stop the water behind a window no one may see.
#import "platform/macos/Cocoa.h"

#include <cstdio>

#include "platform/Alerts.h"
#include "platform/macos/CocoaPlatform.h"

using namespace ambrel;

@interface AmbrelAlertCloser : NSObject {
 @public
  NSAlert* alert;
}
- (void)acknowledge:(id)sender;
@end

@implementation AmbrelAlertCloser
- (void)acknowledge:(id)sender {
  (void)sender;
  [[alert window] orderOut:nil];
  [alert release];
  alert = nil;
  [self release];
}
@end

void ambrel::InstallAlertPresenter() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  SetAlertPresenter([](const char* title, const char* message) {
    // Also a line on stderr: the system log keeps what a closed alert said.
    std::fprintf(stderr, "ambrel: %s: %s\n", title, message);
    NSString* titleText = [NSString stringWithUTF8String:title];
    NSString* messageText = [NSString stringWithUTF8String:message];
    NSAlert* alert = [[NSAlert alloc] init];
    [alert setMessageText:titleText ? titleText : @""];
    [alert setInformativeText:messageText ? messageText : @""];
    [alert addButtonWithTitle:@"OK"];
#ifdef GNUSTEP
    // GNUstep builds an alert's panel only as it runs it; this is its layout.
    if ([alert respondsToSelector:@selector(_setupPanel)]) [alert performSelector:@selector(_setupPanel)];
#else
    [alert layout];
#endif
    // Its button closes it (the alert's own would end a modal session there is none of).
    AmbrelAlertCloser* closer = [[AmbrelAlertCloser alloc] init];
    closer->alert = alert;
    NSButton* ok = [[alert buttons] count] ? [[alert buttons] objectAtIndex:0] : nil;
    [ok setTarget:closer];
    [ok setAction:@selector(acknowledge:)];
    NSWindow* window = [alert window];
    [window setLevel:NSScreenSaverWindowLevel + 1];
    [window orderFrontRegardless];
  });
}
