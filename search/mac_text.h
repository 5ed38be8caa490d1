#pragma once

#include <optional>
#include <string>
#include <string_view>

// MAC texts. Native devices list their MAC as "02:77:00:00:02:50"; ONVIF
// cameras give theirs in whatever form they like ("02-77-00-00-02-50",
// "027700000250", lower case). Every list compares them in one form.

// "AA:BB:CC:DD:EE:FF" for six hex bytes separated by ':' or '-' (or not at
// all, or dotted in three groups of four); nothing for anything else.
std::optional<std::string> normalise_mac(std::string_view text);

// The key a list finds a device by: the normalised MAC, or the text as it
// is where it is no MAC (a device that sends something else is still one
// row, under what it sends).
std::string mac_list_key(std::string_view text);
