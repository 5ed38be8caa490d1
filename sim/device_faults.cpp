#include "sim/device_faults.h"

#include "sim/fault_items.h"

namespace {

bool parse_int(const std::string& text, std::int32_t& out) {
    try {
        std::size_t used = 0;
        long value = std::stol(text, &used, 0);
        if (used != text.size()) return false;
        out = static_cast<std::int32_t>(value);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

std::string parse_device_faults(const std::string& text, DeviceFaults& faults) {
    return for_each_item(text, [&faults](const std::string& key, const std::string& value) -> std::string {
        if (key == "never_come_back" && value.empty()) {
            faults.never_come_back = true;
            return "";
        }
        std::int32_t number = 0;
        if (!parse_int(value, number)) return "fault '" + key + "=" + value + "': needs key=number";
        if (key == "answer17_command") faults.answer17_command = number;
        else if (key == "refuse_login") faults.refuse_login = number;
        else if (key == "drop_at_percent") faults.drop_at_percent = number;
        else if (key == "fail_status_polls") faults.fail_status_polls = number;
        else if (key == "never_come_back") faults.never_come_back = number != 0;
        else if (key == "ignore_command") faults.ignore_command = number;
        else return "unknown fault '" + key + "'";
        return "";
    });
}

const DeviceFaults* DeviceSideOptions::faults_for(const std::string& mac) const {
    auto it = faults.find(mac);
    if (it == faults.end()) it = faults.find("*");
    return it == faults.end() ? nullptr : &it->second;
}
