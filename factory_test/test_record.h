#pragma once

// PASS / NG records of the test bench: one small file per camera, named after
// its MAC address, in the folder "test_record" below the working directory.

#include <cstdint>
#include <string>

#include "client/kaltro_client.h"

constexpr const char* kTestRecordDir = "test_record";
// The record's path including the folder stays within this many bytes.
constexpr std::size_t kTestRecordPathMax = 127;

// What a record says of its camera. A native camera's comes from its
// IPC_DEVICE_INFO; an ONVIF camera's from its device service, with the
// protocol and the model, which native records do not carry.
struct RecordIdentity {
    std::string mac;
    std::uint32_t board_id = 0;
    std::string board_name;
    std::string software_version;
    std::string protocol;  // "" for a native record; "onvif"
    std::string model;
};

RecordIdentity record_identity(const IPC_DEVICE_INFO& info);

// The record's text: seven lines, each of the first six ending in LF CR, the
// board id as "0x%x". The device's texts are written as JSON strings: quotes,
// backslashes and control characters escaped, bytes that are not UTF-8
// replaced by U+FFFD (as the dialog shows them), so the record always parses
// to the texts the device gave and a text can never add or change a field.
// A record with a protocol has "protocol" and "model" as lines 7 and 8,
// after "result", so readers of the native record's fields read it alike.
std::string format_test_record(const RecordIdentity& camera, const char* result);
inline std::string format_test_record(const IPC_DEVICE_INFO& info, const char* result) {
    return format_test_record(record_identity(info), result);
}

// A MAC can name a record when it holds a letter or a digit. Without one
// (empty, only separators or control characters) every such camera would
// share, and overwrite, one record.
bool mac_names_a_record(const std::string& mac);

// "test_record/<mac>.txt" with every ':' turned into '-'. The MAC comes from
// the device, so anything that could lead out of the folder or make an odd
// file name ('/', '\\', control characters) becomes '_'; the name is cut so
// the path fits kTestRecordPathMax and still ends in ".txt".
std::string test_record_path(const std::string& mac);

enum class RecordWrite { Ok, CannotCreate, UnusableMac };

// Creates the folder when missing and writes the record, replacing an
// earlier one for the same camera. Writes nothing for a MAC that cannot name
// a record.
RecordWrite write_test_record(const RecordIdentity& camera, const char* result);
inline RecordWrite write_test_record(const IPC_DEVICE_INFO& info, const char* result) {
    return write_test_record(record_identity(info), result);
}
