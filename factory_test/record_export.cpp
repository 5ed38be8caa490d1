#include "factory_test/record_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "runtime/ini_file.h"
#include "runtime/report_text.h"

namespace {

namespace fs = std::filesystem;

// A sound record is a few hundred bytes; a file far larger is not one.
constexpr std::size_t kMaxRecordBytes = 64 * 1024;

constexpr const char* kFields[] = {"mac", "board_id", "board_name", "software_version", "result"};
// Fields of the later records, after those above; a record without them is
// a native camera's.
constexpr const char* kLaterFields[] = {"protocol", "model"};

// The record's fields: a JSON object of five texts, each key once. A key
// given twice is refused: a record written before device texts were escaped
// could carry a second "result" inside a board name.
std::string read_fields(const std::string& text, nlohmann::json& record) {
    std::string problem;
    std::set<std::string> keys;
    auto note_keys = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& value) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 && !keys.insert(value.get<std::string>()).second)
            problem = "field " + value.get<std::string>() + " given twice";
        return true;
    };
    try {
        record = nlohmann::json::parse(text, note_keys);
    } catch (const nlohmann::json::parse_error&) {
        return "not a record (unreadable text)";
    }
    if (!problem.empty()) return problem;
    if (!record.is_object()) return "not a record (no fields)";
    for (const char* field : kFields) {
        auto it = record.find(field);
        if (it == record.end()) return std::string("field ") + field + " missing";
        if (!it->is_string()) return std::string("field ") + field + " is not a text";
    }
    for (const char* field : kLaterFields) {
        auto it = record.find(field);
        if (it != record.end() && !it->is_string()) return std::string("field ") + field + " is not a text";
    }
    return "";
}

std::string read_file(const fs::path& path, std::string& problem) {
    // Non-blocking open and a size bound: a FIFO or a huge file in the folder
    // must not hold the export.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > static_cast<off_t>(kMaxRecordBytes)) {
        problem = fd < 0 ? std::string("cannot be read: ") + std::strerror(errno) : "not a record file";
        if (fd >= 0) ::close(fd);
        return "";
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    ssize_t got = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    if (got != static_cast<ssize_t>(bytes.size())) problem = "cannot be read";
    return bytes;
}

std::int64_t modified_ms(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
}

}  // namespace

void parse_test_record(const std::string& bytes, RecordRow& row) {
    // Texts are shown as UTF-8; a record of a device that sent other bytes
    // still reads, with those bytes replaced.
    nlohmann::json record;
    row.problem = read_fields(sanitize_utf8(bytes), record);
    if (!row.problem.empty()) return;
    row.mac = record["mac"];
    row.board_id = record["board_id"];
    row.board_name = record["board_name"];
    row.software_version = record["software_version"];
    row.result = record["result"];
    row.protocol = record.value("protocol", "native");
    row.model = record.value("model", "");
    if (row.result != "PASS" && row.result != "NG") row.problem = "result is neither PASS nor NG";
}

bool read_record_folder(const std::string& dir, std::vector<RecordRow>& rows, std::string& error) {
    std::error_code code;
    fs::directory_iterator entries(dir, code);
    if (code) {
        error = dir + ": " + code.message();
        return false;
    }
    for (const fs::directory_entry& entry : entries) {
        const fs::path& path = entry.path();
        if (path.extension() != ".txt" || entry.is_directory(code)) continue;
        RecordRow row;
        row.file = path.filename().string();
        row.modified_ms = modified_ms(path);
        std::string bytes = read_file(path, row.problem);
        if (row.problem.empty()) parse_test_record(bytes, row);
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const RecordRow& a, const RecordRow& b) { return a.file < b.file; });
    return true;
}

std::string records_csv(const std::vector<RecordRow>& rows) {
    std::string csv = csv_line({"mac", "result", "date", "board_id", "board_name", "software_version", "file", "problem",
                                "protocol", "model"});
    for (const RecordRow& r : rows)
        csv += csv_line({r.mac, r.result, iso_local_time(r.modified_ms), r.board_id, r.board_name,
                         r.software_version, r.file, r.problem, r.protocol, r.model});
    return csv;
}

std::string records_json(const std::vector<RecordRow>& rows) {
    nlohmann::json list = nlohmann::json::array();
    for (const RecordRow& r : rows)
        list.push_back({{"mac", r.mac},
                        {"result", r.result},
                        {"date", iso_local_time(r.modified_ms)},
                        {"board_id", r.board_id},
                        {"board_name", r.board_name},
                        {"software_version", r.software_version},
                        {"file", r.file},
                        {"problem", r.problem},
                        {"protocol", r.protocol},
                        {"model", r.model}});
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
