// Ambrel's words in the user's language: the "ambrel" message catalogue, kept in
// share/locale beside the resource folder share/ambrel, in the build tree and
// installed alike.
#pragma once

#include <libintl.h>

#include <string>

namespace ambrel {

inline constexpr const char* kTextDomain = "ambrel";

// Marks a text for the catalogue where it is written; Tr translates it where it is used.
#define N_(text) text

// Binds the catalogue (once); later calls do nothing.
void BindTranslations();

// A message of the catalogue in the user's language, or as given.
__attribute__((format_arg(1))) inline const char* Tr(const char* message) { return dgettext(kTextDomain, message); }

// A message with its values put in, printf-style: the words around the values move
// in other languages, so a message is one format, never pieces.
__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...);

}  // namespace ambrel
