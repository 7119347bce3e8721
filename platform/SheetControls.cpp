#include "platform/SheetControls.h"

#include "platform/Platform.h"

namespace ambrel {

SheetServices& CurrentSheetServices() { return CurrentPlatform().sheetServices(); }

}  // namespace ambrel
