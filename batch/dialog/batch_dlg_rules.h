#pragma once

#include <string>

// The batch dialog's input rules, free of any toolkit so that they are tested
// (and could be reused by another front end) on their own. Texts are UTF-8.

// A dotted IPv4 address by the classic inet_addr rule: valid unless the parse
// fails or yields the all-ones value, so "255.255.255.255" counts as invalid.
bool is_valid_ip(const std::string& text);

// The number of characters (not bytes) of a UTF-8 text.
std::size_t utf8_length(const std::string& text);

// A firmware path is accepted when it holds more than 7 characters and names
// a regular file (looked at without opening it: a FIFO would hang the open).
bool firmware_path_acceptable(const std::string& path);

// The outcome of the range rule for the first and last address of a range.
struct RangeCheck {
    enum Outcome {
        Ok,
        BothInvalid,     // IDS_INVALID_IP_ADDR, focus to the first field
        PrefixMismatch,  // IDS_IP_RANGE_DISMATCH, focus to the last field
        EndBeforeStart,  // IDS_IP_END_ERROR_LESS_START, focus to the last field
    };
    Outcome outcome = Ok;
    std::string start;  // the range to use; a bad end takes the good one's text
    std::string end;
    bool start_replaced = false;  // the first field has to show `start`
    bool end_replaced = false;    // the last field has to show `end`
};

// Applies the range rule. A side is bad when it is empty, "0.0.0.0" or not a
// valid address; one bad side takes the other's address. `order_check` adds
// the rule that the last address may not lie below the first.
RangeCheck check_ip_range(const std::string& start, const std::string& end, bool order_check);

// The time-zone combo: 25 entries, "UTC:-12:00" (index 0) to "UTC:+12:00".
constexpr int kTimeZoneCount = 25;
constexpr int kDefaultTimeZoneIndex = 20;
std::string time_zone_text(int index);
int time_zone_seconds(int index);
