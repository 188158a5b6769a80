#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "program_command.hpp"

// Locales of the tests' own, beyond the C and C.UTF-8 locales every system
// has, built once into TASCHENRECHNER_TEST_LOCALES from Debian's locale
// sources (package locales) and found by the program through LOCPATH.
inline bool is_test_locale(const std::string& name) { return name != "C" && name != "C.UTF-8"; }

// Why the locale `name` (language_TERRITORY.CHARMAP) cannot be had; empty
// once it is there.
inline std::string missing_locale(const std::string& name) {
  if (!is_test_locale(name)) return "";
  if (kProgramEmulated) return "the emulated program would read a locale built here in this machine's byte order";
  if (name.starts_with("de_") && access("/usr/share/locale/de/LC_MESSAGES/libc.mo", R_OK) != 0) {
    return "no German texts of the C library (package libc-l10n)";
  }
  const std::string folder = std::string(TASCHENRECHNER_TEST_LOCALES) + "/" + name;
  const std::string built = folder + "/LC_CTYPE";
  if (access(built.c_str(), R_OK) == 0) return "";
  // Built aside and then moved in place, so that a test that looks at the
  // same time never finds half a locale.
  const std::size_t dot = name.find('.');
  const std::string building = folder + ".building." + std::to_string(getpid());
  const std::string command =
      "localedef -i " + name.substr(0, dot) + " -f " + name.substr(dot + 1) + " " + building + " >/dev/null 2>&1";
  // localedef's status counts warnings too; whether the locale is there
  // tells. The move fails where another test was first.
  [[maybe_unused]] const int built_status = std::system(command.c_str());
  [[maybe_unused]] const int moved = std::rename(building.c_str(), folder.c_str());
  [[maybe_unused]] const int removed = std::system(("rm -rf " + building).c_str());
  return access(built.c_str(), R_OK) == 0 ? "" : "cannot build " + name + " (package locales): " + command;
}
