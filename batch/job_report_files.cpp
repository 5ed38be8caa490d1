#include "batch/job_report_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
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

std::string dhcp_word(const std::optional<bool>& dhcp) { return dhcp ? (*dhcp ? "on" : "off") : ""; }

std::string took_word(const std::optional<bool>& took) { return took ? (*took ? "true" : "false") : ""; }

nlohmann::json took_or_null(const std::optional<bool>& took) {
    return took ? nlohmann::json(*took) : nlohmann::json(nullptr);
}

nlohmann::json planned_json(const DeviceOutcome& d) {
    if (!d.planned) return nullptr;
    const PlannedValues& p = *d.planned;
    return {{"ip", p.ip}, {"mask", p.mask}, {"gateway", p.gateway}, {"dhcp", dhcp_word(p.dhcp)}, {"uid", p.uid}};
}

nlohmann::json planned_took_json(const DeviceOutcome& d) {
    if (!d.planned) return nullptr;
    return {{"ip", took_or_null(d.ip_took)}, {"dhcp", took_or_null(d.dhcp_took)}, {"uid", took_or_null(d.uid_took)}};
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
            {"worked_on", d.not_worked_on.empty() && d.state != kStateWaiting},
            {"not_worked_on", d.not_worked_on},
            {"state", d.state},
            {"already_current", d.already_current},
            {"planned", planned_json(d)},
            {"planned_took", planned_took_json(d)}};
}

// The planned values and whether they took, as the CSV's last columns.
std::vector<std::string> planned_fields(const DeviceOutcome& d) {
    const PlannedValues none;
    const PlannedValues& p = d.planned ? *d.planned : none;
    return {p.ip, p.mask, p.gateway, dhcp_word(p.dhcp), p.uid,
            took_word(d.ip_took), took_word(d.dhcp_took), took_word(d.uid_took)};
}

std::string failure(const std::string& path) { return path + ": " + std::strerror(errno); }

std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Without this a power cut may lose the rename though the data was flushed.
void flush_folder(const std::string& path) {
    int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A temporary file beside `path` holding `text`, flushed to the disk; its
// name is unique, so two writers never share one. "" when it failed (`error` says why).
std::string flushed_temporary(const std::string& path, const std::string& text, std::string& error) {
    std::string temporary = path + ".tmp.XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = failure(path);
        return "";
    }
    ::fchmod(fd, 0644);
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    bool written = done == text.size() && ::fsync(fd) == 0;
    if (!written) error = failure(path);
    if (::close(fd) != 0 && written) {
        written = false;
        error = failure(path);
    }
    if (written) return temporary;
    ::unlink(temporary.c_str());
    return "";
}

}  // namespace

std::string write_file_whole(const std::string& path, const std::string& text) {
    std::string error;
    const std::string temporary = flushed_temporary(path, text, error);
    if (temporary.empty()) return error;
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = failure(path);
        ::unlink(temporary.c_str());
        return error;
    }
    flush_folder(path);
    return "";
}

namespace {

enum class Placed { Yes, Taken, Failed };

// Like write_whole, but only when `path` does not exist yet: the name is
// taken and filled in one step.
Placed place_whole(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = flushed_temporary(path, text, error);
    if (temporary.empty()) return Placed::Failed;
    Placed placed = Placed::Yes;
    if (::link(temporary.c_str(), path.c_str()) != 0) {
        placed = errno == EEXIST ? Placed::Taken : Placed::Failed;
        if (placed == Placed::Failed) error = failure(path);
    }
    ::unlink(temporary.c_str());
    if (placed == Placed::Yes) flush_folder(path);
    return placed;
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
                             {"updated", time_or_null(outcome.updated_at)},
                             {"stopped", outcome.stopped},
                             {"firmware", firmware},
                             {"steps", outcome.steps},
                             {"devices", devices},
                             {"plan", outcome.plan_path.empty() ? nlohmann::json(nullptr)
                                                                : nlohmann::json(outcome.plan_path)}};
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string job_report_csv(const JobOutcome& outcome) {
    // UTF-8 with a byte-order mark, so spreadsheets do not guess another code page.
    std::string csv = "\xEF\xBB\xBF";
    csv += csv_line({"mac", "ip_before", "ip_after", "version_before", "version_after", "steps", "network",
                     "upgrade", "logo", "command", "time", "settings", "status", "started", "ended", "passes",
                     "not_worked_on", "firmware", "firmware_sha256", "state", "already_current", "protocol",
                     "planned_ip", "planned_mask", "planned_gateway", "planned_dhcp", "planned_uid", "planned_ip_took",
                     "planned_dhcp_took", "planned_uid_took"});
    const std::string steps = joined(outcome.steps);
    const std::string firmware = base_name(outcome.firmware_path);
    for (const DeviceOutcome& d : outcome.devices) {
        std::vector<std::string> fields = {d.mac, d.ip_before, d.ip_after, d.version_before, d.version_after, steps};
        for (const std::string& mark : d.marks) fields.push_back(mark_word(mark));
        for (const std::string& field : {d.status, iso_local_time(d.started_at), iso_local_time(d.ended_at),
                                         std::to_string(d.passes), d.not_worked_on, firmware,
                                         outcome.firmware_sha256, d.state,
                                         std::string(d.already_current ? "true" : "false"),
                                         std::string(protocol_name(d.protocol))})
            fields.push_back(field);
        for (std::string& field : planned_fields(d)) fields.push_back(std::move(field));
        csv += csv_line(fields);
    }
    return csv;
}

// The CSV first: whoever finds the JSON finds the CSV beside it.
std::string write_job_report(const JobOutcome& outcome, const std::string& base) {
    std::string error = write_file_whole(base + ".csv", job_report_csv(outcome));
    if (error.empty()) error = write_file_whole(base + ".json", job_report_json(outcome));
    return error;
}

std::string write_dated_report(const JobOutcome& outcome, const std::string& dir, std::time_t when,
                               std::string& base) {
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return failure(dir);
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    const std::string json = job_report_json(outcome);
    std::string error;
    for (int n = 1; n < 1000; ++n) {
        const std::string candidate = dir + "/" + stamp + (n > 1 ? "-" + std::to_string(n) : "");
        const Placed placed = place_whole(candidate + ".json", json, error);
        if (placed == Placed::Failed) return error;
        if (placed == Placed::Yes) {
            base = candidate;
            return write_file_whole(base + ".csv", job_report_csv(outcome));
        }
    }
    return dir + ": no free report name for " + stamp;
}
