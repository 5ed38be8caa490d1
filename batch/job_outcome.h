#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "batch/device_table.h"
#include "batch/job_steps.h"

// What a job did to one device, as the job report lists it.
struct DeviceOutcome {
    std::string mac;
    DeviceProtocol protocol = DeviceProtocol::native;
    std::string ip_before;
    std::string ip_after;        // as listed when the job ended
    std::string version_before;
    std::string version_after;   // as discovery listed it when the job ended
    std::string marks[6];        // network, upgrade, logo, command, time, settings: as the list shows them
    std::string status;          // the last status text of the row
    std::int64_t started_at = 0; // system time in ms since the epoch; 0: never began
    std::int64_t ended_at = 0;
    int passes = 0;
    std::string not_worked_on;   // why the job never worked on the device; "" when it did
    std::string state;           // one of the kState... texts below
    bool already_current = false;  // it ran the firmware's version already: nothing was flashed
    // The device's own values when a plan named it, and, once its worker
    // ended (or the job never worked on it), whether it took each planned
    // value: its address as discovery lists it, the settings record for
    // DHCP, the UID step's answer. Nothing for a value not planned.
    std::optional<PlannedValues> planned;
    std::optional<bool> ip_took;
    std::optional<bool> dhcp_took;
    std::optional<bool> uid_took;
};

// Where a device stands in its job.
inline constexpr const char* kStateWaiting = "waiting";        // its worker has not begun yet
inline constexpr const char* kStateInProgress = "in progress"; // its worker runs
inline constexpr const char* kStateEnded = "ended";            // its worker ended
inline constexpr const char* kStateNotWorkedOn = "not worked on";

// One job (or the waves of one command) for the report: the firmware it
// flashed, the steps asked, and every device it was given.
struct JobOutcome {
    std::string firmware_path;    // "" without an upgrade
    std::string firmware_sha256;  // of the whole file, lower-case hex
    std::vector<std::string> steps;
    std::int64_t started_at = 0;
    std::int64_t ended_at = 0;    // 0 while the job runs
    std::int64_t updated_at = 0;  // when this state of the report was taken
    bool stopped = false;
    std::vector<DeviceOutcome> devices;
    std::string plan_path;        // the plan file of the job; "" without one
};

// Why a selected device was not worked on (English, kept in the report).
inline constexpr const char* kNoVersionReason = "no version";
inline constexpr const char* kNoFreeAddressReason = "no free address in the range";
inline constexpr const char* kNotStartedReason = "its worker did not start";
inline constexpr const char* kStoppedBeforeReason = "the job was stopped before its turn";
inline constexpr const char* kNotFoundReason = "not found";  // planned, but not listed

// Why the job left out a checked row.
std::string skipped_reason(const SkippedRow& skipped);

// The names of the steps set in the record, in the record's order.
std::vector<std::string> step_names(const JOB_STEPS& steps);

// Appends the devices of a job that has ended: each worker's device from the
// engine's runs and the table's final row, then the checked rows the job
// left out.
void add_job_devices(JobOutcome& outcome, const CBatchJob& job, const CDeviceTable& table);


// Appends the devices of a job that may still run, as the engine last knew
// them: results as the workers reported them, addresses and versions as the
// table lists them now. Safe on any thread while the job runs.
void add_live_job_devices(JobOutcome& outcome, const CBatchJob& job, const CDeviceTable& table);

// A device that was selected but never given to a job.
DeviceOutcome unworked_device(const DeviceRow& row, const std::string& reason);
// A device a plan names that discovery did not list.
DeviceOutcome unlisted_device(const std::string& mac, const PlannedValues& planned);
// A device that a later job of the same command will work on.
DeviceOutcome waiting_device(const DeviceRow& row);
