// The settings window itself: the real builder file loaded by GTK on a private
// Xvfb, driven through its widgets, with the real settings store; the folder
// chooser, the page launch, the preview process and `--configure`.
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "Files.h"
#include "XvfbServer.h"
#include "platform/Alerts.h"
#include "platform/linux/ConfigureDialog.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/linux/GtkSheet.h"
#include "tests/host/HostFixture.h"
// Xlib last: its macros must not meet GoogleTest's templates.
#include "PlatformLayers.h"
#include "X11TestSupport.h"
#include <X11/extensions/XTest.h>
#define Screen XlibScreen
#include <gdk/gdkx.h>

namespace ambrel {
#undef Screen

namespace {

const Screen kScreen{Rect{0, 0, 64, 48}, 1};
const char* const kOutlets[] = {"oMainMonitorOnly", "oWaterSpeed", "oWaterRes", "oDripSpeed", "oLighting",
                                "oWantBowl",        "oBGType",     "oBGPath",   "oBGRes",     "oOverlay"};

std::unique_ptr<ScreenSaverDefaults> Store() { return ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel"); }

void Pump() {
  while (gtk_events_pending()) gtk_main_iteration();
}

// Runs the main loop until done() holds or the time is up.
template <typename Done>
bool PumpUntil(Done done, double seconds = 30) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A key pressed as a keyboard sends it: through the server to the window with the
// input focus. After the round trip GTK's queue holds the events, and the pump
// hands them out.
void PressKey(KeySym symbol, bool shift = false) {
  ::Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  const KeyCode shiftKey = XKeysymToKeycode(x, XK_Shift_L), key = XKeysymToKeycode(x, symbol);
  if (shift) XTestFakeKeyEvent(x, shiftKey, True, CurrentTime);
  XTestFakeKeyEvent(x, key, True, CurrentTime);
  XTestFakeKeyEvent(x, key, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(x, shiftKey, False, CurrentTime);
  XSync(x, False);
  Pump();
}

class GtkSheet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new XvfbServer;
    std::string error;
    if (!server_->Start({"-screen", "0", "1024x768x24"}, &error)) {
      setupError_ = "Xvfb: " + error;
      return;
    }
    setenv("DISPLAY", server_->name().c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);  // no session bus here
    if (const char* built = std::getenv("AMBREL_RESOURCES")) resources_ = built;
    if (!gtk_init_check(nullptr, nullptr)) setupError_ = "GTK cannot open " + server_->name();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_EQ(setupError_, "");
    SetConfigurePreviewProgram("");  // each test that wants the preview names it
    auto store = Store();
    store->setObject("1.0.4", "version");
    store->setBool(true, "MainMonitorOnly");
    store->setInteger(333, "WaterSpeed");
    store->setInteger(7, "WaterRes");
    store->setInteger(40, "DripSpeed");
    store->setBool(false, "Lighting");
    store->setBool(true, "WantBowl");
    store->setInteger(2, "BGType");
    store->setObject(home.root().c_str(), "BGPath");
    store->setInteger(2, "BGRes");
    store->setBool(false, "Overlay");
    ASSERT_TRUE(store->synchronize());
  }
  void TearDown() override {
    engine.destroyViews();
    // The views' sheets go with them, and their windows for good: once the
    // server has confirmed the destruction nothing of theirs is left.
    gdk_display_sync(gdk_display_get_default());
    Pump();
    EXPECT_EQ(SheetWindowsLeft(), 0);
  }

  static int SheetWindowsLeft() {
    GList* windows = gtk_window_list_toplevels();
    int left = 0;
    for (GList* item = windows; item; item = item->next) {
      const gchar* title = gtk_window_get_title(GTK_WINDOW(item->data));
      if (title && std::string(title) == "Ambrel Settings") ++left;
    }
    g_list_free(windows);
    return left;
  }

  AmbrelView* MakeView() { return Ambrel(engine, engine.addView(AmbrelFactory(), kScreen.frame, false, 1)); }
  SheetWindow* Open(AmbrelView* view) {
    SheetWindow* sheet = view->configureSheet();
    if (sheet) sheet->present();
    Pump();
    return sheet;
  }
  static GtkWidget* Widget(SheetWindow* sheet, const char* id) { return GTK_WIDGET(GtkSheetObject(sheet, id)); }
  static double Value(SheetWindow* sheet, const char* id) { return gtk_range_get_value(GTK_RANGE(Widget(sheet, id))); }
  static int Active(SheetWindow* sheet, const char* id) { return gtk_combo_box_get_active(GTK_COMBO_BOX(Widget(sheet, id))); }
  static bool Checked(SheetWindow* sheet, const char* id) {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Widget(sheet, id)));
  }
  static void Click(SheetWindow* sheet, const char* id) {
    gtk_button_clicked(GTK_BUTTON(Widget(sheet, id)));
    Pump();
  }
  static std::string Formatted(SheetWindow* sheet, const char* id, double value) {
    gchar* text = nullptr;
    g_signal_emit_by_name(Widget(sheet, id), "format-value", value, &text);
    std::string result = text ? text : "";
    g_free(text);
    return result;
  }

  static XvfbServer* server_;
  static std::string setupError_;
  static std::string resources_;  // the build's, with the real builder file
  ScopedConfigHome home;
  OffscreenEngine engine{{kScreen}};
};

XvfbServer* GtkSheet::server_ = nullptr;
std::string GtkSheet::setupError_;
std::string GtkSheet::resources_;

TEST_F(GtkSheet, TheBuilderFileHasTheOutletsRangesFormatsAndGoodManners) {
  SheetWindow* sheet = Open(MakeView());
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(sheet->isShown());
  GtkWindow* window = GTK_WINDOW(GtkSheetObject(sheet, "configureSheet"));
  ASSERT_TRUE(GTK_IS_WINDOW(window));
  for (const char* id : kOutlets) EXPECT_TRUE(GTK_IS_WIDGET(GtkSheetObject(sheet, id))) << id;

  // The store's values, shown.
  EXPECT_TRUE(Checked(sheet, "oMainMonitorOnly"));
  EXPECT_EQ(Value(sheet, "oWaterSpeed"), 333);
  EXPECT_EQ(Value(sheet, "oWaterRes"), 7);
  EXPECT_EQ(Value(sheet, "oDripSpeed"), 40);
  EXPECT_FALSE(Checked(sheet, "oLighting"));
  EXPECT_TRUE(Checked(sheet, "oWantBowl"));
  EXPECT_FALSE(Checked(sheet, "oOverlay"));
  EXPECT_EQ(Active(sheet, "oBGType"), 2);
  EXPECT_EQ(Active(sheet, "oBGRes"), 2);
  EXPECT_EQ(std::string(gtk_button_get_label(GTK_BUTTON(Widget(sheet, "oBGPath")))), home.root());
  EXPECT_TRUE(gtk_widget_get_sensitive(Widget(sheet, "oBGPath")));

  // The ranges hold what the scene accepts and the defaults.
  struct Range {
    const char* id;
    double lower, upper, fallback;
  };
  for (const Range& range : {Range{"oWaterSpeed", 10, 1190, 100}, Range{"oWaterRes", 4, 8, 6},
                             Range{"oDripSpeed", 1, 1000, 250}}) {
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(Widget(sheet, range.id)));
    EXPECT_EQ(gtk_adjustment_get_lower(adjustment), range.lower) << range.id;
    EXPECT_EQ(gtk_adjustment_get_upper(adjustment), range.upper) << range.id;
  }
  EXPECT_EQ(Formatted(sheet, "oWaterRes", 6), "64 × 64");
  EXPECT_EQ(Formatted(sheet, "oWaterRes", 8), "256 × 256");
  EXPECT_EQ(Formatted(sheet, "oDripSpeed", 250), "2.50 s");
  EXPECT_EQ(Formatted(sheet, "oDripSpeed", 1), "0.01 s");
  EXPECT_EQ(Formatted(sheet, "oWaterSpeed", 1190), "11.90×");

  const char* const kinds[] = {"Screen capture", "Desktop picture", "Random picture from a folder"};
  GtkComboBoxText* kind = GTK_COMBO_BOX_TEXT(Widget(sheet, "oBGType"));
  for (int index = 0; index < 3; ++index) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(kind), index);
    gchar* text = gtk_combo_box_text_get_active_text(kind);
    EXPECT_STREQ(text, kinds[index]);
    g_free(text);
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(sheet, "oBGRes")), 3);
  EXPECT_EQ(Active(sheet, "oBGRes"), -1) << "three detail levels";

  // Every mnemonic leads somewhere and no two share a key.
  std::set<guint> keys;
  std::vector<GtkLabel*> labels;
  for (GObject* object : {GtkSheetObject(sheet, "oLighting"), GtkSheetObject(sheet, "oWantBowl"),
                          GtkSheetObject(sheet, "oMainMonitorOnly"), GtkSheetObject(sheet, "oOverlay"),
                          GtkSheetObject(sheet, "saveButton"),
                          GtkSheetObject(sheet, "cancelButton"), GtkSheetObject(sheet, "defaultsButton"),
                          GtkSheetObject(sheet, "webPageButton")})
    labels.push_back(GTK_LABEL(gtk_bin_get_child(GTK_BIN(object))));
  std::function<void(GtkWidget*)> collect = [&](GtkWidget* widget) {
    if (GTK_IS_LABEL(widget) && gtk_label_get_mnemonic_widget(GTK_LABEL(widget)) &&
        !GTK_IS_BUTTON(gtk_widget_get_parent(widget)))
      labels.push_back(GTK_LABEL(widget));
    if (GTK_IS_CONTAINER(widget)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
      for (GList* child = children; child; child = child->next) collect(GTK_WIDGET(child->data));
      g_list_free(children);
    }
  };
  collect(GTK_WIDGET(window));
  EXPECT_EQ(labels.size(), 8u + 6u) << "six labelled controls";
  for (GtkLabel* label : labels) {
    const guint key = gtk_label_get_mnemonic_keyval(label);
    EXPECT_NE(key, guint(GDK_KEY_VoidSymbol)) << gtk_label_get_label(label);
    EXPECT_TRUE(keys.insert(gdk_keyval_to_lower(key)).second) << "shared mnemonic in " << gtk_label_get_label(label);
  }

  // Enter saves, Escape cancels.
  EXPECT_EQ(gtk_window_get_default_widget(window), Widget(sheet, "saveButton"));
  EXPECT_TRUE(gtk_accel_groups_activate(G_OBJECT(window), GDK_KEY_Escape, GdkModifierType(0)));
  Pump();
  EXPECT_FALSE(sheet->isShown());
}

// The builder file holds no range: every slider shows the settings table's,
// and the same file loaded with other ranges shows those.
TEST_F(GtkSheet, EverySlidersRangeComesFromTheSettingsTable) {
  SheetWindow* sheet = Open(MakeView());
  ASSERT_TRUE(sheet);
  SheetOwner owner;
  std::vector<SheetControl*> controls(kSettings.size());
  int sliders = 0;
  for (const SettingDeclaration& setting : kSettings) {
    SheetOutlet outlet{setting.sheet.outlet, &controls[owner.outlets.size()], setting.sheet.control};
    outlet.lowest = setting.sheet.lowest + 1;
    outlet.highest = setting.sheet.highest + 2;
    owner.outlets.push_back(outlet);
    if (setting.sheet.control != SheetControlKind::kSlider) continue;
    ++sliders;
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(Widget(sheet, setting.sheet.outlet)));
    EXPECT_EQ(gtk_adjustment_get_lower(adjustment), setting.sheet.lowest) << setting.store.key;
    EXPECT_EQ(gtk_adjustment_get_upper(adjustment), setting.sheet.highest) << setting.store.key;
  }
  EXPECT_EQ(sliders, 3);

  ::testing::internal::CaptureStderr();  // this owner has no actions for the buttons
  std::unique_ptr<SheetWindow> other = CurrentSheetServices().loadSheetNamed("Ambrel", owner);
  ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(other);
  for (const SheetOutlet& outlet : owner.outlets) {
    if (outlet.kind != SheetControlKind::kSlider) continue;
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(Widget(other.get(), outlet.name.c_str())));
    EXPECT_EQ(gtk_adjustment_get_lower(adjustment), outlet.lowest) << outlet.name;
    EXPECT_EQ(gtk_adjustment_get_upper(adjustment), outlet.highest) << outlet.name;
  }
}

TEST_F(GtkSheet, TheButtonsAndThePopUpSendTheViewsActions) {
  AmbrelView* view = MakeView();
  SheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  GtkComboBox* kind = GTK_COMBO_BOX(Widget(sheet, "oBGType"));
  for (int index : {0, 1, 2, 0}) {
    gtk_combo_box_set_active(kind, index);
    EXPECT_EQ(gtk_widget_get_sensitive(Widget(sheet, "oBGPath")), index == 2) << index;
  }

  Click(sheet, "defaultsButton");
  EXPECT_FALSE(Checked(sheet, "oMainMonitorOnly"));
  EXPECT_EQ(Value(sheet, "oWaterSpeed"), 100);
  EXPECT_EQ(Value(sheet, "oWaterRes"), 6);
  EXPECT_EQ(Value(sheet, "oDripSpeed"), 250);
  EXPECT_TRUE(Checked(sheet, "oLighting") && Checked(sheet, "oWantBowl") && Checked(sheet, "oOverlay"));
  EXPECT_EQ(Active(sheet, "oBGType"), 0);
  EXPECT_EQ(Active(sheet, "oBGRes"), 1);
  EXPECT_FALSE(gtk_widget_get_sensitive(Widget(sheet, "oBGPath")));

  // Closing the window is a cancel.
  gtk_window_close(GTK_WINDOW(GtkSheetObject(sheet, "configureSheet")));
  ASSERT_TRUE(PumpUntil([&] { return !sheet->isShown(); }));
  EXPECT_EQ(Store()->integerForKey("WaterSpeed"), 333);
  EXPECT_EQ(view->mySettings.WATERSPEED, 333);

  // Enter (the default button) saves what the controls hold.
  ASSERT_EQ(Open(view), sheet);
  gtk_range_set_value(GTK_RANGE(Widget(sheet, "oWaterSpeed")), 1190);
  gtk_range_set_value(GTK_RANGE(Widget(sheet, "oDripSpeed")), 1);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget(sheet, "oLighting")), TRUE);
  gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(Widget(sheet, "oLighting")), TRUE);  // mixed: off
  gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(sheet, "oBGRes")), 0);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget(sheet, "oOverlay")), TRUE);
  // A button's activation is a short press: the click comes a moment later.
  EXPECT_TRUE(gtk_window_activate_default(GTK_WINDOW(GtkSheetObject(sheet, "configureSheet"))));
  EXPECT_TRUE(PumpUntil([&] { return !sheet->isShown(); }));
  auto store = Store();
  EXPECT_EQ(store->integerForKey("WaterSpeed"), 1190);
  EXPECT_EQ(store->integerForKey("DripSpeed"), 1);
  EXPECT_FALSE(store->boolForKey("Lighting"));
  EXPECT_EQ(store->integerForKey("BGRes"), 0);
  EXPECT_TRUE(store->boolForKey("Overlay"));
  EXPECT_EQ(store->integerForKey("WaterRes"), 7);
  EXPECT_EQ(store->stringForKey("BGPath").value_or(""), home.root());
  EXPECT_EQ(view->mySettings.WATERSPEED, 1190);
}

// Tab and Shift+Tab walk one ring through every control, pop-ups included; Enter
// on a pop-up saves, Escape cancels.
TEST_F(GtkSheet, TheKeyboardWalksEveryControlSavesWithEnterAndCancelsWithEscape) {
  AmbrelView* view = MakeView();
  SheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  GtkWidget* window = Widget(sheet, "configureSheet");
  ::Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  auto takeKeyboard = [&] {
    ASSERT_TRUE(PumpUntil([&] { return gdk_window_is_viewable(gtk_widget_get_window(window)); }));
    XSetInputFocus(x, GDK_WINDOW_XID(gtk_widget_get_window(window)), RevertToPointerRoot, CurrentTime);
    XSync(x, False);
    Pump();
  };
  takeKeyboard();

  const std::vector<std::string> controls = {"oWaterSpeed", "oWaterRes",     "oDripSpeed",     "oBGType",
                                             "oBGPath",     "oBGRes",        "oLighting",      "oWantBowl",
                                             "oMainMonitorOnly", "oOverlay",    "webPageButton",  "defaultsButton",
                                             "cancelButton",     "saveButton"};
  // The control holding the focus; a pop-up's focus is on its own button inside it.
  auto focused = [&]() -> std::string {
    for (GtkWidget* w = gtk_window_get_focus(GTK_WINDOW(window)); w; w = gtk_widget_get_parent(w))
      for (const std::string& id : controls)
        if (w == Widget(sheet, id.c_str())) return id;
    return "";
  };
  const size_t n = controls.size();
  std::vector<std::string> forward, backward;
  std::string walk;
  for (size_t i = 0; i < 2 * n; ++i) {
    PressKey(XK_Tab);
    forward.push_back(focused());
    walk += " " + forward.back();
  }
  EXPECT_EQ(std::set<std::string>(forward.begin(), forward.begin() + n),
            std::set<std::string>(controls.begin(), controls.end()))
      << walk;
  EXPECT_TRUE(std::equal(forward.begin(), forward.begin() + n, forward.begin() + n)) << walk;
  for (size_t i = 0; i < n; ++i) {
    PressKey(XK_Tab, /*shift=*/true);
    EXPECT_EQ(focused(), forward[(2 * n - 2 - i) % n]) << i << ":" << walk;
  }

  // Enter on a pop-up saves rather than opening its list.
  while (focused() != "oBGType" && walk.size() < 4096) {
    PressKey(XK_Tab);
    walk += " " + focused();
  }
  gtk_range_set_value(GTK_RANGE(Widget(sheet, "oWaterSpeed")), 500);
  PressKey(XK_Return);
  ASSERT_TRUE(PumpUntil([&] { return !sheet->isShown(); }));
  EXPECT_EQ(Store()->integerForKey("WaterSpeed"), 500);

  // Escape cancels from anywhere.
  ASSERT_EQ(Open(view), sheet);
  takeKeyboard();
  PressKey(XK_Tab);
  gtk_range_set_value(GTK_RANGE(Widget(sheet, "oWaterSpeed")), 700);
  PressKey(XK_Escape);
  ASSERT_TRUE(PumpUntil([&] { return !sheet->isShown(); }));
  EXPECT_EQ(Store()->integerForKey("WaterSpeed"), 500);
}

// What a screen reader hears, read over AT-SPI from the real settings window of
// another process, on a private session bus with its own accessibility bus: every
// control by its label, and under LANGUAGE=de in German.
TEST_F(GtkSheet, AScreenReaderHearsEveryControlByItsLabelAndTheDescribedPreview) {
  ASSERT_EQ(RunToEnd({"/usr/bin/python3", "-c", "import pyatspi"}), 0) << "scripts/deps.sh installs python3-pyatspi";
  ASSERT_EQ(access("/usr/bin/dbus-run-session", X_OK), 0) << "scripts/deps.sh installs dbus-daemon";
  // "role|name" of each control, as the window shows itself in these languages.
  auto hear = [&](const std::vector<std::string>& language, std::string* said) {
    ChildProcess reader;
    const std::string command = std::string(SHEET_DRIVER) + " --configure & settings=$!; /usr/bin/python3 " +
                                ACCESSIBLE_TREE + " sheet_driver; status=$?; kill $settings; wait; exit $status";
    std::vector<std::string> environment = {"NO_AT_BRIDGE"};
    environment.insert(environment.end(), language.begin(), language.end());
    std::set<std::string> heard;
    if (!reader.Start("/usr/bin/dbus-run-session", {"--", "/bin/sh", "-c", command}, environment)) return heard;
    EXPECT_EQ(reader.Wait(120), 0) << reader.output() << reader.errors();
    *said = reader.output();
    std::istringstream lines(reader.output());
    for (std::string line; std::getline(lines, line);)  // the registry daemon says a word of its own
      if (std::count(line.begin(), line.end(), '|') == 2) heard.insert(line.substr(0, line.rfind('|')));
    return heard;
  };
  std::string said;
  const std::set<std::string> heard = hear({"LANGUAGE", "LC_ALL=C.UTF-8"}, &said);
  const std::set<std::string> expected = {
      "slider|Water speed:",       "slider|Water resolution:", "slider|Drip interval:",
      "combo box|Background:",     "push button|Picture folder:", "combo box|Background detail:",
      "check box|Moving light",    "check box|Bowl",           "check box|Only on the main screen",
      "check box|Show the strip and banner",
      "push button|About Ambrel",  "push button|Defaults",     "push button|Cancel",
      "push button|Save",          "animation|Preview"};
  EXPECT_EQ(heard, expected) << said;
  EXPECT_NE(said.find("animation|Preview|The water"), std::string::npos) << said;

  const std::set<std::string> german = hear({"LANGUAGE=de", "LC_ALL=C.UTF-8"}, &said);
  EXPECT_TRUE(german.count("slider|Wassergeschwindigkeit:")) << said;
  EXPECT_TRUE(german.count("push button|Speichern")) << said;
}

TEST_F(GtkSheet, StoredValuesOutsideTheRangesShowClampedAndStayUntilSaved) {
  auto store = Store();
  store->setInteger(5000, "WaterSpeed");
  store->setInteger(12, "WaterRes");
  store->setInteger(4000, "DripSpeed");
  store->setInteger(7, "BGType");
  store->setInteger(-3, "BGRes");
  ASSERT_TRUE(store->synchronize());
  AmbrelView* view = MakeView();
  SheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  EXPECT_EQ(Value(sheet, "oWaterSpeed"), 1190);
  EXPECT_EQ(Value(sheet, "oWaterRes"), 8);
  EXPECT_EQ(Value(sheet, "oDripSpeed"), 1000);
  EXPECT_EQ(Active(sheet, "oBGType"), 2);
  EXPECT_EQ(Active(sheet, "oBGRes"), 0);
  Click(sheet, "cancelButton");
  EXPECT_FALSE(sheet->isShown());
  store = Store();
  EXPECT_EQ(store->integerForKey("WaterSpeed"), 5000);
  EXPECT_EQ(store->integerForKey("WaterRes"), 12);
  EXPECT_EQ(store->integerForKey("BGType"), 7);
  EXPECT_EQ(store->integerForKey("BGRes"), -3);
  EXPECT_EQ(view->mySettings.WATERSHIFT, 12);

  ASSERT_EQ(Open(view), sheet);
  Click(sheet, "saveButton");
  store = Store();
  EXPECT_EQ(store->integerForKey("WaterSpeed"), 1190);
  EXPECT_EQ(store->integerForKey("WaterRes"), 8);
  EXPECT_EQ(store->integerForKey("DripSpeed"), 1000);
  EXPECT_EQ(store->integerForKey("BGType"), 2);
  EXPECT_EQ(store->integerForKey("BGRes"), 0);
}

TEST_F(GtkSheet, AMissingOrBrokenBuilderFileOrAMissingOutletLeavesTheViewWithoutASheet) {
  const std::string resources = home.root() + "/resources";
  ScopedResources pack(resources);
  const std::string original = ReadFile(resources_ + "/Ambrel.ui");
  ASSERT_NE(original.find("id=\"oBGRes\""), std::string::npos);

  struct Case {
    const char* name;
    std::string contents;  // empty: no file at all
    const char* message;
  };
  std::string withoutOutlet = original;
  for (size_t at = withoutOutlet.find("oBGRes"); at != std::string::npos; at = withoutOutlet.find("oBGRes"))
    withoutOutlet.replace(at, 6, "oBGRez");
  const Case cases[] = {
      {"missing", "", "Ambrel.ui is not among the resources"},
      // Cut short and closed wrongly: GtkBuilder takes a file merely cut short as
      // far as it goes.
      {"broken", original.substr(0, original.size() / 2) + "></no-such-element>", "cannot load the sheet"},
      {"no outlet", withoutOutlet, "lacks oBGRes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove((resources + "/Ambrel.ui").c_str());
    if (!c.contents.empty()) std::ofstream(resources + "/Ambrel.ui") << c.contents;
    AmbrelView* view = MakeView();
    testing::internal::CaptureStderr();
    EXPECT_EQ(view->configureSheet(), nullptr);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
    EXPECT_EQ(view->oBGPath, nullptr);
  }
  // The views run on.
  engine.startAnimation();
  engine.runFrames(3);
  for (int index = 0; index < engine.viewCount(); ++index) EXPECT_GT(engine.flushCount(index), 0);
}

// The dialog the folder button runs, as built from a panel, without running it.
TEST_F(GtkSheet, TheFolderChooserIsBuiltFromThePanel) {
  GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  FolderPanel folders;
  folders.title = "Select Folder To Load Random Background Images From";
  folders.startDirectory = home.root();
  folders.allowedFileTypes = {"jpg", "gif", "png"};
  FolderPanel files = folders;
  files.canChooseFiles = true;
  files.canChooseDirectories = false;
  files.allowsMultipleSelection = true;
  for (const FolderPanel& panel : {folders, files}) {
    GtkWidget* dialog = NewGtkFolderChooser(panel, GTK_WINDOW(parent));
    ASSERT_TRUE(GTK_IS_FILE_CHOOSER_DIALOG(dialog));
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(dialog))), panel.title);
    EXPECT_EQ(gtk_file_chooser_get_action(chooser), panel.canChooseFiles ? GTK_FILE_CHOOSER_ACTION_OPEN
                                                                          : GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
    EXPECT_EQ(bool(gtk_file_chooser_get_select_multiple(chooser)), panel.allowsMultipleSelection);
    EXPECT_TRUE(gtk_file_chooser_get_local_only(chooser)) << "only paths the saver can open";
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(parent));
    GtkWidget* accept = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    ASSERT_TRUE(accept);
    EXPECT_TRUE(gtk_widget_get_can_default(accept));
    EXPECT_TRUE(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL));
    // Folders are never filtered away by the picture types.
    GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
    EXPECT_EQ(filter != nullptr, panel.canChooseFiles);
    if (filter) {
      GtkFileFilterInfo picture{GTK_FILE_FILTER_DISPLAY_NAME, nullptr, nullptr, "sea.png", nullptr};
      GtkFileFilterInfo text{GTK_FILE_FILTER_DISPLAY_NAME, nullptr, nullptr, "notes.txt", nullptr};
      EXPECT_TRUE(gtk_file_filter_filter(filter, &picture));
      EXPECT_FALSE(gtk_file_filter_filter(filter, &text));
    }
    gtk_widget_destroy(dialog);
  }
  gtk_widget_destroy(parent);
}

// Answers the folder chooser the sheet runs: notes the folder it opens at, picks
// folder there and confirms, or cancels (cancel). GTK lists a folder in the
// background and takes a pick only once the folder is listed, and a chooser
// closed before its folder is listed leaks GTK's GError for the cancelled
// listing; so the pick is made until the chooser holds it, and only then is it
// answered. The deadline is met only by a real hang.
struct ChooserScript {
  std::string folder, startFolder;
  bool cancel = false, answered = false, hung = false;
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
};

std::string ChooserPath(gchar* path) {
  std::string text = path ? path : "";
  g_free(path);
  return text;
}

gboolean AnswerChooser(gpointer data) {
  auto* script = static_cast<ChooserScript*>(data);
  if (script->answered) return G_SOURCE_CONTINUE;
  GtkWidget* dialog = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next)
    if (GTK_IS_FILE_CHOOSER_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
      dialog = GTK_WIDGET(item->data);
  g_list_free(windows);
  if (!dialog) return G_SOURCE_CONTINUE;
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  if (std::chrono::steady_clock::now() > script->deadline) {
    script->hung = script->answered = true;
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  } else if (script->startFolder.empty()) {
    script->startFolder = ChooserPath(gtk_file_chooser_get_current_folder(chooser));
  } else if (ChooserPath(gtk_file_chooser_get_filename(chooser)) != script->folder) {
    gtk_file_chooser_set_filename(chooser, script->folder.c_str());
  } else {
    script->answered = true;
    gtk_dialog_response(GTK_DIALOG(dialog), script->cancel ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_ACCEPT);
  }
  return G_SOURCE_CONTINUE;
}

// The real chooser, from the button to the sheet and back; what the sheet makes of
// a path too long for the setting is the sheet logic's tests' business.
TEST_F(GtkSheet, TheFolderButtonRunsAChooserAtTheCurrentFolderAndShowsTheChosenOne) {
  AmbrelView* view = MakeView();
  SheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  ChooserScript choose;
  choose.folder = home.root() + "/sea pictures";
  ASSERT_EQ(mkdir(choose.folder.c_str(), 0700), 0);
  guint answerer = g_timeout_add(20, AnswerChooser, &choose);
  Click(sheet, "oBGPath");
  g_source_remove(answerer);
  ASSERT_TRUE(choose.answered);
  ASSERT_FALSE(choose.hung) << "the chooser showed " << choose.startFolder;
  EXPECT_EQ(choose.startFolder, home.root());
  EXPECT_EQ(std::string(view->mySettings.BGPath), choose.folder);
  EXPECT_EQ(std::string(gtk_button_get_label(GTK_BUTTON(Widget(sheet, "oBGPath")))), choose.folder);

  // Opened at the chosen folder now, cancelled with its first entry picked.
  ChooserScript cancel;
  cancel.folder = choose.folder + "/waves";
  cancel.cancel = true;
  ASSERT_EQ(mkdir(cancel.folder.c_str(), 0700), 0);
  answerer = g_timeout_add(20, AnswerChooser, &cancel);
  Click(sheet, "oBGPath");
  g_source_remove(answerer);
  ASSERT_TRUE(cancel.answered);
  ASSERT_FALSE(cancel.hung) << "the chooser showed " << cancel.startFolder;
  EXPECT_EQ(cancel.startFolder, choose.folder);
  EXPECT_EQ(std::string(view->mySettings.BGPath), choose.folder) << "a cancelled chooser changes nothing";
  Click(sheet, "saveButton");
  EXPECT_EQ(Store()->stringForKey("BGPath").value_or(""), choose.folder);
}

std::vector<std::string> launched;
bool RecordLaunch(const char* uri, std::string*) {
  launched.push_back(uri);
  return true;
}
bool RefuseLaunch(const char*, std::string* failure) {
  *failure = "Nothing shows web pages.";
  return false;
}

// The page as the build lays it out: share/doc/ambrel beside share/ambrel.
std::string PageBeside(const std::string& resources) { return resources + "/../doc/ambrel/ambrel.html"; }

TEST_F(GtkSheet, TheWebPageButtonHandsThePageToTheBrowserAsAFileUriWithoutAShell) {
  const std::string share = home.root() + "/res $(touch pwned); dir";
  const std::string resources = share + "/ambrel";
  ScopedResources pack(resources);
  std::filesystem::create_directories(share + "/doc/ambrel");
  std::ofstream(PageBeside(resources)) << "<!DOCTYPE html>\n";
  std::filesystem::copy_file(resources_ + "/Ambrel.ui",
                             resources + "/Ambrel.ui");
  SetGtkUriLauncher(RecordLaunch);
  launched.clear();
  SheetWindow* sheet = Open(MakeView());
  ASSERT_TRUE(sheet);
  Click(sheet, "webPageButton");
  ASSERT_EQ(launched.size(), 1u);
  const std::string& uri = launched[0];
  EXPECT_EQ(uri.rfind("file:///", 0), 0u) << uri;
  EXPECT_EQ(uri.find(' '), std::string::npos) << uri;
  gchar* back = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
  ASSERT_TRUE(back) << uri;
  EXPECT_EQ(std::string(back), share + "/doc/ambrel/ambrel.html") << "a plain path, without \"..\"";
  g_free(back);
  EXPECT_FALSE(std::filesystem::exists("pwned"));
  EXPECT_FALSE(std::filesystem::exists(home.root() + "/pwned"));

  // A page that cannot be shown is the user's to know, not only stderr's.
  std::vector<std::string> alerts;
  {
    AlertsTo recorder([&](const char* title, const char* message) { alerts.push_back(std::string(title) + "|" + message); });
    SetGtkUriLauncher(RefuseLaunch);
    Click(sheet, "webPageButton");
    SetGtkUriLauncher(nullptr);
  }
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_NE(alerts[0].find("Nothing shows web pages."), std::string::npos) << alerts[0];
  EXPECT_NE(alerts[0].find(share + "/doc/ambrel/ambrel.html"), std::string::npos) << alerts[0];
}

// The real lookup: GIO's handler for text/html, from the XDG folders of a
// settings window run as its own process, whose alerts are GTK dialogs.
TEST_F(GtkSheet, TheWebPageOpensInTheHtmlHandlerAndWithoutOneTheSettingsWindowSaysSo) {
  const std::string share = home.root() + "/share";
  const std::string resources = share + "/ambrel";
  ScopedResources pack(resources);
  std::filesystem::copy_file(resources_ + "/Ambrel.ui", resources + "/Ambrel.ui");
  std::filesystem::create_directories(share + "/doc/ambrel");
  std::filesystem::copy_file(PageBeside(resources_), PageBeside(resources));
  const std::string page = share + "/doc/ambrel/ambrel.html";

  // Folders of programs of our own, with the system's types (text/html is a kind of text/plain).
  const std::string xdg = home.root() + "/xdg";
  for (const char* folder : {"/data/applications", "/system-data", "/config", "/system-config"})
    std::filesystem::create_directories(xdg + folder);
  std::filesystem::create_directory_symlink("/usr/share/mime", xdg + "/system-data/mime");
  const std::string shown = home.root() + "/shown.txt", edited = home.root() + "/edited.txt";
  const std::string browser = home.root() + "/browser", editor = home.root() + "/editor";
  std::ofstream(browser) << "#!/bin/sh\nprintf '%s\\n' $# \"$@\" > " << shown << "\n";
  std::ofstream(editor) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > " << edited << "\n";
  std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
  std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
  const std::string applications = xdg + "/data/applications";
  std::ofstream(applications + "/test-editor.desktop")
      << "[Desktop Entry]\nType=Application\nName=Test Editor\nExec=" << editor << " %U\nMimeType=text/plain;\n";
  // GIO learns what a desktop entry opens from this index, as update-desktop-database writes it.
  std::ofstream(applications + "/mimeinfo.cache") << "[MIME Cache]\ntext/plain=test-editor.desktop;\n";
  const std::vector<std::string> environment = {
      "AMBREL_RESOURCES=" + resources,      "AMBREL_SHEET_CLICK=webPageButton",
      "XDG_DATA_HOME=" + xdg + "/data",     "XDG_DATA_DIRS=" + xdg + "/system-data",
      "XDG_CONFIG_HOME=" + xdg + "/config", "XDG_CONFIG_DIRS=" + xdg + "/system-config",
      "AMBREL_SHEET_LOG=" + home.root() + "/driver.log"};
  TestDisplay display(server_->name());
  ASSERT_TRUE(display.get());
  auto windowNamed = [&](const std::string& title) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    bool found = false;
    if (XQueryTree(display, display.root(), &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
          XWindowAttributes attributes;
          found = title == name && XGetWindowAttributes(display, children[i], &attributes) &&
                  attributes.map_state == IsViewable;
          XFree(name);
        }
      }
      if (children) XFree(children);
    }
    return found;
  };

  {
    SCOPED_TRACE("no program shows web pages, an editor opens text");
    ChildProcess settings;
    ASSERT_TRUE(settings.Start(SHEET_DRIVER, {"--configure"}, environment));
    EXPECT_TRUE(PumpUntil([&] { return windowNamed("The Ambrel page cannot be shown"); }, 60))
        << ReadFile(home.root() + "/driver.log") << settings.errors();
    EXPECT_EQ(ReadFile(edited), "") << "the page is no text to edit";
    settings.Signal(SIGTERM);
    settings.Wait(10);
  }
  {
    SCOPED_TRACE("a browser is there");
    std::ofstream(applications + "/test-browser.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=" << browser
        << " %u\nMimeType=text/html;\n";
    std::ofstream(applications + "/mimeinfo.cache")
        << "[MIME Cache]\ntext/plain=test-editor.desktop;\ntext/html=test-browser.desktop;\n";
    ChildProcess settings;
    ASSERT_TRUE(settings.Start(SHEET_DRIVER, {"--configure"}, environment));
    EXPECT_TRUE(PumpUntil([&] { return !ReadFile(shown).empty(); }, 60))
        << ReadFile(home.root() + "/driver.log") << settings.errors();
    // GIO hands a local file's URI to a %u command line as its path.
    gchar* uri = g_filename_to_uri(page.c_str(), nullptr, nullptr);
    const std::string arguments = ReadFile(shown);
    EXPECT_TRUE(arguments == "1\n" + page + "\n" || arguments == "1\n" + std::string(uri) + "\n") << arguments;
    g_free(uri);
    EXPECT_FALSE(windowNamed("The Ambrel page cannot be shown"));
    EXPECT_EQ(ReadFile(edited), "");
    settings.Signal(SIGTERM);
    settings.Wait(10);
  }
}

TEST_F(GtkSheet, ThePreviewRunsInTheSheetsAreaStopsWithItAndRestartsWithTheSavedValues) {
  const std::string log = home.root() + "/preview.log";
  ScopedEnv logEnv("AMBREL_SHEET_LOG", log);
  const std::string resources = home.root() + "/resources";
  ScopedResources pack(resources);
  std::filesystem::copy_file(resources_ + "/Ambrel.ui", resources + "/Ambrel.ui");
  SetConfigurePreviewProgram(SHEET_DRIVER);
  AmbrelView* view = MakeView();
  SheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  ASSERT_TRUE(PumpUntil([&] { return ReadFile(log).find("drawing") != std::string::npos; }, 60)) << ReadFile(log);
  GdkWindow* area = gtk_widget_get_window(Widget(sheet, "previewArea"));
  ASSERT_TRUE(area && gdk_window_has_native(area));
  char windowId[32];
  std::snprintf(windowId, sizeof windowId, "0x%lx", static_cast<unsigned long>(gdk_x11_window_get_xid(area)));
  const pid_t first = GtkSheetPreviewPid(sheet);
  EXPECT_GT(first, 0);
  EXPECT_EQ(ReadFile(log), "created preview=1 window=" + std::string(windowId) +
                               " speed=333\ndrawing scene=1 overlay=0\n");

  gtk_range_set_value(GTK_RANGE(Widget(sheet, "oWaterSpeed")), 500);
  Click(sheet, "saveButton");
  EXPECT_EQ(GtkSheetPreviewPid(sheet), 0);
  ASSERT_TRUE(PumpUntil([&] { return ReadFile(log).find("released") != std::string::npos; })) << ReadFile(log);
  EXPECT_TRUE(PumpUntil([&] { return kill(first, 0) != 0; })) << "the preview process is gone and reaped";

  ASSERT_EQ(Open(view), sheet);
  ASSERT_TRUE(PumpUntil([&] { return ReadFile(log).find("speed=500") != std::string::npos; }, 60)) << ReadFile(log);
  const pid_t second = GtkSheetPreviewPid(sheet);
  EXPECT_GT(second, 0);
  EXPECT_NE(second, first);
  // The view going away takes its sheet and the preview with it.
  engine.destroyViews();
  ASSERT_TRUE(PumpUntil([&] { return kill(second, 0) != 0; })) << "preview still running";
}

struct DialogScript {
  bool sawWindow = false;
  bool preview = false;
};

gboolean SaveTheDialog(gpointer data) {
  auto* script = static_cast<DialogScript*>(data);
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* sheet = nullptr;
  for (GList* item = windows; item; item = item->next)
    if (gtk_widget_get_visible(GTK_WIDGET(item->data)) && gtk_window_get_title(GTK_WINDOW(item->data)) &&
        std::string(gtk_window_get_title(GTK_WINDOW(item->data))) == "Ambrel Settings")
      sheet = GTK_WINDOW(item->data);
  g_list_free(windows);
  if (!sheet) return G_SOURCE_CONTINUE;
  script->sawWindow = true;
  gtk_window_activate_default(sheet);
  return G_SOURCE_REMOVE;
}

TEST_F(GtkSheet, ConfigureRunsTheSheetOfAPreviewViewUntilSavedAndKeepsTheCapturedBackgroundKind) {
  auto store = Store();
  store->setInteger(0, "BGType");
  ASSERT_TRUE(store->synchronize());
  // Something on the screen to capture (an all-black capture counts as none).
  TestDisplay display(server_->name());
  ASSERT_TRUE(display.get());
  FillRect(display, display.root(), 0x3070b0, 0, 0, 1024, 768);
  DialogScript script;
  bool madePreview = false;
  const ViewFactory factory = [&](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
    madePreview = isPreview;
    return std::make_unique<AmbrelView>(frame, isPreview, site);
  };
  g_timeout_add(50, SaveTheDialog, &script);
  EXPECT_EQ(RunConfigureDialog(factory), 0);
  EXPECT_TRUE(script.sawWindow);
  EXPECT_TRUE(madePreview);
  EXPECT_EQ(Store()->integerForKey("BGType"), 0) << "the capture worked, so the kind stays the capture";
  EXPECT_EQ(Store()->integerForKey("WaterSpeed"), 333);

  testing::internal::CaptureStderr();
  EXPECT_EQ(RunConfigureDialog([](Rect, bool, ViewSite&) { return std::unique_ptr<ScreenSaverView>(); }), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no settings window"), std::string::npos);
}

}  // namespace

}  // namespace ambrel
