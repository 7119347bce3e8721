// The sheet's window as the Objective-C view returns it to the engine.
#import "platform/macos/Cocoa.h"

class SheetControl;
class SheetWindow;

namespace cocoa {
// The NSWindow of a sheet the Cocoa sheet services loaded; nil for none.
NSWindow* WindowOfSheet(SheetWindow* sheet);
// The AppKit control behind one of its controls; nil for none.
NSControl* ControlOf(SheetControl* control);
}  // namespace cocoa
