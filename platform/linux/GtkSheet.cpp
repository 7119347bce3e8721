// Configuration sheets as GtkBuilder windows: the interface file "<name>.ui"
// from the resources, its objects wrapped as controls, its signal handlers
// named after the owner's actions ("configureSheet_save:").
#include "platform/linux/GtkSheet.h"

// Xlib's Screen renamed, as in the engine's X11 header: it must not meet ours.
#include "platform/linux/X11Headers.h"
#define Screen XlibScreen
#include <gdk/gdkx.h>
#undef Screen
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Alerts.h"
#include "platform/Bundle.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/ConfigureDialog.h"
#include "platform/linux/GtkAlert.h"
#include "platform/linux/Translations.h"

#if defined(__SANITIZE_ADDRESS__)
#define AMBREL_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define AMBREL_LEAK_CHECKS 1
#endif
#endif
#ifdef AMBREL_LEAK_CHECKS
#include <sanitizer/lsan_interface.h>
#endif

namespace ambrel {

namespace {

const char* const kWindowId = "configureSheet";
const char* const kPreviewAreaId = "previewArea";
const char* const kTitleKey = "ambrel-title";

// ---- Controls

class GtkSheetControl : public SheetControl {
 public:
  explicit GtkSheetControl(GtkWidget* widget) : widget_(widget) {}

  void setState(int state) override {
    if (!GTK_IS_TOGGLE_BUTTON(widget_)) return;
    GtkToggleButton* toggle = GTK_TOGGLE_BUTTON(widget_);
    gtk_toggle_button_set_inconsistent(toggle, state != kControlStateOn && state != kControlStateOff);
    gtk_toggle_button_set_active(toggle, state == kControlStateOn);
  }
  int state() const override {
    if (!GTK_IS_TOGGLE_BUTTON(widget_)) return 0;
    GtkToggleButton* toggle = GTK_TOGGLE_BUTTON(widget_);
    if (gtk_toggle_button_get_inconsistent(toggle)) return kControlStateMixed;
    return gtk_toggle_button_get_active(toggle) ? kControlStateOn : kControlStateOff;
  }

  // The adjustment keeps the value inside the control's range.
  void setIntValue(int value) override {
    if (GTK_IS_SPIN_BUTTON(widget_)) gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget_), value);
    else if (GTK_IS_RANGE(widget_)) gtk_range_set_value(GTK_RANGE(widget_), value);
  }
  int intValue() const override {
    double value = 0;
    if (GTK_IS_SPIN_BUTTON(widget_)) value = gtk_spin_button_get_value(GTK_SPIN_BUTTON(widget_));
    else if (GTK_IS_RANGE(widget_)) value = gtk_range_get_value(GTK_RANGE(widget_));
    return static_cast<int>(std::lround(value));
  }

  // An index past either end selects the nearest item.
  void selectItemAtIndex(int index) override {
    if (!GTK_IS_COMBO_BOX(widget_)) return;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(widget_));
    const int items = model ? gtk_tree_model_iter_n_children(model, nullptr) : 0;
    if (items == 0) return;
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget_), index < 0 ? 0 : index >= items ? items - 1 : index);
  }
  int indexOfSelectedItem() const override {
    return GTK_IS_COMBO_BOX(widget_) ? gtk_combo_box_get_active(GTK_COMBO_BOX(widget_)) : -1;
  }

  // A folder path is bytes in the file system's encoding: the title keeps them
  // as they are and the label shows them readably.
  void setTitle(const std::string& title) override {
    if (!GTK_IS_BUTTON(widget_)) return;
    g_object_set_data_full(G_OBJECT(widget_), kTitleKey, g_strdup(title.c_str()), g_free);
    gchar* shown = g_filename_display_name(title.c_str());
    gtk_button_set_label(GTK_BUTTON(widget_), shown);
    gtk_widget_set_tooltip_text(widget_, shown);
    g_free(shown);
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget_));
    if (GTK_IS_LABEL(label)) {
      gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_MIDDLE);
      gtk_label_set_xalign(GTK_LABEL(label), 0);
    }
  }
  std::string title() const override {
    if (!GTK_IS_BUTTON(widget_)) return "";
    if (const char* kept = static_cast<const char*>(g_object_get_data(G_OBJECT(widget_), kTitleKey))) return kept;
    const char* label = gtk_button_get_label(GTK_BUTTON(widget_));
    return label ? label : "";
  }

  void setEnabled(bool enabled) override { gtk_widget_set_sensitive(widget_, enabled); }
  bool isEnabled() const override { return gtk_widget_get_sensitive(widget_); }

 private:
  GtkWidget* widget_;
};

// ---- Value formats the builder file may ask for on its scales

gchar* FormatGridSize(GtkScale*, gdouble value, gpointer) {
  const long shift = std::lround(value);
  const long side = shift >= 0 && shift < 16 ? 1L << shift : 0;
  return g_strdup_printf("%ld × %ld", side, side);
}

gchar* FormatHundredthsAsSeconds(GtkScale*, gdouble value, gpointer) {
  return g_strdup_printf("%.2f s", std::lround(value) / 100.0);
}

gchar* FormatHundredthsAsFactor(GtkScale*, gdouble value, gpointer) {
  return g_strdup_printf("%.2f×", std::lround(value) / 100.0);
}

struct Formatter {
  const char* handler;
  GCallback callback;
};
const Formatter kFormatters[] = {
    {"formatGridSize", G_CALLBACK(FormatGridSize)},
    {"formatSeconds", G_CALLBACK(FormatHundredthsAsSeconds)},
    {"formatFactor", G_CALLBACK(FormatHundredthsAsFactor)},
};

// ---- The window

class GtkSheetWindow;

struct ActionBinding {
  std::function<void(SheetControl*)> perform;
  SheetControl* sender;
};

// Outlives the window when the preview is still exiting; the watch frees it.
struct PreviewChild {
  GPid pid = 0;
  GtkSheetWindow* sheet = nullptr;
};

class GtkSheetWindow : public SheetWindow {
 public:
  GtkSheetWindow(const std::string& name, GtkBuilder* builder, GtkWindow* window)
      : name_(name), builder_(builder), window_(window) {}

  ~GtkSheetWindow() override {
    stopPreview();
    // Signals still to come during the destruction must find nothing to call.
    for (auto& binding : bindings_) binding->perform = nullptr;
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(builder_);
  }

  void present() override { gtk_window_present(window_); }
  void endSheet() override { gtk_widget_hide(GTK_WIDGET(window_)); }
  bool isShown() const override { return gtk_widget_get_visible(GTK_WIDGET(window_)); }

  GObject* object(const char* id) const { return gtk_builder_get_object(builder_, id); }

  SheetControl* controlFor(GtkWidget* widget) {
    auto found = controls_.find(widget);
    if (found != controls_.end()) return found->second.get();
    return controls_.emplace(widget, std::make_unique<GtkSheetControl>(widget)).first->second.get();
  }

  // Connects every handler the builder file names; one that is neither a format
  // nor an action of the owner is reported and left out.
  void connectSignals(const SheetOwner& owner) {
    owner_ = &owner;
    gtk_builder_connect_signals_full(builder_, ConnectSignal, this);
    owner_ = nullptr;
  }

  void watchPreviewArea() {
    GObject* area = object(kPreviewAreaId);
    if (!GTK_IS_DRAWING_AREA(area)) return;
    g_signal_connect(area, "realize", G_CALLBACK(OnPreviewRealize), this);
    g_signal_connect(area, "map", G_CALLBACK(OnPreviewMap), this);
    g_signal_connect(area, "unmap", G_CALLBACK(OnPreviewUnmap), this);
  }

  // A pop-up's own button takes Enter for itself and opens the list; Enter is
  // the window's default button's everywhere but in an open list.
  void leaveEnterToTheDefault() {
    GSList* objects = gtk_builder_get_objects(builder_);
    for (GSList* item = objects; item; item = item->next)
      if (GTK_IS_COMBO_BOX(item->data)) gtk_container_forall(GTK_CONTAINER(item->data), NoDefaultForButton, nullptr);
    g_slist_free(objects);
  }

  pid_t previewPid() const { return preview_ ? preview_->pid : 0; }

 private:
  static void NoDefaultForButton(GtkWidget* widget, gpointer) {
    if (GTK_IS_BUTTON(widget)) gtk_widget_set_receives_default(widget, FALSE);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), NoDefaultForButton, nullptr);
  }

  static void ConnectSignal(GtkBuilder*, GObject* object, const gchar* signal, const gchar* handler, GObject*,
                            GConnectFlags, gpointer data) {
    auto* self = static_cast<GtkSheetWindow*>(data);
    for (const Formatter& formatter : kFormatters) {
      if (std::strcmp(handler, formatter.handler) == 0) {
        g_signal_connect(object, signal, formatter.callback, nullptr);
        return;
      }
    }
    for (const SheetAction& action : self->owner_->actions) {
      if (action.selector != handler) continue;
      SheetControl* sender = GTK_IS_WIDGET(object) ? self->controlFor(GTK_WIDGET(object)) : nullptr;
      self->bindings_.push_back(std::make_unique<ActionBinding>(ActionBinding{action.perform, sender}));
      GClosure* closure = g_closure_new_simple(sizeof(GClosure), self->bindings_.back().get());
      g_closure_set_marshal(closure, RunAction);
      g_signal_connect_closure(object, signal, closure, FALSE);
      return;
    }
    std::fprintf(stderr, "ambrel: the sheet \"%s\" names the action \"%s\", which its owner does not have\n",
                 self->name_.c_str(), handler);
  }

  // Any signal may send an action; a signal that wants an answer (delete-event)
  // is told it was handled.
  static void RunAction(GClosure* closure, GValue* returnValue, guint, const GValue*, gpointer, gpointer) {
    auto* binding = static_cast<ActionBinding*>(closure->data);
    if (binding->perform) binding->perform(binding->sender);
    if (returnValue && G_VALUE_HOLDS_BOOLEAN(returnValue)) g_value_set_boolean(returnValue, TRUE);
  }

  // The preview process draws into the area's own X window.
  static void OnPreviewRealize(GtkWidget* area, gpointer) {
    if (GdkWindow* window = gtk_widget_get_window(area)) EnsureNative(window);
  }

  // GDK 3 keeps one reference too many on the native implementation it makes
  // here (change_impl takes its own on top of the one it was created with), so
  // that object outlives the window. It is GDK's, nothing of ours points at it,
  // and the leak checker's fast stacks stop in GLib before naming GDK: told
  // here, it ignores what this one call allocates.
  static void EnsureNative(GdkWindow* window) {
#ifdef AMBREL_LEAK_CHECKS
    __lsan::ScopedDisabler gdkKeepsTheImplementation;
#endif
    gdk_window_ensure_native(window);
  }
  static void OnPreviewMap(GtkWidget* area, gpointer data) { static_cast<GtkSheetWindow*>(data)->startPreview(area); }
  static void OnPreviewUnmap(GtkWidget*, gpointer data) { static_cast<GtkSheetWindow*>(data)->stopPreview(); }

  static void KeepWithParent(gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); }

  static void OnPreviewExit(GPid pid, gint, gpointer data) {
    auto* child = static_cast<PreviewChild*>(data);
    g_spawn_close_pid(pid);
    if (child->sheet && child->sheet->preview_ == child) child->sheet->preview_ = nullptr;
    delete child;
  }

  void startPreview(GtkWidget* area) {
    stopPreview();
    const std::string program = ConfigurePreviewProgram();
    GdkWindow* window = gtk_widget_get_window(area);
    if (program.empty() || !window || !GDK_IS_X11_WINDOW(window)) return;
    gchar* windowId = g_strdup_printf("0x%lx", static_cast<unsigned long>(gdk_x11_window_get_xid(window)));
    // Make sure the server knows the window before the child asks for it.
    gdk_display_sync(gdk_window_get_display(window));
    gchar* argv[] = {const_cast<gchar*>(program.c_str()), const_cast<gchar*>("--window-id"), windowId, nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    if (g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, KeepWithParent, nullptr, &pid, &error)) {
      preview_ = new PreviewChild{pid, this};
      g_child_watch_add(pid, OnPreviewExit, preview_);
    } else {
      std::fprintf(stderr, "ambrel: cannot run the preview %s: %s\n", program.c_str(), error->message);
      g_error_free(error);
    }
    g_free(windowId);
  }

  void stopPreview() {
    if (!preview_) return;
    kill(preview_->pid, SIGTERM);
    preview_->sheet = nullptr;  // the watch reaps it and frees the record
    preview_ = nullptr;
  }

  std::string name_;
  GtkBuilder* builder_;
  GtkWindow* window_;
  const SheetOwner* owner_ = nullptr;
  std::map<GtkWidget*, std::unique_ptr<GtkSheetControl>> controls_;
  std::vector<std::unique_ptr<ActionBinding>> bindings_;
  PreviewChild* preview_ = nullptr;
};

// ---- Services

// What shows web pages. When nothing claims text/html itself, GIO offers what
// opens text/plain, its parent type: an editor, which would show the page's
// source. Only a program that claims text/html will do.
GAppInfo* HtmlHandler() {
  GAppInfo* handler = g_app_info_get_default_for_type("text/html", FALSE);
  GList* claiming = g_app_info_get_recommended_for_type("text/html");
  bool claims = false;
  for (GList* item = claiming; item && handler && !claims; item = item->next)
    claims = g_app_info_equal(handler, G_APP_INFO(item->data));
  if (!claims) {
    if (handler) g_object_unref(handler);
    handler = claiming ? G_APP_INFO(g_object_ref(claiming->data)) : nullptr;
  }
  g_list_free_full(claiming, g_object_unref);
  return handler;
}

// The page is handed to whatever shows web pages, not to whatever opens files
// of its own kind (an editor, for a text file). GIO runs the handler's command
// line with the page as one argument, without a shell.
bool LaunchHtmlHandler(const char* uri, std::string* failure) {
  GAppInfo* handler = HtmlHandler();
  if (!handler) {
    *failure = "No program is set to show web pages (text/html) here.";
    return false;
  }
  GList uris = {const_cast<char*>(uri), nullptr, nullptr};
  GdkDisplay* display = gdk_display_get_default();
  GdkAppLaunchContext* context = display ? gdk_display_get_app_launch_context(display) : nullptr;
  GError* error = nullptr;
  const bool launched =
      g_app_info_launch_uris(handler, &uris, context ? G_APP_LAUNCH_CONTEXT(context) : nullptr, &error);
  if (!launched) {
    *failure = std::string(g_app_info_get_name(handler)) + ", which shows web pages here, cannot be started: " +
               error->message;
    g_error_free(error);
  }
  if (context) g_object_unref(context);
  g_object_unref(handler);
  return launched;
}

GtkUriLauncher& UriLauncher() {
  static GtkUriLauncher launcher = LaunchHtmlHandler;
  return launcher;
}

// The file lays the sheet out; the ranges are the owner's.
void TakeRange(GtkWidget* widget, const SheetOutlet& outlet) {
  if (outlet.kind != SheetControlKind::kSlider || outlet.lowest > outlet.highest) return;
  if (GTK_IS_SPIN_BUTTON(widget))
    gtk_spin_button_set_range(GTK_SPIN_BUTTON(widget), outlet.lowest, outlet.highest);
  else if (GTK_IS_RANGE(widget))
    gtk_range_set_range(GTK_RANGE(widget), outlet.lowest, outlet.highest);
}

// GTK's parser drops the signal records of an object a broken file leaves
// open; they are GTK's, unreachable from the builder we free.
bool LoadInterface(GtkBuilder* builder, const std::string& path, GError** error) {
#ifdef AMBREL_LEAK_CHECKS
  __lsan::ScopedDisabler gtkDropsWhatABrokenFileLeavesOpen;
#endif
  return gtk_builder_add_from_file(builder, path.c_str(), error);
}

// Builder toplevels belong to GTK until destroyed, also those a file that
// failed halfway had already made.
void DiscardInterface(GtkBuilder* builder) {
  GSList* objects = gtk_builder_get_objects(builder);
  for (GSList* item = objects; item; item = item->next)
    if (GTK_IS_WINDOW(item->data)) gtk_widget_destroy(GTK_WIDGET(item->data));
  g_slist_free(objects);
  g_object_unref(builder);
}

class GtkSheetServices : public SheetServices {
 public:
  std::unique_ptr<SheetWindow> loadSheetNamed(const char* name, const SheetOwner& owner) override {
    if (!gtk_init_check(nullptr, nullptr)) {
      std::fprintf(stderr, "ambrel: the sheet \"%s\" needs a display, and none can be opened\n", name);
      return nullptr;
    }
    const std::string path = PathForResource(name, "ui");
    if (path.empty()) {
      std::fprintf(stderr, "ambrel: the sheet's interface file %s.ui is not among the resources (%s)\n", name,
                   BundleResourceDirectory().c_str());
      return nullptr;
    }
    GtkBuilder* builder = gtk_builder_new();
    BindTranslations();
    gtk_builder_set_translation_domain(builder, kTextDomain);
    GError* error = nullptr;
    if (!LoadInterface(builder, path, &error)) {
      std::fprintf(stderr, "ambrel: cannot load the sheet %s: %s\n", path.c_str(), error->message);
      g_error_free(error);
      DiscardInterface(builder);
      return nullptr;
    }
    GObject* window = gtk_builder_get_object(builder, kWindowId);
    std::vector<std::string> missing;
    if (!GTK_IS_WINDOW(window)) missing.push_back(kWindowId);
    for (const SheetOutlet& outlet : owner.outlets)
      if (!GTK_IS_WIDGET(gtk_builder_get_object(builder, outlet.name.c_str()))) missing.push_back(outlet.name);
    if (!missing.empty()) {
      std::string names;
      for (const std::string& id : missing) names += (names.empty() ? "" : ", ") + id;
      std::fprintf(stderr, "ambrel: the sheet %s lacks %s\n", path.c_str(), names.c_str());
      DiscardInterface(builder);
      return nullptr;
    }

    auto sheet = std::make_unique<GtkSheetWindow>(name, builder, GTK_WINDOW(window));
    for (const SheetOutlet& outlet : owner.outlets) {
      GtkWidget* widget = GTK_WIDGET(gtk_builder_get_object(builder, outlet.name.c_str()));
      TakeRange(widget, outlet);
      *outlet.control = sheet->controlFor(widget);
    }
    sheet->connectSignals(owner);
    // Closing the window hides it, after the action the file gives its delete-event, if any.
    g_signal_connect(window, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
    sheet->watchPreviewArea();
    sheet->leaveEnterToTheDefault();
    return sheet;
  }

  std::optional<std::string> runFolderPanel(const FolderPanel& panel) override {
    if (!gtk_init_check(nullptr, nullptr)) return std::nullopt;
    GtkWidget* dialog = NewGtkFolderChooser(panel, ActiveGtkWindow());
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
      if (gchar* path = gtk_file_chooser_get_filename(chooser)) {
        chosen = path;
        g_free(path);
      }
    }
    gtk_widget_destroy(dialog);
    while (gtk_events_pending()) gtk_main_iteration();
    return chosen;
  }

  // Someone pressed a button and waits for a page: a failure is theirs to see.
  bool openFileInBrowser(const std::string& path) override {
    gchar* canonical = g_canonicalize_filename(path.c_str(), nullptr);
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(canonical, nullptr, &error);
    std::string failure;
    bool launched = false;
    if (uri) {
      launched = UriLauncher()(uri, &failure);
      g_free(uri);
    } else {
      failure = error->message;
      g_error_free(error);
    }
    if (!launched) {
      gchar* shown = g_filename_display_name(canonical);
      const std::string message =
          failure + "\n\nThe page about Ambrel is the file " + shown + "; any web browser shows it.";
      g_free(shown);
      ShowAlert(Tr("The Ambrel page cannot be shown"), message.c_str());
    }
    g_free(canonical);
    return launched;
  }
};

std::optional<std::string>& PreviewProgramSetting() {
  static std::optional<std::string> program;
  return program;
}

}  // namespace

SheetServices& GtkSheets() {
  static GtkSheetServices services;
  return services;
}

GtkWidget* NewGtkFolderChooser(const FolderPanel& panel, GtkWindow* parent) {
  const GtkFileChooserAction action =
      panel.canChooseDirectories ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN;
  GtkWidget* dialog = gtk_file_chooser_dialog_new(panel.title.c_str(), parent, action, Tr("_Cancel"),
                                                  GTK_RESPONSE_CANCEL, Tr("_Select"), GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  gtk_file_chooser_set_select_multiple(chooser, panel.allowsMultipleSelection);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  // Only folders are listed when only folders may be chosen: the types then
  // narrow nothing and a filter would hide the folders themselves.
  if (panel.canChooseFiles && !panel.allowedFileTypes.empty()) {
    GtkFileFilter* filter = gtk_file_filter_new();
    for (const std::string& type : panel.allowedFileTypes) gtk_file_filter_add_pattern(filter, ("*." + type).c_str());
    gtk_file_chooser_set_filter(chooser, filter);
  }
  if (!panel.startDirectory.empty()) gtk_file_chooser_set_current_folder(chooser, panel.startDirectory.c_str());
  return dialog;
}

GObject* GtkSheetObject(SheetWindow* sheet, const char* id) {
  auto* gtkSheet = dynamic_cast<GtkSheetWindow*>(sheet);
  return gtkSheet ? gtkSheet->object(id) : nullptr;
}

void SetGtkUriLauncher(GtkUriLauncher launcher) { UriLauncher() = launcher ? launcher : LaunchHtmlHandler; }

pid_t GtkSheetPreviewPid(SheetWindow* sheet) {
  auto* gtkSheet = dynamic_cast<GtkSheetWindow*>(sheet);
  return gtkSheet ? gtkSheet->previewPid() : 0;
}

void SetConfigurePreviewProgram(const std::string& program) { PreviewProgramSetting() = program; }

std::string ConfigurePreviewProgram() {
  if (PreviewProgramSetting()) return *PreviewProgramSetting();
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : "";
}

}  // namespace ambrel
