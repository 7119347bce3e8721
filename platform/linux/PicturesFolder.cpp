// The XDG pictures folder (user-dirs.dirs), else ~/Pictures.
#include <glib.h>

#include <cstdlib>
#include <string>

#include "platform/linux/LinuxPlatform.h"

namespace ambrel {

std::string XdgPicturesFolder() {
  if (const gchar* folder = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES); folder && *folder) return folder;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : g_get_home_dir()) + "/Pictures";
}

}  // namespace ambrel
