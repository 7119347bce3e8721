// The configuration sheet "Ambrel", built in code with AppKit controls on a Mac
// and on GNUstep alike (GNUstep cannot read the .nib that ibtool compiles, and no
// ibtool runs here to check a hand-written .xib): a row for each of the owner's
// outlets, as it describes them, and the buttons of resources/ui/Ambrel.ui. Also
// the folder panel and the web page.
#import "platform/macos/CocoaSheet.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <functional>
#include <map>
#include <string>

#include "platform/SheetControls.h"
#include "platform/macos/CocoaPlatform.h"

using namespace ambrel;

namespace {

using Perform = std::function<void(SheetControl* sender)>;

}  // namespace

// The target of every control of a sheet: it answers the owner's action
// selectors by name and hands them on with the sender's SheetControl.
@interface AmbrelSheetTarget : NSObject {
 @public
  std::map<std::string, Perform>* actions;
  std::map<NSControl*, SheetControl*>* controls;
}
@end

@implementation AmbrelSheetTarget
- (BOOL)respondsToSelector:(SEL)selector {
  return actions->count(std::string([NSStringFromSelector(selector) UTF8String])) || [super respondsToSelector:selector];
}
- (NSMethodSignature*)methodSignatureForSelector:(SEL)selector {
  if (actions->count(std::string([NSStringFromSelector(selector) UTF8String])))
    return [NSMethodSignature signatureWithObjCTypes:"v@:@"];
  return [super methodSignatureForSelector:selector];
}
- (void)forwardInvocation:(NSInvocation*)invocation {
  auto action = actions->find(std::string([NSStringFromSelector([invocation selector]) UTF8String]));
  if (action == actions->end()) {
    [super forwardInvocation:invocation];
    return;
  }
  id sender = nil;
  [invocation getArgument:&sender atIndex:2];
  auto control = controls->find(sender);
  action->second(control == controls->end() ? nullptr : control->second);
}
@end

namespace {

class CocoaControl : public SheetControl {
 public:
  CocoaControl(NSControl* control, SheetControlKind kind) : control_([control retain]), kind_(kind) {}
  ~CocoaControl() override { [control_ release]; }
  void setState(int state) override {
    if (kind_ == SheetControlKind::kCheckBox)
      [(NSButton*)control_ setState:state == kControlStateOn ? NSControlStateValueOn
                                    : state == kControlStateOff ? NSControlStateValueOff
                                                                : NSControlStateValueMixed];
  }
  int state() const override {
    if (kind_ != SheetControlKind::kCheckBox) return 0;
    const NSInteger state = [(NSButton*)control_ state];
    return state == NSControlStateValueOn ? kControlStateOn : state == NSControlStateValueOff ? kControlStateOff : kControlStateMixed;
  }
  // The slider holds the value inside its own range, as its control does.
  void setIntValue(int value) override {
    if (kind_ != SheetControlKind::kSlider) return;
    NSSlider* slider = (NSSlider*)control_;
    [slider setIntValue:static_cast<int>(std::max([slider minValue], std::min([slider maxValue], double(value))))];
  }
  int intValue() const override { return kind_ == SheetControlKind::kSlider ? [control_ intValue] : 0; }
  void selectItemAtIndex(int index) override {
    if (kind_ != SheetControlKind::kPopUp) return;
    NSPopUpButton* menu = (NSPopUpButton*)control_;
    [menu selectItemAtIndex:index >= 0 && index < [menu numberOfItems] ? index : -1];
  }
  int indexOfSelectedItem() const override {
    return kind_ == SheetControlKind::kPopUp ? static_cast<int>([(NSPopUpButton*)control_ indexOfSelectedItem]) : 0;
  }
  void setTitle(const std::string& title) override {
    NSString* text = [NSString stringWithUTF8String:title.c_str()];
    if (kind_ == SheetControlKind::kButton) [(NSButton*)control_ setTitle:text ? text : @""];
  }
  std::string title() const override {
    return kind_ == SheetControlKind::kButton ? std::string([[(NSButton*)control_ title] UTF8String]) : std::string();
  }
  void setEnabled(bool enabled) override { [control_ setEnabled:enabled]; }
  bool isEnabled() const override { return [control_ isEnabled]; }
  NSControl* control() const { return control_; }

 private:
  NSControl* control_;
  SheetControlKind kind_;
};

// The buttons along the bottom: the action each sends, and its title.
struct SheetButton {
  const char* action;
  const char* title;
};

const char* const kSheetName = "Ambrel";

const SheetButton kButtons[] = {
    {"configureSheet_openwebsite:", "About Ambrel"},
    {"configureSheet_defaults:", "Defaults"},
    {"configureSheet_cancel:", "Cancel"},
    {"configureSheet_save:", "Save"},
};

const CGFloat kWidth = 480, kRowHeight = 30, kMargin = 16, kLabelWidth = 140;

NSString* Text(const std::string& text) { return [NSString stringWithUTF8String:text.c_str()]; }

class CocoaSheetWindow : public SheetWindow {
 public:
  CocoaSheetWindow() {
    target_ = [[AmbrelSheetTarget alloc] init];
    target_->actions = &actions_;
    target_->controls = &controls_;
  }
  ~CocoaSheetWindow() override {
    [window_ orderOut:nil];
    [window_ release];
    for (auto& [control, wrapper] : controls_) {
      [control setTarget:nil];
      delete wrapper;
    }
    [target_ release];
  }
  void present() override { [window_ makeKeyAndOrderFront:nil]; }
  // The sheet is the engine's to end: a sheet attached to a window is ended
  // through its parent, a free window is ordered out.
  void endSheet() override {
#ifndef GNUSTEP
    if (NSWindow* parent = [window_ sheetParent]) {
      [parent endSheet:window_];
      return;
    }
#endif
    [window_ orderOut:nil];
  }
  bool isShown() const override { return [window_ isVisible]; }
  NSWindow* window() const { return window_; }

  bool Build(const SheetOwner& owner) {
    const CGFloat height = kMargin * 2 + kRowHeight * (owner.outlets.size() + 1);
    window_ = [[NSPanel alloc] initWithContentRect:NSMakeRect(0, 0, kWidth, height)
                                         styleMask:NSWindowStyleMaskTitled
                                           backing:NSBackingStoreBuffered
                                             defer:YES];
    [window_ setTitle:@"Ambrel Settings"];
    [window_ setReleasedWhenClosed:NO];
    for (const SheetAction& action : owner.actions) actions_[action.selector] = action.perform;

    NSView* content = [window_ contentView];
    CGFloat y = height - kMargin - kRowHeight;
    for (const SheetOutlet& plan : owner.outlets) {
      const NSRect field = NSMakeRect(kMargin + kLabelWidth, y, kWidth - 2 * kMargin - kLabelWidth, kRowHeight - 6);
      NSControl* control = nil;
      if (plan.kind == SheetControlKind::kCheckBox) {
        NSButton* box = [[[NSButton alloc] initWithFrame:field] autorelease];
        [box setButtonType:NSButtonTypeSwitch];
        [box setTitle:Text(plan.label)];
        control = box;
      } else {
        NSTextField* label =
            [[[NSTextField alloc] initWithFrame:NSMakeRect(kMargin, y, kLabelWidth - 8, kRowHeight - 8)] autorelease];
        [label setStringValue:Text(plan.label)];
        [label setEditable:NO];
        [label setBordered:NO];
        [label setDrawsBackground:NO];
        [content addSubview:label];
        if (plan.kind == SheetControlKind::kSlider) {
          NSSlider* slider = [[[NSSlider alloc] initWithFrame:field] autorelease];
          [slider setMinValue:plan.lowest];
          [slider setMaxValue:plan.highest];
          control = slider;
        } else if (plan.kind == SheetControlKind::kPopUp) {
          NSPopUpButton* menu = [[[NSPopUpButton alloc] initWithFrame:field pullsDown:NO] autorelease];
          for (const std::string& item : plan.items) [menu addItemWithTitle:Text(item)];
          control = menu;
        } else {
          NSButton* button = [[[NSButton alloc] initWithFrame:field] autorelease];
          [button setButtonType:NSButtonTypeMomentaryPushIn];
          [button setBezelStyle:NSBezelStyleRounded];
          control = button;
        }
      }
      [content addSubview:control];
      *plan.control = Connect(control, plan.kind, plan.action);
      y -= kRowHeight;
    }
    CGFloat x = kMargin;
    const CGFloat buttonWidth = (kWidth - 2 * kMargin) / std::size(kButtons);
    for (const SheetButton& plan : kButtons) {
      NSButton* button = [[[NSButton alloc] initWithFrame:NSMakeRect(x, kMargin, buttonWidth - 8, kRowHeight - 4)]
          autorelease];
      [button setButtonType:NSButtonTypeMomentaryPushIn];
      [button setBezelStyle:NSBezelStyleRounded];
      [button setTitle:Text(plan.title)];
      if (std::strcmp(plan.action, "configureSheet_cancel:") == 0) [button setKeyEquivalent:@"\033"];
      if (std::strcmp(plan.action, "configureSheet_save:") == 0) [button setKeyEquivalent:@"\r"];
      [content addSubview:button];
      Connect(button, SheetControlKind::kButton, plan.action);
      x += buttonWidth;
    }
    return true;
  }

 private:
  CocoaControl* Connect(NSControl* control, SheetControlKind kind, const std::string& action) {
    auto* wrapper = new CocoaControl(control, kind);
    controls_[control] = wrapper;
    if (!action.empty()) {
      if (!actions_.count(action))
        std::fprintf(stderr, "ambrel: the sheet's action %s has no receiver; left unconnected\n", action.c_str());
      [control setTarget:target_];
      [control setAction:NSSelectorFromString(Text(action))];
    }
    return wrapper;
  }

  NSPanel* window_ = nil;
  AmbrelSheetTarget* target_ = nil;
  std::map<std::string, Perform> actions_;
  std::map<NSControl*, SheetControl*> controls_;

};

class CocoaSheetServices : public SheetServices {
 public:
  std::unique_ptr<SheetWindow> loadSheetNamed(const char* name, const SheetOwner& owner) override {
    if (!name || std::strcmp(name, kSheetName) != 0) {
      std::fprintf(stderr, "ambrel: there is no sheet named %s\n", name ? name : "(none)");
      return nullptr;
    }
    auto sheet = std::make_unique<CocoaSheetWindow>();
    if (!sheet->Build(owner)) return nullptr;
    return sheet;
  }

  std::optional<std::string> runFolderPanel(const FolderPanel& panel) override {
    NSOpenPanel* open = [NSOpenPanel openPanel];
    [open setTitle:Text(panel.title.c_str())];
    [open setCanChooseFiles:panel.canChooseFiles];
    [open setCanChooseDirectories:panel.canChooseDirectories];
    [open setAllowsMultipleSelection:panel.allowsMultipleSelection];
    NSString* start = [NSString stringWithUTF8String:panel.startDirectory.c_str()];
    if ([start length]) [open setDirectoryURL:[NSURL fileURLWithPath:start isDirectory:YES]];
    if ([open runModal] != NSModalResponseOK) return std::nullopt;
    NSURL* chosen = [[open URLs] count] ? [[open URLs] objectAtIndex:0] : nil;
    if (!chosen || ![chosen isFileURL]) return std::nullopt;
    return std::string([[chosen path] fileSystemRepresentation]);
  }

  bool openFileInBrowser(const std::string& path) override {
    NSString* file = [NSString stringWithUTF8String:path.c_str()];
    return file && [[NSWorkspace sharedWorkspace] openURL:[NSURL fileURLWithPath:file]];
  }
};

}  // namespace

SheetServices& ambrel::CocoaSheets() {
  static CocoaSheetServices services;
  return services;
}

namespace cocoa {

NSWindow* WindowOfSheet(SheetWindow* sheet) {
  auto* cocoaSheet = dynamic_cast<CocoaSheetWindow*>(sheet);
  return cocoaSheet ? cocoaSheet->window() : nil;
}

NSControl* ControlOf(SheetControl* control) {
  auto* cocoaControl = dynamic_cast<CocoaControl*>(control);
  return cocoaControl ? cocoaControl->control() : nil;
}

}  // namespace cocoa
