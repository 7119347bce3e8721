#include "platform/SheetControls.h"

namespace {

SheetServices*& Installed() {
  static SheetServices* services = nullptr;
  return services;
}

}  // namespace

void SetSheetServices(SheetServices* services) { Installed() = services; }

SheetServices& CurrentSheetServices() { return Installed() ? *Installed() : PlatformSheetServices(); }
