#pragma once

#include <string>
#include <string_view>

// Device texts as a terminal may show them. Whatever a device sends (MAC,
// version, ...) reaches the screen through here: control characters (C0,
// DEL, C1) would drive the terminal, format characters (bidi overrides,
// zero-width marks) and line separators would disguise the text; they are
// shown as \xNN or \uNNNN, bytes that are not UTF-8 as \xNN, and a
// backslash as \\ so that what is shown can be told apart from an escape.
// Everything else passes unchanged.
std::string terminal_text(std::string_view text);
