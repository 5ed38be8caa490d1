#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "batch/device_table.h"
#include "batch/dialog/batch_settings.h"
#include "batch/firmware_preflight.h"
#include "batch/job_journal.h"
#include "batch/job_display.h"
#include "batch/job_outcome.h"
#include "batch/plan_file.h"
#include "batch/search_link.h"
#include "discovery/discovery.h"
#include "search/camera_search.h"
#include "search/device_sessions.h"
#include "ui/dialog_base.h"

class FirmwareCheckTask;
class QueuedWakeup;

// What the batch dialog is wired to. The defaults are the real network: the
// protocols' discovery endpoints over real sockets and the host's addresses
// in the network-card combo. Tests point both searches at simulated cameras
// on loopback addresses.
struct BatchDialogOptions {
    DiscoveryOptions discovery;  // the native search; its card is the ONVIF sessions' too
    onvif::WsDiscoveryEndpoints onvif;
    IUdpTransport* transport = nullptr;  // null: real sockets (not owned)
    // The host addresses for the network-card combo; unset: the host's
    // non-loopback IPv4 interface addresses.
    std::function<std::vector<std::string>()> host_addresses;
    // Runs the neighbour-cache commands after an IP-change job; unset: the shell.
    ShellRunner shell_runner;
};

// The batch dialog: the discovered devices of both kinds (native and ONVIF)
// with a check box each, and one button per batch job. A thin front end over
// the batch engine: the device list shows the engine's device table (which
// the combined search keeps current), each job button validates its
// fields, fills the step flags and starts the job, and the job's reports are
// shown on the GUI thread. The object outlives one opening: closing stops
// the job and discovery, and the next opening starts afresh.
class CtervaneDlg : public ui::DialogBase {
    Q_OBJECT
public:
    explicit CtervaneDlg(QWidget* parent = nullptr, BatchDialogOptions options = {});
    ~CtervaneDlg() override;

    CDeviceTable& device_table() { return m_table; }
    CBatchJob& job() { return m_job; }
    CDiscovery& discovery() { return m_search.native(); }
    CCameraSearch& search() { return m_search; }
    bool running() const { return m_job.running(); }
    // The firmware file of a job is being checked; the job starts after.
    bool checking_firmware() const;
    // Returns once the fields stored by the last job button are on disk.
    void wait_for_saved_fields() { m_saver.wait(); }
    // Returns once the report of the job that ended last is on disk.
    void wait_for_job_report();
    int dev_type_filter() const { return m_dev_type_filter; }

    // Applies the enabling rules of the idle or running state.
    void update_controls();
    // Brings the device list in line with the device table now.
    void show_device_table();

protected:
    void on_init() override;
    bool on_close_request() override;

private:
    // Dialog start
    void fill_combos();
    void get_more_ip();
    void start_device_list();
    void connect_handlers();
    void connect_job_buttons();

    // Job buttons
    // What a job button asks for: the steps, the firmware file, the ends of
    // the range, and the ONVIF cameras' time server ("" : none).
    struct JobAsk {
        JOB_STEPS steps{};
        std::string path, start, end, ntp;
    };
    bool check_user_name();
    bool check_firmware_path(std::string& path);
    bool check_range(bool order_check, std::string& start, std::string& end);
    bool check_ntp_server(std::string& server);
    JobParams collect_job_params(const JobAsk& ask) const;
    StepCheckBoxes step_check_boxes() const;
    int run_job(const JobAsk& ask, const char* fail_key = "IDS_START_UPGRADE_FAIL");
    void show_start_refusal(const char* fail_key, int result);
    // A job with an upgrade: the file is checked off this thread first, and
    // the job runs only when it is sound.
    void check_firmware_then_run(const JobAsk& ask);
    void on_firmware_checked(const FirmwarePreflight& result);
    bool onvif_row_checked() const;

    // The job report under job_reports/: on disk from the job's start,
    // brought up to date as it runs, and final when it ends.
    void begin_job_report(const JOB_STEPS& steps, const std::string& path);
    void finish_job_report();
    void on_job_button(JobStepField step, bool user_check, const char* fail_key = "IDS_START_UPGRADE_FAIL");
    void on_upgrade();
    void on_set_range();
    void on_set_network();
    void on_set_time_format();
    void on_set_ntp();
    void on_start();

    // Plans: a file of cameras, each with its own values, and the list as one.
    void on_load_plan();
    void on_export_list();
    void show_plan_problems(const std::string& path, const std::vector<PlanProblem>& problems);
    // False (after saying why) when a planned address is another listed device's.
    bool planned_addresses_free();
    // The planned devices the list lacks: "not found" in the job's report.
    std::vector<DeviceOutcome> unlisted_planned() const;

    // Other handlers
    void on_refresh();
    void on_add_by_address();
    // The search reads ONVIF cameras' identity with the job's login.
    void update_search_login();
    void on_device_type_changed();
    void on_browse(int edit_id, const char* filter, const char* suffix);
    void on_stop();
    void on_set_network_box();
    void on_dhcp_box();
    void on_row_check_toggled(int row, bool checked);

    // Reports
    bool busy() const;
    void process_reports();
    void apply_report(const JobReport& report);
    void show_job_display();
    void shut_down();

    BatchDialogOptions m_options;
    CDeviceTable m_table;
    std::shared_ptr<SharedLogin> m_search_login;  // read by the search's identity workers
    CCameraSearch m_search;
    CSearchLink m_search_link;
    CKaltroDeviceClient m_client;
    CBatchJob m_job;

    int m_dev_type_filter = 0;
    JobDisplay m_display;
    std::deque<JobReport> m_pending_reports;
    bool m_showing_table = false;
    bool m_open = false;
    QueuedWakeup* m_discovery_wakeup = nullptr;  // one per opening
    QueuedWakeup* m_job_wakeup = nullptr;

    FirmwareCheckTask* m_firmware_check = nullptr;
    JobAsk m_pending_job;  // the job waiting for its firmware check
    FirmwarePreflight m_firmware;  // of the running job's file

    DevicePlan m_plan;          // the loaded plan; no entries when none is
    std::vector<DeviceOutcome> m_unlisted;  // the running job's planned devices not listed
    JobOutcome m_outcome;       // the running job's report, filled when it ends
    bool m_outcome_due = false;
    // Writes the report on a thread of its own; declared after the engine,
    // whose state it reads, so it goes first.
    std::unique_ptr<CJobJournal> m_journal;
    QueuedWakeup* m_report_failed = nullptr;  // one per opening
    batch_settings::BackgroundSaver m_saver;
};
