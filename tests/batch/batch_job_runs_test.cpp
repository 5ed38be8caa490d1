// What the engine keeps of each device of a job (for the job report), the
// rows it leaves out, and two faults of the engine's bookkeeping: a worker
// whose thread cannot be created, and reports posted under the job lock.
#include <future>

#include "batch/job_display.h"
#include "batch/job_outcome.h"

#include "batch_fixture.h"

namespace {

using BatchRuns = BatchFixture;

TEST_F(BatchRuns, EachWorkerKeepsItsDeviceTimesAndPasses) {
    FakeDevice slow;
    slow.config_answers[NETWORK_CMD_SHELL] = {NETWORK_ERR_NETWORK, NETWORK_ERR_NETWORK};  // two repeated passes
    add_device("127.0.0.2");
    add_device("127.0.0.3", slow, 5, "V1.2.3");
    job.m_dostep.send_command = 1;
    params.command = "ls";
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    std::vector<DeviceRun> runs = job.device_runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].row, 0);
    EXPECT_EQ(runs[0].mac, "mac-127.0.0.2");
    EXPECT_EQ(runs[1].ip_before, "127.0.0.3");
    EXPECT_EQ(runs[1].version_before, "V1.2.3");
    EXPECT_EQ(runs[0].passes, 1);
    EXPECT_EQ(runs[1].passes, 3);
    for (const DeviceRun& run : runs) {
        EXPECT_GT(run.started_at, 0);
        EXPECT_GE(run.ended_at, run.started_at);
    }
    // Still there after the job ended, until the next one starts.
    job.stop_job();
    EXPECT_EQ(job.device_runs().size(), 2u);
}

TEST_F(BatchRuns, CheckedRowsTheJobLeavesOutAreNamedWithTheirReason) {
    add_device("127.0.0.2", {}, 5, "");  // no version
    for (int i = 3; i <= 5; ++i) add_device("127.0.0." + std::to_string(i));
    job.m_dostep.change_auto_ip = 1;
    ASSERT_EQ(start("", "127.0.0.40", "127.0.0.41"), START_OK);  // two addresses for three devices
    wait_finished();
    std::vector<SkippedRow> skipped = job.skipped_rows();
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(skipped[0].row, 0);
    EXPECT_EQ(skipped[0].reason, SkippedRow::NoVersion);
    EXPECT_EQ(skipped[1].row, 3);
    EXPECT_EQ(skipped[1].reason, SkippedRow::NoFreeAddress);
    EXPECT_EQ(job.worker_count(), 2);
}

TEST_F(BatchRuns, OutcomeListsWorkedDevicesWithTheirFinalRowsThenTheOnesLeftOut) {
    FakeDevice refusing;
    refusing.login_default = NETWORK_ERR_PASSWORD;
    add_device("127.0.0.2", {}, 5, "");
    add_device("127.0.0.3");
    add_device("127.0.0.4", refusing);
    job.m_dostep.send_command = 1;
    params.command = "ls";
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    JobDisplay display;
    for (const JobReport& report : reports) handle_job_report(report, table, display);  // as a front end does
    JobOutcome outcome;
    add_job_devices(outcome, job, table);
    ASSERT_EQ(outcome.devices.size(), 3u);
    const DeviceOutcome& done = outcome.devices[0];
    EXPECT_EQ(done.mac, "mac-127.0.0.3");
    EXPECT_EQ(done.marks[COL_COMMAND - COL_NETWORK], kMarkDone);
    EXPECT_EQ(done.marks[COL_NETWORK - COL_NETWORK], kMarkSkipped);
    EXPECT_EQ(done.status, "IDS_SEND_COMMAND_SUCCESS");
    EXPECT_EQ(done.not_worked_on, "");
    EXPECT_EQ(outcome.devices[1].status, "IDS_USER_NAME_NOT_EXIST");
    EXPECT_EQ(outcome.devices[1].passes, 1);
    EXPECT_EQ(outcome.devices[2].mac, "mac-127.0.0.2");
    EXPECT_EQ(outcome.devices[2].not_worked_on, kNoVersionReason);
    EXPECT_EQ(step_names(job.steps()), std::vector<std::string>{"command"});
}

TEST_F(BatchRuns, LiveOutcomeFollowsTheWorkersWithoutAFrontEnd) {
    FakeDevice hung;
    hung.hang_after_logins = 0;  // its first login never answers
    add_device("127.0.0.2");
    add_device("127.0.0.3", hung);
    add_device("127.0.0.4", {}, 5, "");  // no version: left out
    job.m_dostep.send_command = 1;
    params.command = "ls";
    const std::uint64_t before = job.runs_generation();
    ASSERT_EQ(start(), START_OK);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (job.device_runs()[0].ended_at == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // No report was handed to the table: the engine's own state is read.
    JobOutcome live;
    add_live_job_devices(live, job, table);
    ASSERT_EQ(live.devices.size(), 3u);
    EXPECT_EQ(live.devices[0].state, kStateEnded);
    EXPECT_EQ(live.devices[0].marks[COL_COMMAND - COL_NETWORK], kMarkDone);
    EXPECT_EQ(live.devices[0].status, "IDS_SEND_COMMAND_SUCCESS");
    EXPECT_EQ(live.devices[0].passes, 1);
    EXPECT_EQ(live.devices[1].state, kStateInProgress);
    EXPECT_EQ(live.devices[1].ended_at, 0);
    EXPECT_EQ(live.devices[2].state, kStateNotWorkedOn);
    EXPECT_EQ(live.devices[2].not_worked_on, kNoVersionReason);
    EXPECT_GT(job.runs_generation(), before);
    job.stop_job();  // the hung login is given up
    JobOutcome ended;
    add_live_job_devices(ended, job, table);
    EXPECT_EQ(ended.devices[1].state, kStateEnded);
    EXPECT_EQ(ended.devices[1].status, "IDS_JOB_STOPPED");
}

TEST_F(BatchRuns, WorkerWithoutAThreadNeitherHoldsTheBarrierNorCountsAsWorkedOn) {
    for (int i = 2; i <= 4; ++i) add_device("127.0.0." + std::to_string(i));
    for (int i = 2; i <= 4; ++i) client.add("127.0.0.3" + std::to_string(i), {});
    job.set_thread_gate([](int slot) { return slot != 1; });
    job.m_dostep.change_auto_ip = 1;
    job.m_dostep.change_time_sync = 1;
    ASSERT_EQ(start("", "127.0.0.32", "127.0.0.34"), START_OK);
    wait_finished();  // the other two went past the barrier by themselves
    EXPECT_EQ(count_kind(REPORT_FINISHED), 3);
    EXPECT_EQ(count_kind(REPORT_ALL_FINISHED), 1);
    EXPECT_TRUE(contains(statuses(0), 17));
    EXPECT_TRUE(contains(statuses(2), 17));
    EXPECT_EQ(client.login_attempts("127.0.0.33"), 0);
    EXPECT_EQ(job.device_runs()[1].started_at, 0);  // never began
    JobOutcome outcome;
    add_job_devices(outcome, job, table);
    EXPECT_EQ(outcome.devices[1].not_worked_on, kNotStartedReason);
}

// Takes the job lock from another thread while a notifier runs: it can only
// do so when the pushing thread does not hold it. The deadline only ends a
// wait that would otherwise never end.
class LockProbe {
public:
    explicit LockProbe(CBatchJob& job) : m_job(job) {}
    void probe() {
        if (m_blocked.load()) return;
        // Detached: a blocked probe gets the lock once the notifier returns.
        auto taken = std::make_shared<std::promise<void>>();
        std::future<void> done = taken->get_future();
        std::thread([this, taken] {
            m_job.finish_change_ip_count();
            taken->set_value();
        }).detach();
        if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) m_blocked.store(true);
        ++m_probes;
    }
    bool blocked() const { return m_blocked.load(); }
    int probes() const { return m_probes.load(); }

private:
    CBatchJob& m_job;
    std::atomic<bool> m_blocked{false};
    std::atomic<int> m_probes{0};
};

TEST_F(BatchRuns, ReportsAreNeverPostedWithTheJobLockHeld) {
    for (int i = 2; i <= 3; ++i) {
        FakeDevice d;
        d.version_after_flash = "2.0.0";
        add_device("127.0.0." + std::to_string(i), d);
    }
    LockProbe probe(job);
    // The notifier runs whenever a push makes the queue non-empty; draining
    // after each probe lets every report pass through it.
    job.reports().set_notifier([&] {
        probe.probe();
        std::vector<JobReport> drained = job.reports().drain();
        std::lock_guard<std::mutex> guard(shell_lock);
        reports.insert(reports.end(), drained.begin(), drained.end());
    });
    job.m_dostep.need_update = 1;
    ASSERT_EQ(start(firmware(2, 0, 0)), START_OK);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (job.running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    job.stop_job();
    job.reports().set_notifier(nullptr);
    EXPECT_FALSE(probe.blocked());
    EXPECT_GT(probe.probes(), 10);
    std::lock_guard<std::mutex> guard(shell_lock);
    EXPECT_EQ(count_kind(REPORT_ALL_FINISHED), 1);
    EXPECT_GT(count_kind(REPORT_PROGRESS), 0);
}

TEST(JobDisplayOrder, ProgressAndCountKeepTheirHighestValue) {
    CDeviceTable table([](const std::string& key) { return key; });
    JobDisplay display;
    handle_job_report({REPORT_PROGRESS, 47}, table, display);
    handle_job_report({REPORT_PROGRESS, 40}, table, display);  // counted earlier, posted later
    EXPECT_EQ(display.progress, 47);
    handle_job_report({REPORT_COUNT, report_pair(2, 4)}, table, display);
    handle_job_report({REPORT_COUNT, report_pair(1, 4)}, table, display);
    EXPECT_EQ(display.count_text, "2/4");
    handle_job_report({REPORT_PROGRESS, 100}, table, display);
    EXPECT_EQ(display.progress, 100);
}

}  // namespace
