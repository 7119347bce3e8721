#include "platform/SheetControls.h"

namespace ambrel {

namespace {

SheetServices*& Installed() {
  static SheetServices* services = nullptr;
  return services;
}

}  // namespace

void SetSheetServices(SheetServices* services) { Installed() = services; }

SheetServices& CurrentSheetServices() { return Installed() ? *Installed() : PlatformSheetServices(); }

}  // namespace ambrel
