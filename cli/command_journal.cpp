#include "cli/command_journal.h"

DeviceRow unworked_row(const ListedDevice& device, const char* reason, const PlannedByMac& plan) {
    DeviceRow row;
    row.mac = device.mac;
    row.ip = device.ip;
    row.version = device.software_ver;
    row.results[COL_STATUS - COL_NETWORK] = reason;
    if (const PlannedValues* planned = planned_for(plan, device.mac)) row.planned = *planned;
    return row;
}

JobOutcome CommandJournal::with_waiting(JobOutcome outcome, const std::vector<DeviceRow>& waiting) const {
    for (const DeviceRow& row : waiting) outcome.devices.push_back(waiting_device(row));
    outcome.devices.insert(outcome.devices.end(), m_unlisted.begin(), m_unlisted.end());
    return outcome;
}

CommandJournal::CommandJournal(const std::string& base, const JobOutcome& settled,
                               const std::vector<ListedDevice>& selected, const PlannedByMac& plan,
                               std::vector<DeviceOutcome> unlisted)
    : m_unlisted(std::move(unlisted)), m_journal(CJobJournal::Place{base, "", 0}) {
    for (const ListedDevice& device : selected) m_selected.push_back(unworked_row(device, "", plan));
    between_waves(settled);
}

std::vector<DeviceRow> CommandJournal::waiting_from(std::size_t first) const {
    if (first >= m_selected.size()) return {};
    return {m_selected.begin() + static_cast<std::ptrdiff_t>(first), m_selected.end()};
}

void CommandJournal::wave_running(const JobOutcome& settled, const CBatchJob& job,
                                  const CDeviceTable& table) {
    const std::size_t first = settled.devices.size();
    const std::size_t wave = static_cast<std::size_t>(table.row_count());
    m_journal.set_source(
        [this, settled, &job, &table, wave, now = waiting_from(first), later = waiting_from(first + wave)] {
            JobOutcome outcome = settled;
            add_live_job_devices(outcome, job, table);
            // Until the job has taken its devices they wait like the later ones.
            const bool taken = outcome.devices.size() > settled.devices.size();
            return with_waiting(std::move(outcome), taken ? later : now);
        },
        [&job] { return job.runs_generation(); });
}

void CommandJournal::between_waves(const JobOutcome& settled) {
    const JobOutcome outcome = with_waiting(settled, waiting_from(settled.devices.size()));
    m_journal.set_source([outcome] { return outcome; }, [] { return std::uint64_t{0}; });
}

std::string CommandJournal::finish(const JobOutcome& final) {
    m_journal.finish(final);
    return m_journal.wait();
}
