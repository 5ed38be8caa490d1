#pragma once

#include <string>

// Language files: every text the user sees is looked up by key in section
// "StringTable" of a language file, read afresh at every lookup so an edited
// file takes effect at once.

// Directory of the running executable (from /proc/self/exe), without the
// trailing '/'.
std::string exe_dir();

// The directory that holds the language files: the executable's directory
// when "vesmira_en.ini" lies there, else the installed data directory
// (../share/tervane beside the executable's directory) when it holds one,
// else the executable's directory.
std::string lang_dir();

// The default language file: lang_dir() + "/vesmira_en.ini", whatever the locale.
std::string lang_default_file();

// The language file of the test bench: the first file in `dir` (by name, directories
// skipped) whose name contains "vesmira" and ends in ".ini" and whose "CharsetType" /
// "LanguageCode" value contains `lang_id`; the default file of `dir` when none does.
std::string lang_file_for(const std::string& dir, const std::string& lang_id);

// The same for the user's locale in lang_dir().
std::string lang_locale_file();

// The text stored under `key` in section "StringTable" of `file`, cut to 127
// characters; "" when the file, the section or the key is missing.
std::string lang_string(const std::string& file, const std::string& key);

// The user's locale name ("zh_CN.UTF-8"): LC_ALL, LC_MESSAGES or LANG, the
// first that is set; "" when none is.
std::string user_locale();

// The user's language identifier as four hexadecimal digits ("0409"), from
// user_locale(); "0409" when it is unset or does not map.
std::string user_lang_id();

// Maps a POSIX locale name ("zh_CN.UTF-8", "de_DE@euro", "fr") to its language
// identifier; "" when unknown.
std::string lang_id_for_locale(const std::string& locale);
