#include "platform/linux/Translations.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Bundle.h"

namespace ambrel {

void BindTranslations() {
  static const bool bound = [] {
    std::string resources = BundleResourceDirectory();
    while (resources.size() > 1 && resources.back() == '/') resources.pop_back();
    const size_t slash = resources.find_last_of('/');
    const std::string locale =
        slash == std::string::npos || slash == 0 ? std::string("/usr/share/locale") : resources.substr(0, slash) + "/locale";
    bindtextdomain(kTextDomain, locale.c_str());
    bind_textdomain_codeset(kTextDomain, "UTF-8");
    return true;
  }();
  (void)bound;
}

std::string Format(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char* text = nullptr;
  const int length = vasprintf(&text, format, arguments);
  va_end(arguments);
  std::string result = length >= 0 ? text : format;
  std::free(text);
  return result;
}

}  // namespace ambrel
