// Stands in for the ambrel program around the settings window:
//   sheet_driver --window-id ID   the preview a sheet runs in its area; its life
//                                 goes to $AMBREL_SHEET_LOG, one line per event
//   sheet_driver --configure      the settings window, with this program as preview;
//                                 $AMBREL_SHEET_CLICK names a button it presses
//                                 once the window shows
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/AmbrelView.h"
#include "platform/linux/ConfigureDialog.h"
#include "platform/linux/LinuxEngine.h"
#include "tools/ambrel/HackArguments.h"

namespace ambrel {

namespace {

std::string windowId;

void Log(const std::string& line) {
  const char* path = std::getenv("AMBREL_SHEET_LOG");
  if (!path || !*path) return;
  if (FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

class LoggedView : public AmbrelView {
 public:
  LoggedView(Rect frame, bool isPreview, ViewSite& site) : AmbrelView(frame, isPreview, site) {
    Log("created preview=" + std::to_string(isPreview) + " window=" + windowId +
        " speed=" + std::to_string(mySettings.WATERSPEED));
  }
  ~LoggedView() override { Log("released"); }
  void animateOneFrame() override {
    AmbrelView::animateOneFrame();
    if (++frames_ == 10)
      Log("drawing scene=" + std::to_string(ssMain && ssMain->water) + " overlay=" + std::to_string(ssMain && !ssMain->isPreview));
  }

 private:
  long frames_ = 0;
};

std::unique_ptr<ScreenSaverView> MakeView(Rect frame, bool isPreview, ViewSite& site) {
  return std::make_unique<LoggedView>(frame, isPreview, site);
}

GtkWidget* FindById(GtkWidget* widget, const char* id) {
  const char* name = GTK_IS_BUILDABLE(widget) ? gtk_buildable_get_name(GTK_BUILDABLE(widget)) : nullptr;
  if (name && std::strcmp(name, id) == 0) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* item = children; item && !found; item = item->next) found = FindById(GTK_WIDGET(item->data), id);
  g_list_free(children);
  return found;
}

gboolean ClickWhenShown(gpointer id) {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* button = nullptr;
  for (GList* item = windows; item && !button; item = item->next)
    if (gtk_widget_get_visible(GTK_WIDGET(item->data)))
      button = FindById(GTK_WIDGET(item->data), static_cast<const char*>(id));
  g_list_free(windows);
  if (!GTK_IS_BUTTON(button)) return G_SOURCE_CONTINUE;
  Log(std::string("clicking ") + static_cast<const char*>(id));
  gtk_button_clicked(GTK_BUTTON(button));
  Log("clicked");
  return G_SOURCE_REMOVE;
}

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  if (argc > 1 && std::strcmp(argv[1], "--configure") == 0) {
    if (const char* id = std::getenv("AMBREL_SHEET_CLICK"); id && *id) g_timeout_add(50, ClickWhenShown, (gpointer)id);
    return RunConfigureDialog(MakeView);
  }
  DisplayRequest options;
  std::vector<std::string> rest;
  std::string error;
  if (!ParseHackArguments(argc, argv, &options, &rest, &error)) {
    std::fprintf(stderr, "sheet_driver: %s\n", error.empty() ? "expected --window-id ID or --configure" : error.c_str());
    return 2;
  }
  windowId = options.windowId;
  return RunHack(options, MakeView);
}
