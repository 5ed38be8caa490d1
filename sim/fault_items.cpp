#include "sim/fault_items.h"

#include <sstream>

std::string for_each_item(const std::string& text,
                          const std::function<std::string(const std::string& key, const std::string& value)>& apply) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.empty()) continue;
        std::size_t eq = item.find('=');
        std::string error = apply(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
        if (!error.empty()) return error;
    }
    return "";
}

bool split_camera_items(const std::string& text, std::string* mac, std::string* items) {
    std::size_t at = text.find('@');
    if (at == std::string::npos) return false;
    *mac = text.substr(0, at);
    *items = text.substr(at + 1);
    return true;
}
