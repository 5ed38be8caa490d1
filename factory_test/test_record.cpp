#include "factory_test/test_record.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include <nlohmann/json.hpp>

namespace {
// A field of the record as the library hands it: up to its terminator, and
// never past the field even if a device left it unterminated.
std::string field(const char* text, std::size_t size) { return std::string(text, strnlen(text, size)); }

// The text as a JSON string, quotes included.
std::string quoted(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

char safe_name_char(unsigned char c) {
    if (c == ':') return '-';
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return '_';
    return static_cast<char>(c);
}
}  // namespace

RecordIdentity record_identity(const IPC_DEVICE_INFO& info) {
    RecordIdentity camera;
    camera.mac = field(info.mac, sizeof(info.mac));
    camera.board_id = info.board_id;
    camera.board_name = field(info.board_name, sizeof(info.board_name));
    camera.software_version = field(info.software_version, sizeof(info.software_version));
    return camera;
}

std::string format_test_record(const RecordIdentity& camera, const char* result) {
    char board_id[16];
    std::snprintf(board_id, sizeof(board_id), "0x%x", camera.board_id);
    const std::string eol = "\n\r";
    std::string text = "{" + eol + "\"mac\":" + quoted(camera.mac) + "," + eol + "\"board_id\":\"" + board_id + "\"," +
                       eol + "\"board_name\":" + quoted(camera.board_name) + "," + eol +
                       "\"software_version\":" + quoted(camera.software_version) + "," + eol + "\"result\":\"" +
                       result + "\"";
    if (!camera.protocol.empty())
        text += "," + eol + "\"protocol\":" + quoted(camera.protocol) + "," + eol + "\"model\":" + quoted(camera.model);
    return text + eol + "}";
}

bool mac_names_a_record(const std::string& mac) {
    return std::any_of(mac.begin(), mac.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

std::string test_record_path(const std::string& mac) {
    const std::string prefix = std::string(kTestRecordDir) + "/";
    const std::string suffix = ".txt";
    std::string name;
    for (unsigned char c : mac) name += safe_name_char(c);
    const std::size_t room = kTestRecordPathMax - prefix.size() - suffix.size();
    if (name.size() > room) name.resize(room);
    return prefix + name + suffix;
}

RecordWrite write_test_record(const RecordIdentity& camera, const char* result) {
    const std::string& mac = camera.mac;
    if (!mac_names_a_record(mac)) return RecordWrite::UnusableMac;
    ::mkdir(kTestRecordDir, 0755);  // an existing folder is fine; a failure shows at the open
    const std::string path = test_record_path(mac);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb+"), std::fclose);
    if (!file) return RecordWrite::CannotCreate;
    const std::string text = format_test_record(camera, result);
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) return RecordWrite::CannotCreate;
    return std::fclose(file.release()) == 0 ? RecordWrite::Ok : RecordWrite::CannotCreate;
}
