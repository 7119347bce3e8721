// What the view uses of current AppKit that GNUstep 0.29 lacks, with Apple's names.
#import <AppKit/AppKit.h>

// Current names of constants GNUstep 0.29 knows only by their older ones.
static const NSButtonType NSButtonTypeSwitch = NSSwitchButton;
static const NSButtonType NSButtonTypeMomentaryPushIn = NSMomentaryPushInButton;
static const NSBezelStyle NSBezelStyleRounded = NSRoundedBezelStyle;
static const NSBitmapFormat NSBitmapFormatAlphaFirst = NSAlphaFirstBitmapFormat;
static const NSBitmapFormat NSBitmapFormatFloatingPointSamples = NSFloatingPointSamplesBitmapFormat;
