// The configuration sheet "Ambrel", built in code with AppKit controls on a Mac
// and on GNUstep alike (GNUstep cannot read the .nib that ibtool compiles, and no
// ibtool runs here to check a hand-written .xib): the same window, controls,
// outlets and actions as resources/ui/Ambrel.ui. Also the folder panel and the
// web page.
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

enum class Kind { kCheckBox, kSlider, kPopUp, kButton };

class CocoaControl : public SheetControl {
 public:
  CocoaControl(NSControl* control, Kind kind) : control_([control retain]), kind_(kind) {}
  ~CocoaControl() override { [control_ release]; }
  void setState(int state) override {
    if (kind_ == Kind::kCheckBox)
      [(NSButton*)control_ setState:state == kControlStateOn ? NSControlStateValueOn
                                    : state == kControlStateOff ? NSControlStateValueOff
                                                                : NSControlStateValueMixed];
  }
  int state() const override {
    if (kind_ != Kind::kCheckBox) return 0;
    const NSInteger state = [(NSButton*)control_ state];
    return state == NSControlStateValueOn ? kControlStateOn : state == NSControlStateValueOff ? kControlStateOff : kControlStateMixed;
  }
  // The slider holds the value inside its own range, as its control does.
  void setIntValue(int value) override {
    if (kind_ != Kind::kSlider) return;
    NSSlider* slider = (NSSlider*)control_;
    [slider setIntValue:static_cast<int>(std::max([slider minValue], std::min([slider maxValue], double(value))))];
  }
  int intValue() const override { return kind_ == Kind::kSlider ? [control_ intValue] : 0; }
  void selectItemAtIndex(int index) override {
    if (kind_ != Kind::kPopUp) return;
    NSPopUpButton* menu = (NSPopUpButton*)control_;
    [menu selectItemAtIndex:index >= 0 && index < [menu numberOfItems] ? index : -1];
  }
  int indexOfSelectedItem() const override {
    return kind_ == Kind::kPopUp ? static_cast<int>([(NSPopUpButton*)control_ indexOfSelectedItem]) : 0;
  }
  void setTitle(const std::string& title) override {
    NSString* text = [NSString stringWithUTF8String:title.c_str()];
    if (kind_ == Kind::kButton) [(NSButton*)control_ setTitle:text ? text : @""];
  }
  std::string title() const override {
    return kind_ == Kind::kButton ? std::string([[(NSButton*)control_ title] UTF8String]) : std::string();
  }
  void setEnabled(bool enabled) override { [control_ setEnabled:enabled]; }
  bool isEnabled() const override { return [control_ isEnabled]; }
  NSControl* control() const { return control_; }

 private:
  NSControl* control_;
  Kind kind_;
};

// One control of the sheet: its outlet (or none), the action it sends (or none),
// and how it shows.
struct ControlPlan {
  const char* outlet;
  const char* action;
  Kind kind;
  const char* label;  // a row's label, or the title of a check box or button
  int lowest, highest;
  std::vector<const char*> items;
};

const ControlPlan kRows[] = {
    {"oWaterSpeed", nullptr, Kind::kSlider, "Water speed:", 10, 1190, {}},
    {"oWaterRes", nullptr, Kind::kSlider, "Water resolution:", 4, 8, {}},
    {"oDripSpeed", nullptr, Kind::kSlider, "Drip interval:", 1, 1000, {}},
    {"oBGType", "configureSheet_update:", Kind::kPopUp, "Background:", 0, 0,
     {"Screen capture", "Desktop picture", "Random picture from a folder"}},
    {"oBGPath", "configureSheet_bgpath:", Kind::kButton, "Picture folder:", 0, 0, {}},
    {"oBGRes", nullptr, Kind::kPopUp, "Background detail:", 0, 0, {"Low", "Medium", "High"}},
    {"oLighting", nullptr, Kind::kCheckBox, "Moving light", 0, 0, {}},
    {"oWantBowl", nullptr, Kind::kCheckBox, "Bowl", 0, 0, {}},
    {"oMainMonitorOnly", nullptr, Kind::kCheckBox, "Only on the main screen", 0, 0, {}},
};

const ControlPlan kButtons[] = {
    {nullptr, "configureSheet_openwebsite:", Kind::kButton, "About Ambrel", 0, 0, {}},
    {nullptr, "configureSheet_defaults:", Kind::kButton, "Defaults", 0, 0, {}},
    {nullptr, "configureSheet_cancel:", Kind::kButton, "Cancel", 0, 0, {}},
    {nullptr, "configureSheet_save:", Kind::kButton, "Save", 0, 0, {}},
};

const char* const kSheetName = "Ambrel";
const CGFloat kWidth = 480, kRowHeight = 30, kMargin = 16, kLabelWidth = 140;

NSString* Text(const char* text) { return [NSString stringWithUTF8String:text]; }

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
    const CGFloat height = kMargin * 2 + kRowHeight * (std::size(kRows) + 1);
    window_ = [[NSPanel alloc] initWithContentRect:NSMakeRect(0, 0, kWidth, height)
                                         styleMask:NSWindowStyleMaskTitled
                                           backing:NSBackingStoreBuffered
                                             defer:YES];
    [window_ setTitle:@"Ambrel Settings"];
    [window_ setReleasedWhenClosed:NO];
    for (const SheetAction& action : owner.actions) actions_[action.selector] = action.perform;

    NSView* content = [window_ contentView];
    CGFloat y = height - kMargin - kRowHeight;
    std::map<std::string, CocoaControl*> byOutlet;
    for (const ControlPlan& plan : kRows) {
      const NSRect field = NSMakeRect(kMargin + kLabelWidth, y, kWidth - 2 * kMargin - kLabelWidth, kRowHeight - 6);
      NSControl* control = nil;
      if (plan.kind == Kind::kCheckBox) {
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
        if (plan.kind == Kind::kSlider) {
          NSSlider* slider = [[[NSSlider alloc] initWithFrame:field] autorelease];
          [slider setMinValue:plan.lowest];
          [slider setMaxValue:plan.highest];
          control = slider;
        } else if (plan.kind == Kind::kPopUp) {
          NSPopUpButton* menu = [[[NSPopUpButton alloc] initWithFrame:field pullsDown:NO] autorelease];
          for (const char* item : plan.items) [menu addItemWithTitle:Text(item)];
          control = menu;
        } else {
          NSButton* button = [[[NSButton alloc] initWithFrame:field] autorelease];
          [button setButtonType:NSButtonTypeMomentaryPushIn];
          [button setBezelStyle:NSBezelStyleRounded];
          control = button;
        }
      }
      [content addSubview:control];
      byOutlet[plan.outlet] = Connect(control, plan);
      y -= kRowHeight;
    }
    CGFloat x = kMargin;
    const CGFloat buttonWidth = (kWidth - 2 * kMargin) / std::size(kButtons);
    for (const ControlPlan& plan : kButtons) {
      NSButton* button = [[[NSButton alloc] initWithFrame:NSMakeRect(x, kMargin, buttonWidth - 8, kRowHeight - 4)]
          autorelease];
      [button setButtonType:NSButtonTypeMomentaryPushIn];
      [button setBezelStyle:NSBezelStyleRounded];
      [button setTitle:Text(plan.label)];
      if (std::strcmp(plan.action, "configureSheet_cancel:") == 0) [button setKeyEquivalent:@"\033"];
      if (std::strcmp(plan.action, "configureSheet_save:") == 0) [button setKeyEquivalent:@"\r"];
      [content addSubview:button];
      Connect(button, plan);
      x += buttonWidth;
    }

    for (const SheetOutlet& outlet : owner.outlets) {
      auto found = byOutlet.find(outlet.name);
      if (found == byOutlet.end()) {
        std::fprintf(stderr, "ambrel: the sheet %s has no outlet %s\n", kSheetName, outlet.name.c_str());
        return false;
      }
      *outlet.control = found->second;
    }
    return true;
  }

 private:
  CocoaControl* Connect(NSControl* control, const ControlPlan& plan) {
    auto* wrapper = new CocoaControl(control, plan.kind);
    controls_[control] = wrapper;
    if (plan.action) {
      if (!actions_.count(plan.action))
        std::fprintf(stderr, "ambrel: the sheet's action %s has no receiver; left unconnected\n", plan.action);
      [control setTarget:target_];
      [control setAction:NSSelectorFromString(Text(plan.action))];
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
