#include <gtest/gtest.h>

#include <atomic>

#include "batch/device_table.h"
#include "batch/job_display.h"
#include "batch/job_report.h"
#include "batch/report_queue.h"
#include "runtime/trace.h"

namespace {

// The engine traces freely; these tests read results, not trace lines.
class QuietTrace : public ::testing::Environment {
    void SetUp() override { set_trace_sink(&trace_null_sink, nullptr); }
};
::testing::Environment* const quiet_trace = ::testing::AddGlobalTestEnvironment(new QuietTrace);

CDeviceTable::TextLookup keys_as_text() {
    return [](const std::string& key) { return "<" + key + ">"; };
}

ListedDevice device(const std::string& mac, const std::string& ip, std::int32_t type = 5) {
    ListedDevice d;
    d.mac = mac;
    d.ip = ip;
    d.cmd_port = 8000;
    d.software_ver = "1.0.0";
    d.board_type = 0x1A2B;
    d.device_type = type;
    return d;
}

TEST(DeviceTable, RowsAreNumberedInArrivalOrderAndUpdatedInPlace) {
    CDeviceTable table(keys_as_text());
    table.update_dev_find_list(device("aa", "10.0.0.1"), true);
    table.update_dev_find_list(device("bb", "10.0.0.2"), true);
    table.set_checked(1, true);
    table.update_dev_find_list(device("bb", "10.0.0.9"), false);
    table.update_dev_find_list(device("zz", "10.0.0.7"), false);  // unknown MAC: nothing
    auto rows = table.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].index, "01");
    EXPECT_EQ(rows[1].index, "02");
    EXPECT_EQ(rows[1].ip, "10.0.0.9");
    EXPECT_TRUE(rows[1].checked);
    EXPECT_EQ(rows[0].port, "8000");
    EXPECT_EQ(rows[0].bid, "0x1a2b");
}

TEST(DeviceTable, GroupFlagFollowsTheLastRecord) {
    CDeviceTable table(keys_as_text());
    table.update_dev_find_list(device("aa", "10.0.0.1", 19), true);
    EXPECT_EQ(table.group1_of(0), 1);
    table.update_dev_find_list(device("aa", "10.0.0.1", 20), false);
    EXPECT_EQ(table.group1_of(0), 0);
    table.update_dev_find_list(device("aa", "10.0.0.1", 200), false);
    EXPECT_EQ(table.group1_of(0), 1);
    table.update_dev_find_list(device("aa", "10.0.0.1", 2), false);
    EXPECT_EQ(table.group1_of(0), 1);
    EXPECT_EQ(table.group1_of(5), 0);  // no such row
}

TEST(DeviceTable, RowsBeyondTheLimitAreRefused) {
    CDeviceTable table(keys_as_text());
    for (int i = 0; i < CDeviceTable::kMaxRows + 5; ++i)
        table.update_dev_find_list(device("mac" + std::to_string(i), "10.0.1." + std::to_string(i)), true);
    EXPECT_EQ(table.row_count(), CDeviceTable::kMaxRows);
    EXPECT_EQ(table.rows().back().index, "100");
}

TEST(DeviceTable, EmptyVersionShowsTheUpgradeHintOnNativeDevicesOnly) {
    CDeviceTable table(keys_as_text());
    ListedDevice d = device("aa", "10.0.0.1");
    d.software_ver.clear();
    table.update_dev_find_list(d, true);
    EXPECT_EQ(table.rows()[0].results[COL_UPGRADE - COL_NETWORK], "<IDS_NEED_UPDATE_FIRST>");
    // An ONVIF camera without a version is one whose login failed: its note says so.
    ListedDevice camera;
    camera.protocol = DeviceProtocol::onvif;
    camera.endpoint = "urn:uuid:1";
    camera.ip = "10.0.0.2";
    camera.note = "login refused";
    table.update_dev_find_list(camera, true);
    EXPECT_EQ(table.rows()[1].results[COL_UPGRADE - COL_NETWORK], "");
    EXPECT_EQ(table.rows()[1].note, "login refused");
}

TEST(DeviceTable, SelectAllAndInvert) {
    CDeviceTable table(keys_as_text());
    for (const char* mac : {"a", "b", "c"}) table.update_dev_find_list(device(mac, mac), true);
    table.set_checked(0, true);
    table.set_checked(2, true);
    table.select_invert();
    auto rows = table.rows();
    EXPECT_FALSE(rows[0].checked);
    EXPECT_TRUE(rows[1].checked);
    EXPECT_FALSE(rows[2].checked);
    table.select_all();
    EXPECT_EQ(table.checked_count(), 3);
}

TEST(StatusTable, MarksAndMessagesLandInTheirColumns) {
    CDeviceTable table(keys_as_text());
    table.update_dev_find_list(device("aa", "10.0.0.1"), true);
    auto cell = [&](int column) { return table.rows()[0].results[column - COL_NETWORK]; };

    table.apply_status(0, 8);
    EXPECT_EQ(cell(COL_UPGRADE), kMarkDone);
    EXPECT_EQ(cell(COL_STATUS), "<IDS_UPGRADE_OK>");
    table.apply_status(0, 9);  // a failure never keeps the text of a success
    EXPECT_EQ(cell(COL_UPGRADE), kMarkFailed);
    EXPECT_EQ(cell(COL_STATUS), "<IDS_UPGRADE_FAILED>");
    table.apply_status(0, kStatusStoppedAfterFlash);  // a stop judges nothing: the mark stays
    EXPECT_EQ(cell(COL_UPGRADE), kMarkFailed);
    EXPECT_EQ(cell(COL_STATUS), "<IDS_STOPPED_AFTER_FLASH>");
    table.apply_status(0, 24);
    EXPECT_EQ(cell(COL_COMMAND), kMarkSkipped);
    table.apply_status(0, 13);
    EXPECT_EQ(cell(COL_NETWORK), kMarkFailed);
    table.apply_status(0, kStatusCount);  // outside the table: nothing
    table.apply_status(0, -1);
    EXPECT_EQ(cell(COL_NETWORK), kMarkFailed);

    table.apply_status(0, kStatusClearRow);
    for (int column = COL_NETWORK; column <= COL_STATUS; ++column) EXPECT_EQ(cell(column), " ");
    table.apply_status(7, 8);  // a row that does not exist
}

TEST(StatusTable, EveryCodeHasAtMostOneColumnAndItIsAResultColumn) {
    for (int code = 0; code < kStatusCount; ++code) {
        StatusEffect e = status_effect(code);
        if (e.column != -1) {
            EXPECT_GE(e.column, COL_NETWORK);
            EXPECT_LE(e.column, COL_SETTINGS);
            EXPECT_NE(e.mark, nullptr);
        }
    }
    EXPECT_STREQ(status_effect(29).message_key, "IDS_LOGIN_MAX_USER");
    EXPECT_EQ(status_effect(27).column, COL_SETTINGS);
}

TEST(ReportQueue, ProgressIsFoldedAndTheNotifierFiresOncePerBatch) {
    CReportQueue queue;
    std::atomic<int> wakeups{0};
    queue.set_notifier([&] { ++wakeups; });
    queue.push({REPORT_PROGRESS, 10});
    queue.push({REPORT_PROGRESS, 20});
    queue.push({REPORT_STATUS, report_pair(3, 8)});
    queue.push({REPORT_PROGRESS, 30});
    queue.push({REPORT_PROGRESS, 40});
    EXPECT_EQ(wakeups.load(), 1);
    auto reports = queue.drain();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].data, 20u);
    EXPECT_EQ(report_high(reports[1].data), 3);
    EXPECT_EQ(report_low(reports[1].data), 8);
    EXPECT_EQ(reports[2].data, 40u);
    queue.push({REPORT_FINISHED, 1});
    EXPECT_EQ(wakeups.load(), 2);
}

TEST(JobDisplay, ReportsUpdateBarCountAndRows) {
    CDeviceTable table(keys_as_text());
    table.update_dev_find_list(device("aa", "10.0.0.1"), true);
    JobDisplay display;
    EXPECT_EQ(handle_job_report({REPORT_PROGRESS, 40}, table, display), ReportAction::None);
    EXPECT_EQ(display.progress, 40);
    handle_job_report({REPORT_COUNT, report_pair(1, 4)}, table, display);
    EXPECT_EQ(display.count_text, "1/4");
    handle_job_report({REPORT_STATUS, report_pair(0, 17)}, table, display);
    EXPECT_EQ(table.rows()[0].results[COL_TIME - COL_NETWORK], kMarkDone);
    EXPECT_EQ(handle_job_report({REPORT_RUN_STATE, 0}, table, display), ReportAction::RunStateChanged);
    EXPECT_EQ(handle_job_report({REPORT_ALL_FINISHED, 0}, table, display), ReportAction::AllFinished);
    EXPECT_EQ(handle_job_report({42, 7}, table, display), ReportAction::None);
}

}  // namespace
