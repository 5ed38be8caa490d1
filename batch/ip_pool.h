#pragma once

#include <string>
#include <vector>

// Hands out the addresses of an IP range: prefix of range_start (up to its
// last '.') plus each number from the lower to the higher of the two last
// parts, skipping every address already shown by a listed device. The
// prefix of range_end is not used. Returns the free addresses in ascending
// order (empty when none is free); `count` gets the size of the range
// (below 1 when the range is empty).
std::vector<std::string> build_ip_pool(const std::string& range_start, const std::string& range_end,
                                       const std::vector<std::string>& listed_ips, int& count);
