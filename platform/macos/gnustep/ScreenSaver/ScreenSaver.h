// GNUstep stand-in for Apple's ScreenSaver framework, written from its published
// interface: the view class the engine drives and the per-module defaults.
#import <ScreenSaver/ScreenSaverView.h>
#import <ScreenSaver/ScreenSaverDefaults.h>
