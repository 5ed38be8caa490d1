// A plan file: any bytes, as a spreadsheet or a hand (or a hostile one)
// could write them, read and checked within small limits so the fuzzer
// reaches each of them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "batch/plan_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PlanLimits limits;
    limits.max_bytes = 4096;
    limits.csv.max_lines = 40;
    limits.csv.max_fields = 12;
    limits.csv.max_field_bytes = 64;
    DevicePlan plan;
    const std::vector<PlanProblem> problems =
        read_plan_text(std::string_view(reinterpret_cast<const char*>(data), size), plan, limits);
    // A refused plan holds nothing; a sound one names each MAC once.
    if (!problems.empty() && !plan.entries.empty()) __builtin_trap();
    if (plan.by_mac().size() != plan.entries.size()) __builtin_trap();
    for (const PlanProblem& problem : problems)
        (void)plan_problem_text("plan.csv", problem, [](const std::string& key) { return key; });
    return 0;
}
