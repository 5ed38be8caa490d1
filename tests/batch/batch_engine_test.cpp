#include <sys/resource.h>
#include <unistd.h>

#include <random>

#include "batch_fixture.h"

namespace {

using BatchStart = BatchFixture;

TEST_F(BatchStart, NothingCheckedStartsNothingAndKeepsARunningJob) {
    FakeDevice offline;
    offline.login_default = NETWORK_ERR_NETWORK;
    add_device("127.0.0.2", offline);
    job.m_dostep.send_command = 1;
    ASSERT_EQ(start(), START_OK);
    ASSERT_TRUE(job.running());
    table.set_checked(0, false);
    EXPECT_EQ(start(), START_OK);
    EXPECT_TRUE(job.running());
}

TEST_F(BatchStart, RowWithoutVersionIsUncheckedAndSkipped) {
    add_device("127.0.0.2", {}, 5, "");
    int good = add_device("127.0.0.3");
    job.m_dostep.send_command = 1;
    ASSERT_EQ(start(), START_OK);
    EXPECT_EQ(job.worker_count(), 1);
    EXPECT_FALSE(table.row(0)->checked);
    wait_finished();
    EXPECT_TRUE(statuses(0).empty());
    EXPECT_EQ(statuses(good).front(), kStatusClearRow);
}

// The workers run at a lower priority than the thread that started the job,
// so a front end's thread gets the CPU first when a hundred of them start.
TEST_F(BatchStart, WorkersGiveWayToTheFrontEndThread) {
    add_device("127.0.0.2");
    job.m_dostep.send_command = 1;
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 1);
    EXPECT_GT(client.last_login_nice(), getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
}

TEST_F(BatchStart, RangeGivesTheLowestFreeAddressesInRowOrder) {
    for (int i = 2; i <= 4; ++i) add_device("127.0.0." + std::to_string(i));
    add_device("127.0.0.11");
    table.set_checked(3, false);
    job.m_dostep.change_auto_ip = 1;
    ASSERT_EQ(start("", "127.0.0.10", "127.0.0.29"), START_OK);
    EXPECT_EQ(job.worker_count(), 3);
    EXPECT_EQ(job.new_ip(0), "127.0.0.10");
    EXPECT_EQ(job.new_ip(1), "127.0.0.12");  // .11 is listed
    EXPECT_EQ(job.new_ip(2), "127.0.0.13");
    wait_finished();
}

TEST_F(BatchStart, RefusalsStartNoWorker) {
    add_device("127.0.0.2");
    add_device("127.0.0.3");
    job.m_dostep.change_auto_ip = 1;
    EXPECT_EQ(start("", "127.0.0.2", "127.0.0.3"), START_ALL_IP_CONFLICT);
    EXPECT_FALSE(job.running());

    job.m_dostep = JOB_STEPS{};
    job.m_dostep.change_password = 1;
    params.default_password = std::string(32, 'x');
    EXPECT_EQ(start(), START_PASSWORD_TOO_LONG);
    params.default_password = std::string(31, 'x');
    EXPECT_EQ(start(), START_OK);
    job.stop_job();

    job.m_dostep = JOB_STEPS{};
    job.m_dostep.change_UID = 1;
    for (const char* uid : {"", "abc; reboot", "a b", "$(id)", "x>y", "a`b`"}) {
        params.uid = uid;
        EXPECT_EQ(start(), START_BAD_UID) << uid;
    }
    params.uid = "tuya-AB_12.c";
    EXPECT_EQ(start(), START_OK);
    wait_finished();
    EXPECT_EQ(client.open_logins(), 0);
}

using BatchWorkerFrame = BatchFixture;

TEST_F(BatchWorkerFrame, RefusedUserEndsThatDeviceWhileTheJobWaitsForTheOthers) {
    FakeDevice refusing;
    refusing.login_default = NETWORK_ERR_USER;
    int bad = add_device("127.0.0.2", refusing);
    FakeDevice slow;  // needs a few attempts
    slow.login_results = {NETWORK_ERR_NETWORK, NETWORK_ERR_NETWORK, NETWORK_ERR_NETWORK};
    int good = add_device("127.0.0.3", slow);
    job.m_dostep.send_command = 1;
    params.command = "ls";
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    EXPECT_EQ(statuses(bad), (std::vector<int>{28, 15, 0, 21, 24, 18, 27}));
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 1);
    EXPECT_TRUE(contains(statuses(good), 23));
    EXPECT_EQ(count_kind(REPORT_FINISHED), 2);
    EXPECT_EQ(count_kind(REPORT_ALL_FINISHED), 1);
    EXPECT_EQ(count_kind(REPORT_PROGRESS), 0);  // no upgrade, no progress
}

TEST_F(BatchWorkerFrame, BusyAndMaxUserEndAtOnceWithTheirStatus) {
    FakeDevice busy, full;
    busy.login_default = NETWORK_ERR_BUSY;
    full.login_default = NETWORK_ERR_MAX_USER;
    int b = add_device("127.0.0.2", busy);
    int f = add_device("127.0.0.3", full);
    job.m_dostep.change_time_sync = 1;
    start();
    wait_finished();
    EXPECT_EQ(statuses(b).back(), 7);
    EXPECT_EQ(statuses(f).back(), 29);
}

TEST_F(BatchWorkerFrame, OfflineDeviceTriesTenPassesOfTenThenReportsLoginFailure) {
    FakeDevice offline;
    offline.login_default = NETWORK_ERR_NETWORK;
    int row = add_device("127.0.0.2", offline);
    job.m_dostep.change_time_zone = 1;
    start();
    wait_finished();
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 100);
    std::vector<int> codes = statuses(row);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 1), 1);
    EXPECT_FALSE(contains(codes, 13));
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 27), 10);  // one "—" set per pass
}

TEST_F(BatchWorkerFrame, OfflineDeviceWithANewAddressReportsChangeIpFailure) {
    FakeDevice offline;
    offline.login_default = NETWORK_ERR_NETWORK;
    int row = add_device("127.0.0.2", offline);
    add_device("127.0.0.3");  // the other device of the job; its new address answers nothing either
    job.m_dostep.change_auto_ip = 1;
    job.m_dostep.change_time_sync = 1;
    start("", "127.0.0.20", "127.0.0.21");
    wait_finished();
    std::vector<int> codes = statuses(row);
    EXPECT_TRUE(contains(codes, 13));
    EXPECT_FALSE(contains(codes, 1));
    EXPECT_EQ(client.login_attempts("127.0.0.20"), 100);
}

TEST_F(BatchWorkerFrame, AutoIpAloneSendsThreeChangesAndEndsWithoutLogin) {
    int row = add_device("127.0.0.2");
    job.m_dostep.change_auto_ip = 1;
    start("", "127.0.0.50", "127.0.0.50");
    wait_finished();
    auto changes = discovery.port_changes();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].mac, "mac-127.0.0.2");
    EXPECT_EQ(changes[0].ip, "127.0.0.50");
    EXPECT_EQ(client.login_attempts("127.0.0.50") + client.login_attempts("127.0.0.2"), 0);
    EXPECT_EQ(count_kind(REPORT_IP_CHANGED), 0);
    EXPECT_EQ(statuses(row), (std::vector<int>{28, 14, 14, 14}));
    EXPECT_EQ(count_kind(REPORT_FINISHED, row), 1);
    EXPECT_TRUE(shell_lines.empty());
}

TEST_F(BatchWorkerFrame, IpChangeThatCouldNotBeSentIsReportedAsAFailure) {
    int row = add_device("127.0.0.2");
    discovery.set_change_result(1);  // no card could send it
    job.m_dostep.change_auto_ip = 1;
    start("", "127.0.0.50", "127.0.0.50");
    wait_finished();
    EXPECT_EQ(discovery.port_changes().size(), 3u);
    EXPECT_EQ(statuses(row), (std::vector<int>{28, 13}));
}

TEST_F(BatchWorkerFrame, IpChangeBarrierEmptiesTheNeighbourCacheOnceBeforeAnyLogin) {
    for (int i = 2; i <= 4; ++i) add_device("127.0.0." + std::to_string(i));
    for (int i = 2; i <= 4; ++i) client.add("127.0.0.3" + std::to_string(i), {});
    job.m_dostep.change_auto_ip = 1;
    job.m_dostep.change_time_sync = 1;
    start("", "127.0.0.32", "127.0.0.34");
    wait_finished();
    EXPECT_EQ(shell_lines, (std::vector<std::string>{"ip -4 neigh flush all", "ip -4 neigh show"}));
    EXPECT_EQ(count_kind(REPORT_IP_CHANGED), 3);
    for (int row = 0; row < 3; ++row) {
        std::vector<int> codes = statuses(row);
        EXPECT_TRUE(contains(codes, 10));
        EXPECT_TRUE(contains(codes, 17)) << "row " << row;
    }
}

TEST_F(BatchWorkerFrame, FixedNetworkSendsTheFieldsThatFitTheRequest) {
    add_device("127.0.0.2");
    params.net_ip = "127.0.0.99";
    params.net_mask = "255.255.255.0";
    params.net_gateway = std::string(31, '1');  // does not fit with its terminator
    job.m_dostep.change_ip = 1;
    start();
    wait_finished();
    auto changes = discovery.full_changes();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].ip, "127.0.0.99");
    EXPECT_EQ(changes[0].mask, "255.255.255.0");
    EXPECT_EQ(changes[0].gateway, "");
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 0);  // the change alone
}

class BatchUpgrade : public BatchFixture {
protected:
    // Lists `count` devices from 127.0.0.2 up that come back from their flash
    // with version 2.0.0.
    void add_flashing_devices(int count) {
        for (int i = 0; i < count; ++i) {
            FakeDevice d;
            d.version_after_flash = "2.0.0";
            add_device("127.0.0." + std::to_string(2 + i), d);
        }
        job.m_dostep.need_update = 1;
    }

    // Upgrades one scripted device to firmware 2.0.0; its status codes.
    std::vector<int> upgrade_one(const FakeDevice& device) {
        int row = add_device("127.0.0.2", device);
        job.m_dostep.need_update = 1;
        start(firmware(2, 0, 0));
        wait_finished();
        return statuses(row);
    }
};

TEST_F(BatchUpgrade, FlashedDevicesComeBackAndTheBarReachesAHundred) {
    add_flashing_devices(4);
    start(firmware(2, 0, 0));
    wait_finished();
    JobReport last_count{}, last_progress{};
    for (const JobReport& r : reports) {
        if (r.kind == REPORT_COUNT) last_count = r;
        if (r.kind == REPORT_PROGRESS) last_progress = r;
    }
    EXPECT_EQ(report_high(last_count.data), 4);
    EXPECT_EQ(report_low(last_count.data), 4);
    EXPECT_EQ(last_progress.data, 100u);
    for (int row = 0; row < 4; ++row) {
        std::vector<int> codes = statuses(row);
        EXPECT_TRUE(contains(codes, 6));
        EXPECT_TRUE(contains(codes, 11));
        EXPECT_TRUE(contains(codes, 8));
        EXPECT_FALSE(contains(codes, 9));
        EXPECT_EQ(client.controls("127.0.0." + std::to_string(row + 2)),
                  (std::vector<std::vector<int>>{{DEVICE_CTRL_LIGHT, 0, 1, 1}, {DEVICE_CTRL_LIGHT, 0, 0, 1}}));
    }
    EXPECT_EQ(client.open_logins(), 0);
    EXPECT_EQ(client.open_transfers(), 0);
}

TEST_F(BatchUpgrade, VersionThatDoesNotMatchAfterTheFlashIsMarkedFailed) {
    FakeDevice d;
    d.version_after_flash = "1.9.9";
    std::vector<int> codes = upgrade_one(d);
    EXPECT_TRUE(contains(codes, 8));
    EXPECT_TRUE(contains(codes, 9));
}

// A camera whose new version is heard only when the front end searches: the
// verdict's wait asks for searches, gets its version and stops asking.
TEST_F(BatchUpgrade, TheVerdictWaitAsksTheFrontEndToSearchUntilTheVersionIsHeard) {
    std::atomic<int> searches{0};
    int row = add_device("127.0.0.2");
    job.verdict_search().start([&] {
        ++searches;
        DeviceRow listed = *table.row(row);
        table.update_dev_find_list({listed.mac, listed.ip, 8000, "2.0.0", 0x10, 5}, false);
    });
    job.m_dostep.need_update = 1;
    start(firmware(2, 0, 0));
    wait_finished();
    EXPECT_TRUE(contains(statuses(row), 8));
    EXPECT_FALSE(contains(statuses(row), 9));
    EXPECT_GE(searches.load(), 1);
    EXPECT_EQ(job.verdict_search().waiting(), 0);
    const int after_job = searches.load();
    rt_sleep_ms(20000);
    EXPECT_EQ(searches.load(), after_job);  // nothing waits: no search
    job.verdict_search().stop();
}

// Nobody searches (a front end that sweeps on its own, or none): the camera
// never heard with its new version is marked failed after the wait.
TEST_F(BatchUpgrade, WithoutASearchTheUnheardVersionIsMarkedFailed) {
    std::vector<int> codes = upgrade_one(FakeDevice{});
    EXPECT_TRUE(contains(codes, 8));
    EXPECT_TRUE(contains(codes, 9));
    EXPECT_EQ(job.verdict_search().waiting(), 0);
}

TEST_F(BatchUpgrade, DeviceOnTheFirmwaresVersionIsDoneAtOnceAndItsOtherStepsStillRun) {
    FakeDevice d;
    d.start_upgrade_results.assign(10, NETWORK_ERR_UPGRADE_SAME_VERSION);
    int row = add_device("127.0.0.2", d, 5, "2.0.0");
    job.m_dostep.need_update = 1;
    job.m_dostep.change_time_zone = 1;
    start(firmware(2, 0, 0));
    wait_finished();
    std::vector<int> codes = statuses(row);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kStatusAlreadyCurrent), 1);
    for (int never : {2, 6, 7, 9, 11}) EXPECT_FALSE(contains(codes, never)) << never;
    EXPECT_TRUE(contains(codes, 26));  // the settings record with the time zone
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 1);
    EXPECT_EQ(client.open_logins(), 0);
    const StatusEffect effect = status_effect(kStatusAlreadyCurrent);
    EXPECT_EQ(effect.column, COL_UPGRADE);
    EXPECT_STREQ(effect.mark, kMarkDone);
    EXPECT_TRUE(job.device_runs()[0].already_current);
    JobReport last_progress{};
    for (const JobReport& r : reports)
        if (r.kind == REPORT_PROGRESS) last_progress = r;
    EXPECT_EQ(last_progress.data, 100u);  // counted as flashed and back
}

TEST_F(BatchUpgrade, SameVersionRefusalThatTheListContradictsIsSilentUntilTheLastPass) {
    FakeDevice d;
    d.start_upgrade_results.assign(10, NETWORK_ERR_UPGRADE_SAME_VERSION);
    std::vector<int> codes = upgrade_one(d);  // listed with 1.0.0, the file is 2.0.0
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 2), 1);
    EXPECT_FALSE(contains(codes, kStatusAlreadyCurrent));
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 10);
    EXPECT_EQ(client.open_logins(), 0);
    EXPECT_FALSE(job.device_runs()[0].already_current);
}

TEST_F(BatchUpgrade, BoardTypeRefusalOfADeviceOnTheFirmwaresVersionStaysAFailure) {
    FakeDevice d;
    d.start_upgrade_results.assign(10, NETWORK_ERR_UPGRADE_BOARD_TYPE);
    int row = add_device("127.0.0.2", d, 5, "2.0.0");
    job.m_dostep.need_update = 1;
    start(firmware(2, 0, 0));
    wait_finished();
    std::vector<int> codes = statuses(row);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 4), 1);
    EXPECT_FALSE(contains(codes, kStatusAlreadyCurrent));
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 10);
}

TEST_F(BatchUpgrade, InvalidFileEndsThePassesAtOnce) {
    FakeDevice d;
    d.start_upgrade_results = {NETWORK_ERR_UPGRADE_INVALID_FILE};
    EXPECT_TRUE(contains(upgrade_one(d), 3));
    EXPECT_EQ(client.login_attempts("127.0.0.2"), 1);
}

TEST_F(BatchUpgrade, ThreeFailedPollsAreToleratedTheFourthStopsTheTransfer) {
    FakeDevice tolerant;
    tolerant.failed_polls = 3;
    tolerant.version_after_flash = "2.0.0";
    int ok = add_device("127.0.0.2", tolerant);
    FakeDevice failing;
    failing.failed_polls = 4;
    failing.version_after_flash = "2.0.0";
    int retried = add_device("127.0.0.3", failing);
    job.m_dostep.need_update = 1;
    start(firmware(2, 0, 0));
    wait_finished();
    EXPECT_TRUE(contains(statuses(ok), 8));
    EXPECT_FALSE(contains(statuses(ok), 7));
    std::vector<int> codes = statuses(retried);
    EXPECT_TRUE(contains(codes, 7));
    EXPECT_TRUE(contains(codes, 8));  // the next pass flashed it
    EXPECT_EQ(client.login_attempts("127.0.0.3"), 3);  // failed pass, new pass, second login
}

TEST_F(BatchUpgrade, GroupOneDeviceIsNotWaitedForAfterTheFlash) {
    FakeDevice d;
    d.disconnect_after_flash = false;  // would hold a normal device until the bound
    d.version_after_flash = "2.0.0";
    int row = add_device("127.0.0.2", d, 19);
    job.m_dostep.need_update = 1;
    std::atomic<std::int64_t> slept{0};
    static std::atomic<std::int64_t>* total = nullptr;
    total = &slept;
    rt_set_sleep_observer([](std::int64_t ms) { *total += ms; });
    start(firmware(2, 0, 0));
    wait_finished();
    rt_set_sleep_observer(nullptr);
    EXPECT_TRUE(contains(statuses(row), 8));
    // No 40 s wait and no disconnect wait: only the login pauses and random waits.
    EXPECT_LT(slept.load(), 20000);
}

TEST_F(BatchUpgrade, DeviceThatNeverDisconnectsIsWaitedForBoundedTime) {
    FakeDevice d;
    d.disconnect_after_flash = false;
    d.version_after_flash = "2.0.0";
    int row = add_device("127.0.0.2", d);
    job.m_dostep.need_update = 1;
    start(firmware(2, 0, 0));
    wait_finished();
    EXPECT_TRUE(contains(statuses(row), 8));
}

// The verdict judges the file as it was when the job started: moving or
// deleting it while the cameras flash changes nothing.
TEST_F(BatchUpgrade, FirmwareFileMovedDuringTheJobKeepsTheVerdict) {
    add_flashing_devices(2);
    std::string fw = firmware(2, 0, 0);
    start(fw);
    std::filesystem::remove(fw);
    wait_finished();
    for (int row = 0; row < 2; ++row) {
        EXPECT_TRUE(contains(statuses(row), 8)) << row;
        EXPECT_FALSE(contains(statuses(row), 9)) << row;
    }
}

// After the flash a host answers for the camera (its MAC, the new version in
// discovery) but cannot prove the password: the login is refused, and the
// camera is not taken for upgraded.
TEST_F(BatchUpgrade, HostAnsweringForAFlashedCameraIsNoSuccess) {
    FakeDevice d;
    d.version_after_flash = "2.0.0";
    d.login_results = {0};
    d.login_default = NETWORK_ERR_PASSWORD;
    std::vector<int> codes = upgrade_one(d);
    EXPECT_FALSE(contains(codes, 8));
    EXPECT_TRUE(contains(codes, 9));
}

// A camera that comes back only after the second login's budget is marked
// failed at first, and upgraded once a later pass reaches it.
TEST_F(BatchUpgrade, LateCameraIsConfirmedByALaterPass) {
    FakeDevice d;
    d.version_after_flash = "2.0.0";
    d.offline_after_flash = true;
    int row = add_device("127.0.0.2", d);
    job.m_dostep.need_update = 1;
    rt_set_time_speed(100);  // the later passes' logins leave time to bring it back
    start(firmware(2, 0, 0));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!contains(statuses(row), 9) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        collect();
    }
    client.bring_back("127.0.0.2");
    wait_finished();
    std::vector<int> codes = statuses(row);
    auto failed = std::find(codes.begin(), codes.end(), 9);
    ASSERT_NE(failed, codes.end());
    EXPECT_NE(std::find(failed, codes.end(), 8), codes.end());
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 8), 1);
    EXPECT_EQ(client.controls("127.0.0.2").size(), 2u);  // one blink, for the confirmation
}

using BatchStop = BatchFixture;

// Devices that take the connection and never answer: a stop gives their
// calls up at once, and rows the job never got to say so, without a "×".
TEST_F(BatchStop, StopGivesUpHungLoginsAndMarksTheRowsStopped) {
    for (int i = 2; i <= 4; ++i) {
        FakeDevice d;
        d.hang_after_logins = 0;
        add_device("127.0.0." + std::to_string(i), d);
    }
    job.m_dostep.need_update = 1;
    job.m_dostep.change_time_sync = 1;
    start(firmware(2, 0, 0));
    stop_when_hanging(3);
    EXPECT_EQ(client.aborted_calls(), 3);
    for (int row = 0; row < 3; ++row) {
        std::vector<int> codes = statuses(row);
        EXPECT_EQ(codes.back(), kStatusStopped) << row;
        EXPECT_FALSE(contains(codes, 9)) << row;
        EXPECT_FALSE(contains(codes, 16)) << row;
        EXPECT_EQ(count_kind(REPORT_FINISHED, row), 1) << row;
    }
}

// Stopped while waiting for a flashed camera to come back: the row tells
// that the firmware went out, neither "√" nor "×".
TEST_F(BatchStop, StopAfterTheFlashSaysTheFirmwareWasSent) {
    FakeDevice d;
    d.version_after_flash = "2.0.0";
    d.hang_after_logins = 1;  // the login after the flash hangs
    int row = add_device("127.0.0.2", d);
    job.m_dostep.need_update = 1;
    start(firmware(2, 0, 0));
    stop_when_hanging(1);
    std::vector<int> codes = statuses(row);
    EXPECT_EQ(codes.back(), kStatusStoppedAfterFlash);
    EXPECT_FALSE(contains(codes, 8));
    EXPECT_FALSE(contains(codes, 9));
    EXPECT_EQ(client.open_logins(), 0);
}

// A request the device never answers is given up as well; the step it
// belonged to is not marked failed.
TEST_F(BatchStop, StopGivesUpAHungRequest) {
    FakeDevice d;
    d.hung_commands = {NETWORK_CMD_SET_TIME};
    int row = add_device("127.0.0.2", d);
    job.m_dostep.change_time_sync = 1;
    start();
    stop_when_hanging(1);
    EXPECT_EQ(client.aborted_calls(), 1);
    std::vector<int> codes = statuses(row);
    EXPECT_FALSE(contains(codes, 16));
    EXPECT_EQ(codes.back(), kStatusStopped);
    EXPECT_EQ(client.open_logins(), 0);
}

TEST_F(BatchStop, StopDuringTransferAbortsItLogsOutAndEveryWorkerFinishesOnce) {
    client.set_progress_step(0);  // a transfer that never ends by itself
    for (int i = 2; i <= 6; ++i) add_device("127.0.0." + std::to_string(i));
    job.m_dostep.need_update = 1;
    start(firmware(2, 0, 0));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (client.open_transfers() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(client.open_transfers(), 5);
    job.stop_job();
    collect();
    EXPECT_FALSE(job.running());
    EXPECT_EQ(client.open_transfers(), 0);
    EXPECT_EQ(client.stopped_transfers(), 5);
    EXPECT_EQ(client.open_logins(), 0);
    for (int row = 0; row < 5; ++row) EXPECT_EQ(count_kind(REPORT_FINISHED, row), 1);
}

TEST_F(BatchStop, StopAtRandomMomentsEndsEveryWorkerAndLeaksNothing) {
    std::mt19937 random(12345);
    for (int i = 2; i <= 9; ++i) {
        FakeDevice d;
        d.version_after_flash = "2.0.0";
        d.login_results = {NETWORK_ERR_NETWORK};
        add_device("127.0.0." + std::to_string(i), d);
    }
    params.logo_path = temp_file("logo.jpg", std::vector<unsigned char>(3000, 7));
    std::string fw = firmware(2, 0, 0);
    for (int round = 0; round < 12; ++round) {
        job.m_dostep = JOB_STEPS{};
        job.m_dostep.need_update = 1;
        job.m_dostep.change_logo = 1;
        job.m_dostep.change_auto_ip = round % 3 == 0;
        job.m_dostep.change_time_sync = 1;
        for (int i = 2; i <= 9; ++i) client.add("127.0.0.6" + std::to_string(i), {});
        table.select_all();
        reports.clear();
        ASSERT_EQ(start(fw, "127.0.0.62", "127.0.0.69"), START_OK);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
        job.stop_job();
        collect();
        EXPECT_FALSE(job.running());
        EXPECT_EQ(client.open_logins(), 0) << "round " << round;
        EXPECT_EQ(client.open_transfers(), 0) << "round " << round;
        EXPECT_EQ(count_kind(REPORT_FINISHED), job.worker_count()) << "round " << round;
    }
}

TEST_F(BatchStop, UnreadReportsNeverStallTheWorkers) {
    for (int i = 2; i <= 21; ++i) add_device("127.0.0." + std::to_string(i));
    job.m_dostep.send_command = 1;
    job.m_dostep.change_time_sync = 1;
    params.command = "ls";
    for (int round = 0; round < 5; ++round) {
        table.select_all();
        start();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (job.running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_FALSE(job.running());
    }
    EXPECT_GT(job.reports().size(), 5u * 20u * 4u);  // nobody read; everything is still there
}

TEST(BatchDeviceEvent, DisconnectClearsEverySlotHoldingTheHandle) {
    CDeviceTable table([](const std::string& key) { return key; });
    FakeDeviceClient client;
    FakeDiscovery discovery;
    CBatchJob job(table, client, discovery);
    job.set_dev_handle(0, 7);
    job.set_dev_handle(5, 7);
    job.set_dev_handle(6, 8);
    DEVICE_EVENT other{sizeof(DEVICE_EVENT), 0x10002, 0, 0};
    CBatchJob::check_DeviceEvent(7, &other, &job);
    EXPECT_EQ(job.dev_handle(0), 7);
    DEVICE_EVENT gone{sizeof(DEVICE_EVENT), EVENT_DISCONNECTED, 0, 0};
    CBatchJob::check_DeviceEvent(7, &gone, nullptr);  // no user: ignored
    EXPECT_EQ(job.dev_handle(0), 7);
    CBatchJob::check_DeviceEvent(7, &gone, &job);
    EXPECT_EQ(job.dev_handle(0), -1);
    EXPECT_EQ(job.dev_handle(5), -1);
    EXPECT_EQ(job.dev_handle(6), 8);
    EXPECT_EQ(CBatchJob::check_DeviceEvent(7, nullptr, &job), 0);
}

}  // namespace
