// The program's resources (data pack, fallback picture), found relative to the
// executable so the build tree and an installed tree both work.
#pragma once

#include <string>

namespace ambrel {

// The current platform's resource lookup: the full path of "<name>.<type>", or
// empty when there is no such file.
std::string PathForResource(const char* name, const char* type);

// The resource folder: $AMBREL_RESOURCES when set; else <exe dir>/../share/ambrel
// (build tree and <prefix>/bin); else <exe dir>/../../share/ambrel (a hack in
// <prefix>/libexec/xscreensaver); else the installed data folder. Empty when none
// of them exists.
std::string BundleResourceDirectory();

// "<directory>/<name>.<type>" when that file exists, else empty.
std::string ResourcePathInDirectory(const std::string& directory, const char* name, const char* type);

}  // namespace ambrel
