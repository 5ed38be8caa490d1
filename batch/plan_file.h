#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch/planned_values.h"
#include "runtime/csv_reader.h"

// A plan file: a CSV table with a header line and one line per camera, by
// MAC, giving each its own values (columns mac, ip, mask, gateway, dhcp,
// uid; any other column is a site's own and is ignored). Layout and rules in
// docs/plan-file.md. A plan is checked whole before any of it is used: one
// bad line refuses it, and every bad line is named.

enum class PlanFault {
    // The file as a whole (line 0) or its CSV structure
    Unreadable,
    TooLarge,
    NotUtf8Text,
    TooManyLines,
    TooManyFields,
    FieldTooLong,
    OpenQuote,
    TextAfterQuote,
    NoHeader,
    NoMacColumn,
    ColumnTwice,
    NoCamera,
    // One camera's line
    NoMac,
    BadMac,
    MacTwice,
    BadIp,
    BadMask,
    BadGateway,
    MaskGatewayApart,
    NotHostAddress,
    GatewayOutside,
    IpTwice,
    BadDhcp,
    DhcpOnWithIp,
    BadUid,
    UidTwice,
    // Against the devices listed when the job starts
    IpInUse,
};

struct PlanProblem {
    int line = 0;            // 0: the file as a whole
    PlanFault fault = PlanFault::Unreadable;
    std::string value;       // the text at fault, shortened and made printable; "" when none
    int other_line = 0;      // the line that gave the same value first; 0 when none
};

struct PlanEntry {
    int line = 0;
    std::string mac;  // as normalise_mac() writes it
    PlannedValues values;
};

struct DevicePlan {
    std::string path;                // the file it was read from, as named
    std::vector<PlanEntry> entries;  // in the file's order

    PlannedByMac by_mac() const;
    // The entry of a MAC written in any form; null when the plan lacks it.
    const PlanEntry* find(const std::string& mac) const;
};

struct PlanLimits {
    std::size_t max_bytes = 1024 * 1024;
    CsvLimits csv;
};

// Reads and checks a plan. With no problem `plan` holds it; otherwise `plan`
// is left empty and every problem is returned, in line order.
std::vector<PlanProblem> read_plan_text(std::string_view text, DevicePlan& plan, const PlanLimits& limits = {});
std::vector<PlanProblem> read_plan_file(const std::string& path, DevicePlan& plan, const PlanLimits& limits = {});

// Planned addresses that another listed device shows now: the planned
// camera would take an address in use. `listed` holds (MAC, address) of
// every listed device.
std::vector<PlanProblem> plan_address_conflicts(const DevicePlan& plan,
                                                const std::vector<std::pair<std::string, std::string>>& listed);

// The language-file key of a fault's text.
const char* plan_fault_key(PlanFault fault);

// One problem as a line for people: "site.csv:7: <text>: "<value>" (<also on line> 3)",
// with the texts of the keys from `text_of`.
std::string plan_problem_text(const std::string& file_name, const PlanProblem& problem,
                              const std::function<std::string(const std::string& key)>& text_of);
