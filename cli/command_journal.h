#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "batch/device_table.h"
#include "batch/job_journal.h"
#include "batch/job_outcome.h"

// A device no job was given (yet), as the output and the report list it,
// with its planned values when `plan` names it.
DeviceRow unworked_row(const ListedDevice& device, const char* reason, const PlannedByMac& plan = {});

// The report of one "tervane-cli batch" command kept on disk while its waves
// run: the waves that ended as they ended, the running one as its engine
// knows it, the devices of later waves as waiting. Called on the command's
// thread; the journal's own thread does the writing.
class CommandJournal {
public:
    // `settled` holds the job's header (firmware, steps, start); `selected`
    // every device of the command, in the order the waves take them, with
    // their planned values from `plan`; `unlisted` the planned devices that
    // discovery did not list, which every report lists last.
    CommandJournal(const std::string& base, const JobOutcome& settled,
                   const std::vector<ListedDevice>& selected, const PlannedByMac& plan = {},
                   std::vector<DeviceOutcome> unlisted = {});

    // A wave runs `job` over `table`; `settled` holds the devices of the
    // waves before it. `job` and `table` must stay until between_waves.
    void wave_running(const JobOutcome& settled, const CBatchJob& job, const CDeviceTable& table);
    // Between waves (the job of the last one is going away): `settled` holds
    // the devices of every wave so far.
    void between_waves(const JobOutcome& settled);
    // The command's report, written in place of the journal; "" or what went wrong.
    std::string finish(const JobOutcome& final);

private:
    std::vector<DeviceRow> waiting_from(std::size_t first) const;
    JobOutcome with_waiting(JobOutcome outcome, const std::vector<DeviceRow>& waiting) const;

    std::vector<DeviceRow> m_selected;  // as unworked rows
    std::vector<DeviceOutcome> m_unlisted;
    CJobJournal m_journal;
};
