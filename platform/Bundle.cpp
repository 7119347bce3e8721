#include "platform/Bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Platform.h"

namespace ambrel {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ExecutableDirectory() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "";
  std::string path(buffer, static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string FindResourceDirectory() {
  if (const char* fromEnvironment = std::getenv("AMBREL_RESOURCES"); fromEnvironment && *fromEnvironment)
    return fromEnvironment;
  const std::string exeDir = ExecutableDirectory();
  if (!exeDir.empty()) {
    for (const char* relative : {"/../share/ambrel", "/../../share/ambrel"})
      if (IsDirectory(exeDir + relative)) return exeDir + relative;
  }
#ifdef AMBREL_INSTALL_DATADIR
  if (IsDirectory(AMBREL_INSTALL_DATADIR)) return AMBREL_INSTALL_DATADIR;
#endif
  return "";
}

}  // namespace

std::string BundleResourceDirectory() {
  // The environment is read every time so a host may point it elsewhere late.
  return FindResourceDirectory();
}

std::string ResourcePathInDirectory(const std::string& directory, const char* name, const char* type) {
  if (directory.empty() || !name || !type) return "";
  std::string path = directory + "/" + name + "." + type;
  return IsFile(path) ? path : "";
}

std::string PathForResource(const char* name, const char* type) {
  return CurrentPlatform().pathForResource(name, type);
}

}  // namespace ambrel
