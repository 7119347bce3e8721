// ambrel: the Ambrel water screen saver. For now it renders off-screen into PNG files.
#include <cstdio>
#include <string>

#include "tools/ambrel/RenderMode.h"
#include "tools/ambrel/RenderOptions.h"

int main(int argc, char** argv) {
  RenderOptions options;
  std::string error;
  switch (ParseRenderOptions(argc, argv, &options, &error)) {
    case ParseOutcome::kHelp:
      std::fputs(UsageText(), stdout);
      return 0;
    case ParseOutcome::kError:
      std::fprintf(stderr, "ambrel: %s\n", error.c_str());
      return 2;
    case ParseOutcome::kRun:
      break;
  }
  return RunRenderMode(options);
}
