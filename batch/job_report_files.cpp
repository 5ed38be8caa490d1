#include "batch/job_report_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "batch/job_report.h"
#include "runtime/report_text.h"

namespace {

constexpr const char* kMarkColumns[6] = {"network", "upgrade", "logo", "command", "time", "settings"};

// A list mark as a word; any other text of the column (a hint such as
// "Upgrade first") is kept as it is.
std::string mark_word(const std::string& mark) {
    if (mark == kMarkDone) return "done";
    if (mark == kMarkFailed) return "failed";
    if (mark == kMarkSkipped) return "skipped";
    if (mark == kMarkNotAvailable) return "not_available";
    if (mark.empty() || mark == kMarkBlank) return "";
    return mark;
}

std::string base_name(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
    return out;
}

nlohmann::json time_or_null(std::int64_t ms) {
    return ms > 0 ? nlohmann::json(iso_local_time(ms)) : nlohmann::json(nullptr);
}

nlohmann::json device_json(const DeviceOutcome& d) {
    nlohmann::json marks = nlohmann::json::object();
    for (int i = 0; i < 6; ++i) marks[kMarkColumns[i]] = mark_word(d.marks[i]);
    return {{"mac", d.mac},
            {"protocol", protocol_name(d.protocol)},
            {"ip_before", d.ip_before},
            {"ip_after", d.ip_after},
            {"version_before", d.version_before},
            {"version_after", d.version_after},
            {"marks", marks},
            {"status", d.status},
            {"started", time_or_null(d.started_at)},
            {"ended", time_or_null(d.ended_at)},
            {"passes", d.passes},
            {"worked_on", d.not_worked_on.empty()},
            {"not_worked_on", d.not_worked_on}};
}

// Writes `text` to `path` through a temporary file beside it.
std::string write_whole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return path + ": " + std::strerror(errno);
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::string error = path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return error;
    }
    return "";
}

}  // namespace

std::string job_report_json(const JobOutcome& outcome) {
    nlohmann::json firmware = nullptr;
    if (!outcome.firmware_path.empty())
        firmware = {{"path", outcome.firmware_path},
                    {"name", base_name(outcome.firmware_path)},
                    {"sha256", outcome.firmware_sha256}};
    nlohmann::json devices = nlohmann::json::array();
    for (const DeviceOutcome& device : outcome.devices) devices.push_back(device_json(device));
    nlohmann::json report = {{"report", "tervane batch job"},
                             {"format", 1},
                             {"started", time_or_null(outcome.started_at)},
                             {"ended", time_or_null(outcome.ended_at)},
                             {"stopped", outcome.stopped},
                             {"firmware", firmware},
                             {"steps", outcome.steps},
                             {"devices", devices}};
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string job_report_csv(const JobOutcome& outcome) {
    // UTF-8 with a byte-order mark, so spreadsheets do not guess another code page.
    std::string csv = "\xEF\xBB\xBF";
    csv += csv_line({"mac", "ip_before", "ip_after", "version_before", "version_after", "steps", "network",
                     "upgrade", "logo", "command", "time", "settings", "status", "started", "ended", "passes",
                     "not_worked_on", "firmware", "firmware_sha256", "protocol"});
    const std::string steps = joined(outcome.steps);
    const std::string firmware = base_name(outcome.firmware_path);
    for (const DeviceOutcome& d : outcome.devices) {
        std::vector<std::string> fields = {d.mac, d.ip_before, d.ip_after, d.version_before, d.version_after, steps};
        for (const std::string& mark : d.marks) fields.push_back(mark_word(mark));
        for (const std::string& field : {d.status, iso_local_time(d.started_at), iso_local_time(d.ended_at),
                                         std::to_string(d.passes), d.not_worked_on, firmware,
                                         outcome.firmware_sha256, std::string(protocol_name(d.protocol))})
            fields.push_back(field);
        csv += csv_line(fields);
    }
    return csv;
}

std::string write_job_report(const JobOutcome& outcome, const std::string& base) {
    std::string error = write_whole(base + ".json", job_report_json(outcome));
    if (error.empty()) error = write_whole(base + ".csv", job_report_csv(outcome));
    return error;
}

std::string reserve_dated_report(const std::string& dir, std::time_t when) {
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return "";
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    for (int n = 1; n < 1000; ++n) {
        const std::string base = dir + "/" + stamp + (n > 1 ? "-" + std::to_string(n) : "");
        int fd = ::open((base + ".json").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return base;
        }
        if (errno != EEXIST) return "";
    }
    return "";
}
