// The sheet's window as the Objective-C view returns it to the engine.
#import "platform/macos/Cocoa.h"

namespace ambrel {
class SheetControl;
class SheetWindow;
}  // namespace ambrel

namespace cocoa {
// The NSWindow of a sheet the Cocoa sheet services loaded; nil for none.
NSWindow* WindowOfSheet(ambrel::SheetWindow* sheet);
// The AppKit control behind one of its controls; nil for none.
NSControl* ControlOf(ambrel::SheetControl* control);
}  // namespace cocoa
