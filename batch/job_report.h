#pragma once

#include <cstdint>

// What a batch job tells its front end. The front end receives these in the
// order each worker sent them (reports of different workers interleave).
enum JobReportKind : int {
    REPORT_PROGRESS = 0,     // data: percent 0..100
    REPORT_RUN_STATE = 1,    // data: 0; the job's running state changed
    REPORT_COUNT = 2,        // data: devices back * 65536 + workers
    REPORT_STATUS = 3,       // data: row * 65536 + status code
    REPORT_IP_CHANGED = 4,   // data: row
    REPORT_FINISHED = 5,     // data: row
    REPORT_ALL_FINISHED = 6, // data: 0; the last device of the job finished
};

struct JobReport {
    int kind = 0;
    std::uint32_t data = 0;
};

inline std::uint32_t report_pair(int high, int low) {
    return (static_cast<std::uint32_t>(high) & 0xFFFF) << 16 | (static_cast<std::uint32_t>(low) & 0xFFFF);
}
inline int report_high(std::uint32_t data) { return static_cast<int>(data >> 16 & 0xFFFF); }
inline int report_low(std::uint32_t data) { return static_cast<int>(data & 0xFFFF); }

// List columns that hold a device's results.
enum ResultColumn : int {
    COL_NETWORK = 6,
    COL_UPGRADE = 7,
    COL_LOGO = 8,
    COL_COMMAND = 9,
    COL_TIME = 10,
    COL_SETTINGS = 11,
    COL_STATUS = 12,
};

inline constexpr const char* kMarkFailed = "\u00d7";  // ×
inline constexpr const char* kMarkDone = "\u221a";    // √
inline constexpr const char* kMarkSkipped = "\u2014"; // —
inline constexpr const char* kMarkBlank = " ";
// A step the device's protocol does not offer: not done, and not a failure
// of the device either.
inline constexpr const char* kMarkNotAvailable = "n/a";

// How one status code changes a device's row: a mark in one result column
// and/or a message (a language-file key) in the status column.
struct StatusEffect {
    int column;               // 6..11, or -1 for none
    const char* mark;         // null when column is -1
    const char* message_key;  // null when the status column stays as it is
};

constexpr int kStatusCount = 37;
constexpr int kStatusClearRow = 28;  // blanks columns 6..12
// A stopped job: the device was not (fully) worked on. No mark: nothing failed.
constexpr int kStatusStopped = 30;
// A stopped job after the device took the whole firmware, before it was seen
// back: neither done nor failed as far as the job knows.
constexpr int kStatusStoppedAfterFlash = 31;
// The device refused the firmware because it already runs the file's
// version: it is in the state the job asked for, so the upgrade is done.
constexpr int kStatusAlreadyCurrent = 32;

// Steps that ONVIF does not offer, by the column they report in.
constexpr int kStatusLogoNotOnOnvif = 33;
constexpr int kStatusCommandNotOnOnvif = 34;
constexpr int kStatusSettingsNotOnOnvif = 35;
// The NTP server step, which native devices do not offer.
constexpr int kStatusNtpNotOnNative = 36;

// True for the codes of a step the device's protocol does not offer.
bool status_not_available(int code);

// The effect of status `code`; codes outside 0..kStatusCount-1 change nothing.
StatusEffect status_effect(int code);
