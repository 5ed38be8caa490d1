#pragma once

// The small language of the simulator's per-camera faults and settings:
// "key=value,key=value" items, given on the command line as "MAC@items".

#include <functional>
#include <string>

// Calls `apply(key, value)` for each item (value "" for a bare key) until one
// answers an error text, and returns that; "" when every item applied.
std::string for_each_item(const std::string& text,
                          const std::function<std::string(const std::string& key, const std::string& value)>& apply);

// Splits "MAC@items"; false without the '@'.
bool split_camera_items(const std::string& text, std::string* mac, std::string* items);
