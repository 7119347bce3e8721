// Stands in for the ambrel program around the settings window:
//   sheet_driver --window-id ID   the preview a sheet runs in its area; its life
//                                 goes to $AMBREL_SHEET_LOG, one line per event
//   sheet_driver --configure      the settings window, with this program as preview
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/AmbrelView.h"
#include "platform/linux/ConfigureDialog.h"
#include "platform/linux/LinuxEngine.h"
#include "tools/ambrel/HackArguments.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--configure") == 0) return RunConfigureDialog(MakeView);
  HackOptions options;
  std::vector<std::string> rest;
  std::string error;
  if (!ParseHackArguments(argc, argv, &options, &rest, &error)) {
    std::fprintf(stderr, "sheet_driver: %s\n", error.empty() ? "expected --window-id ID or --configure" : error.c_str());
    return 2;
  }
  windowId = options.windowId;
  return RunHack(options, MakeView);
}
