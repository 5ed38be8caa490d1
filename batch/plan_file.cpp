#include "batch/plan_file.h"

#include <arpa/inet.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "batch/text_limits.h"
#include "runtime/ini_file.h"
#include "runtime/regular_file.h"
#include "search/mac_text.h"

namespace {

enum Column { kMac, kIp, kMask, kGateway, kDhcp, kUid, kColumnCount };
constexpr const char* kColumnNames[kColumnCount] = {"mac", "ip", "mask", "gateway", "dhcp", "uid"};

// The longest value a problem quotes, in characters.
constexpr std::size_t kQuotedChars = 40;

std::string trimmed(std::string text) {
    const char* blanks = " \t";
    text.erase(0, text.find_first_not_of(blanks));
    text.erase(text.find_last_not_of(blanks) + 1);
    return text;
}

// A field our own CSV writer guarded against spreadsheet formulas gets its
// apostrophe back off, so an exported list reads back as it was.
std::string unguarded(std::string text) {
    if (text.size() >= 2 && text[0] == '\'' && std::strchr("=+-@\t\r", text[1]) != nullptr) text.erase(0, 1);
    return text;
}

std::string quoted_value(const std::string& text) {
    std::string printable = sanitize_utf8(text);
    for (char& c : printable)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    std::string cut = utf8_cut_chars(printable, kQuotedChars);
    return cut.size() < printable.size() ? cut + "..." : cut;
}

std::optional<std::uint32_t> ipv4(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

// A camera's own address: neither the unspecified nor the broadcast
// address, nor multicast or reserved (224.0.0.0 and up).
bool camera_address(std::uint32_t a) { return a != 0 && a < 0xE0000000u; }

// A contiguous mask of 1 to 30 bits: a network with at least two hosts.
bool usable_mask(std::uint32_t m) {
    const std::uint32_t hosts = ~m;
    return m != 0 && (hosts & (hosts + 1)) == 0 && hosts >= 3;
}

bool host_of(std::uint32_t a, std::uint32_t network, std::uint32_t mask) {
    return (a & mask) == network && (a & ~mask) != 0 && (a & ~mask) != ~mask;
}

// A row's cells by column; "" where the row is shorter or the file lacks the column.
using Cells = std::array<std::string, kColumnCount>;

class PlanChecker {
public:
    explicit PlanChecker(std::vector<PlanProblem>& problems) : m_problems(problems) {}

    // Checks one camera's line; the entry when it is sound.
    std::optional<PlanEntry> check(int line, const Cells& cells) {
        m_line = line;
        m_sound = true;
        PlanEntry entry;
        entry.line = line;
        check_mac(cells[kMac], entry);
        check_network(cells, entry.values);
        check_dhcp(cells[kDhcp], entry.values);
        check_uid(cells[kUid], entry.values);
        if (!m_sound) return std::nullopt;
        return entry;
    }

private:
    void problem(PlanFault fault, const std::string& value = "", int other_line = 0) {
        m_problems.push_back({m_line, fault, value.empty() ? "" : quoted_value(value), other_line});
        m_sound = false;
    }

    // Records a value that two cameras may not share; false when one had it.
    bool first_to_claim(std::map<std::string, int>& claimed, const std::string& value, PlanFault fault) {
        auto [found, added] = claimed.emplace(value, m_line);
        if (!added) problem(fault, value, found->second);
        return added;
    }

    void check_mac(const std::string& text, PlanEntry& entry) {
        if (text.empty()) return problem(PlanFault::NoMac);
        std::optional<std::string> mac = normalise_mac(text);
        if (!mac) return problem(PlanFault::BadMac, text);
        if (first_to_claim(m_macs, *mac, PlanFault::MacTwice)) entry.mac = *mac;
    }

    void check_network(const Cells& cells, PlannedValues& values) {
        const std::string &ip = cells[kIp], &mask = cells[kMask], &gateway = cells[kGateway];
        const std::optional<std::uint32_t> a = address_cell(ip, camera_address, PlanFault::BadIp);
        const std::optional<std::uint32_t> m = address_cell(mask, usable_mask, PlanFault::BadMask);
        const std::optional<std::uint32_t> g = address_cell(gateway, camera_address, PlanFault::BadGateway);
        if ((!mask.empty() || !gateway.empty()) && (ip.empty() || mask.empty() || gateway.empty()))
            problem(PlanFault::MaskGatewayApart);
        if (a && m && g) {
            if (!host_of(*a, *a & *m, *m)) problem(PlanFault::NotHostAddress, ip);
            if (!host_of(*g, *a & *m, *m) || *g == *a) problem(PlanFault::GatewayOutside, gateway);
        }
        if (a && first_to_claim(m_ips, ip, PlanFault::IpTwice)) {
            values.ip = ip;
            values.mask = mask;
            values.gateway = gateway;
        }
        if (!ip.empty() && strcasecmp(cells[kDhcp].c_str(), "on") == 0) problem(PlanFault::DhcpOnWithIp);
    }

    // A dotted IPv4 cell that `usable` accepts; nothing (and the fault
    // unless the cell is empty) otherwise.
    std::optional<std::uint32_t> address_cell(const std::string& text, bool (*usable)(std::uint32_t),
                                              PlanFault fault) {
        if (text.empty()) return std::nullopt;
        std::optional<std::uint32_t> value = ipv4(text);
        if (value && usable(*value)) return value;
        problem(fault, text);
        return std::nullopt;
    }

    void check_dhcp(const std::string& text, PlannedValues& values) {
        if (text.empty()) return;
        if (strcasecmp(text.c_str(), "on") != 0 && strcasecmp(text.c_str(), "off") != 0)
            return problem(PlanFault::BadDhcp, text);
        values.dhcp = strcasecmp(text.c_str(), "on") == 0;
    }

    void check_uid(const std::string& text, PlannedValues& values) {
        if (text.empty()) return;
        // The rule of the UID step: the UID goes into the device's shell line.
        if (!uid_is_shell_safe(text)) return problem(PlanFault::BadUid, text);
        if (first_to_claim(m_uids, text, PlanFault::UidTwice)) values.uid = text;
    }

    std::vector<PlanProblem>& m_problems;
    int m_line = 0;
    bool m_sound = true;
    std::map<std::string, int> m_macs, m_ips, m_uids;
};

// The column of each known name in the header; -1 where it has none.
std::array<int, kColumnCount> header_columns(const CsvRecord& header, std::vector<PlanProblem>& problems) {
    std::array<int, kColumnCount> at;
    at.fill(-1);
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const std::string name = trimmed(header.fields[i]);
        for (int c = 0; c < kColumnCount; ++c) {
            if (strcasecmp(name.c_str(), kColumnNames[c]) != 0) continue;
            if (at[c] >= 0)
                problems.push_back({header.line, PlanFault::ColumnTwice, kColumnNames[c], 0});
            else
                at[c] = static_cast<int>(i);
        }
    }
    if (at[kMac] < 0) problems.push_back({header.line, PlanFault::NoMacColumn, "", 0});
    return at;
}

PlanFault csv_fault(CsvFault fault) {
    switch (fault) {
        case CsvFault::TooManyLines: return PlanFault::TooManyLines;
        case CsvFault::TooManyFields: return PlanFault::TooManyFields;
        case CsvFault::FieldTooLong: return PlanFault::FieldTooLong;
        case CsvFault::OpenQuote: return PlanFault::OpenQuote;
        case CsvFault::TextAfterQuote: return PlanFault::TextAfterQuote;
    }
    return PlanFault::OpenQuote;
}

// Spreadsheets also save "Unicode text" (UTF-16); such a file, or any with
// NUL bytes, is no CSV text this reader can take.
bool plain_text(std::string_view text) {
    if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") return false;
    return text.find('\0') == std::string_view::npos;
}

void check_rows(const CsvText& csv, std::vector<PlanProblem>& problems, DevicePlan& plan) {
    const std::array<int, kColumnCount> at = header_columns(csv.records.front(), problems);
    if (at[kMac] < 0) return;
    PlanChecker checker(problems);
    for (std::size_t r = 1; r < csv.records.size(); ++r) {
        const CsvRecord& record = csv.records[r];
        Cells cells;
        for (int c = 0; c < kColumnCount; ++c)
            if (at[c] >= 0 && static_cast<std::size_t>(at[c]) < record.fields.size())
                cells[c] = unguarded(trimmed(record.fields[at[c]]));
        // Spreadsheets end a table with lines of empty cells.
        const bool blank = std::all_of(record.fields.begin(), record.fields.end(),
                                       [](const std::string& f) { return trimmed(f).empty(); });
        if (blank) continue;
        if (std::optional<PlanEntry> entry = checker.check(record.line, cells)) plan.entries.push_back(*entry);
    }
}

}  // namespace

PlannedByMac DevicePlan::by_mac() const {
    PlannedByMac map;
    for (const PlanEntry& entry : entries) map[entry.mac] = entry.values;
    return map;
}

const PlanEntry* DevicePlan::find(const std::string& mac) const {
    const std::optional<std::string> key = normalise_mac(mac);
    if (!key) return nullptr;
    auto found = std::find_if(entries.begin(), entries.end(), [&](const PlanEntry& e) { return e.mac == *key; });
    return found == entries.end() ? nullptr : &*found;
}

std::vector<PlanProblem> read_plan_text(std::string_view text, DevicePlan& plan, const PlanLimits& limits) {
    plan.entries.clear();
    if (text.size() > limits.max_bytes) return {{0, PlanFault::TooLarge, "", 0}};
    if (!plain_text(text)) return {{0, PlanFault::NotUtf8Text, "", 0}};
    const CsvText csv = read_csv(text, limits.csv);
    std::vector<PlanProblem> problems;
    for (const CsvProblem& p : csv.problems) problems.push_back({p.line, csv_fault(p.fault), "", 0});
    if (csv.records.empty()) {
        if (problems.empty()) problems.push_back({0, PlanFault::NoHeader, "", 0});
    } else {
        check_rows(csv, problems, plan);
    }
    if (problems.empty() && plan.entries.empty()) problems.push_back({0, PlanFault::NoCamera, "", 0});
    std::stable_sort(problems.begin(), problems.end(),
                     [](const PlanProblem& a, const PlanProblem& b) { return a.line < b.line; });
    if (!problems.empty()) plan.entries.clear();
    return problems;
}

std::vector<PlanProblem> read_plan_file(const std::string& path, DevicePlan& plan, const PlanLimits& limits) {
    plan.path = path;
    plan.entries.clear();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_regular_file(path), &std::fclose);
    if (!file) return {{0, PlanFault::Unreadable, std::strerror(errno), 0}};
    // One byte past the limit tells a file that is too large.
    std::string text(limits.max_bytes + 1, '\0');
    const std::size_t got = std::fread(text.data(), 1, text.size(), file.get());
    if (std::ferror(file.get())) return {{0, PlanFault::Unreadable, std::strerror(errno), 0}};
    text.resize(got);
    return read_plan_text(text, plan, limits);
}

std::vector<PlanProblem> plan_address_conflicts(const DevicePlan& plan,
                                                const std::vector<std::pair<std::string, std::string>>& listed) {
    std::vector<PlanProblem> problems;
    for (const PlanEntry& entry : plan.entries) {
        if (entry.values.ip.empty()) continue;
        for (const auto& [mac, ip] : listed) {
            if (ip != entry.values.ip || normalise_mac(mac) == entry.mac) continue;
            problems.push_back({entry.line, PlanFault::IpInUse, quoted_value(ip + " " + mac), 0});
            break;
        }
    }
    return problems;
}

const char* plan_fault_key(PlanFault fault) {
    switch (fault) {
        case PlanFault::Unreadable: return "IDS_PLAN_UNREADABLE";
        case PlanFault::TooLarge: return "IDS_PLAN_TOO_LARGE";
        case PlanFault::NotUtf8Text: return "IDS_PLAN_NOT_UTF8";
        case PlanFault::TooManyLines: return "IDS_PLAN_TOO_MANY_LINES";
        case PlanFault::TooManyFields: return "IDS_PLAN_TOO_MANY_FIELDS";
        case PlanFault::FieldTooLong: return "IDS_PLAN_FIELD_TOO_LONG";
        case PlanFault::OpenQuote: return "IDS_PLAN_OPEN_QUOTE";
        case PlanFault::TextAfterQuote: return "IDS_PLAN_TEXT_AFTER_QUOTE";
        case PlanFault::NoHeader: return "IDS_PLAN_NO_HEADER";
        case PlanFault::NoMacColumn: return "IDS_PLAN_NO_MAC_COLUMN";
        case PlanFault::ColumnTwice: return "IDS_PLAN_COLUMN_TWICE";
        case PlanFault::NoCamera: return "IDS_PLAN_NO_CAMERA";
        case PlanFault::NoMac: return "IDS_PLAN_NO_MAC";
        case PlanFault::BadMac: return "IDS_PLAN_BAD_MAC";
        case PlanFault::MacTwice: return "IDS_PLAN_MAC_TWICE";
        case PlanFault::BadIp: return "IDS_PLAN_BAD_IP";
        case PlanFault::BadMask: return "IDS_PLAN_BAD_MASK";
        case PlanFault::BadGateway: return "IDS_PLAN_BAD_GATEWAY";
        case PlanFault::MaskGatewayApart: return "IDS_PLAN_MASK_GATEWAY_APART";
        case PlanFault::NotHostAddress: return "IDS_PLAN_NOT_HOST_ADDRESS";
        case PlanFault::GatewayOutside: return "IDS_PLAN_GATEWAY_OUTSIDE";
        case PlanFault::IpTwice: return "IDS_PLAN_IP_TWICE";
        case PlanFault::BadDhcp: return "IDS_PLAN_BAD_DHCP";
        case PlanFault::DhcpOnWithIp: return "IDS_PLAN_DHCP_WITH_IP";
        case PlanFault::BadUid: return "IDS_PLAN_BAD_UID";
        case PlanFault::UidTwice: return "IDS_PLAN_UID_TWICE";
        case PlanFault::IpInUse: return "IDS_PLAN_IP_IN_USE";
    }
    return "IDS_PLAN_UNREADABLE";
}

std::string plan_problem_text(const std::string& file_name, const PlanProblem& problem,
                              const std::function<std::string(const std::string& key)>& text_of) {
    std::string line = file_name + (problem.line > 0 ? ":" + std::to_string(problem.line) : "") + ": " +
                       text_of(plan_fault_key(problem.fault));
    if (!problem.value.empty()) line += ": \"" + problem.value + "\"";
    if (problem.other_line > 0) {
        // The text places the number itself ("{line}"): word orders differ.
        std::string also = text_of("IDS_PLAN_ALSO_ON_LINE");
        const std::size_t at = also.find("{line}");
        if (at != std::string::npos) also.replace(at, 6, std::to_string(problem.other_line));
        line += " (" + also + ")";
    }
    return line;
}
