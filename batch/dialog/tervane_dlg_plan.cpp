// The batch dialog's plan: a file that gives cameras their own values (the
// job buttons then use them for those cameras), and the list written out
// as such a file.
#include <set>

#include "batch/device_list_export.h"
#include "batch/dialog/batch_dlg_controls.h"
#include "batch/dialog/device_list_view.h"
#include "batch/dialog/tervane_dlg.h"
#include "batch/job_report_files.h"
#include "runtime/trace.h"
#include "ui/report_list.h"
#include "search/mac_text.h"

using namespace batch_dlg;

namespace {

constexpr const char* kPlanFilter = "plan files(*.csv)|*.csv||";
// A message box names at most this many problems, then how many more.
constexpr std::size_t kProblemsShown = 12;

std::string file_name_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void CtervaneDlg::on_load_plan() {
    const std::optional<std::string> path = choose_file(kPlanFilter, "csv");
    if (!path) return;
    DevicePlan plan;
    const std::vector<PlanProblem> problems = read_plan_file(*path, plan);
    if (!problems.empty()) {
        show_plan_problems(*path, problems);
        return;
    }
    TRACE_MSG("CtervaneDlg::on_load_plan", "plan %s: %zu cameras\n", path->c_str(), plan.entries.size());
    m_plan = std::move(plan);
    m_table.set_plan(m_plan.by_mac());
    show_planned_columns(*report_list(IDC_LIST_DEVICES), true);
    update_controls();
    show_device_table();
}

void CtervaneDlg::show_plan_problems(const std::string& path, const std::vector<PlanProblem>& problems) {
    std::string text = lang("IDS_PLAN_REFUSED") + "\n";
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i)
        text += "\n" + plan_problem_text(file_name_of(path), problems[i],
                                         [this](const std::string& key) { return lang(key); });
    if (problems.size() > kProblemsShown) text += "\n... +" + std::to_string(problems.size() - kProblemsShown);
    message_box_text(text, "IDS_ERROR");
}

void CtervaneDlg::on_export_list() {
    const std::optional<std::string> path = choose_save_file(kPlanFilter, "csv", "devices.csv");
    if (!path) return;
    const std::string error = write_file_whole(*path, device_list_csv(m_table.rows()));
    if (!error.empty()) message_box_text(lang("IDS_EXPORT_FAILED") + "\n" + error, "IDS_ERROR");
}

bool CtervaneDlg::planned_addresses_free() {
    if (!m_table.has_plan()) return true;
    std::vector<std::pair<std::string, std::string>> listed;
    for (const DeviceRow& row : m_table.rows()) listed.emplace_back(row.mac, row.ip);
    const std::vector<PlanProblem> conflicts = plan_address_conflicts(m_plan, listed);
    if (conflicts.empty()) return true;
    show_plan_problems(m_plan.path, conflicts);
    return false;
}

std::vector<DeviceOutcome> CtervaneDlg::unlisted_planned() const {
    std::vector<DeviceOutcome> unlisted;
    if (!m_table.has_plan()) return unlisted;
    std::set<std::string> listed;
    for (const DeviceRow& row : m_table.rows())
        if (std::optional<std::string> mac = normalise_mac(row.mac)) listed.insert(*mac);
    for (const PlanEntry& entry : m_plan.entries)
        if (listed.count(entry.mac) == 0) unlisted.push_back(unlisted_device(entry.mac, entry.values));
    return unlisted;
}
