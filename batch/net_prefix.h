#pragma once

#include <string>

// The prefix length of a dotted IPv4 mask ("255.255.255.0" -> 24); -1 for
// text that is not a contiguous mask.
int prefix_length_of(const std::string& mask);
