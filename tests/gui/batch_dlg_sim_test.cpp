// The batch dialog against simulated cameras: discovery over loopback
// sockets, jobs through the dialog's own buttons over the real client
// library, time running 100 times faster.
#include <QProgressBar>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "batch/firmware_preflight.h"
#include "batch_dlg_fixture.h"

namespace {

class BatchDialogSimTest : public BatchDialogSimFixture {
protected:
    // Opens the dialog over `count` cameras and waits until all are listed.
    CtervaneDlg& open_with_listed_cameras(int count, std::int64_t reboot_ms = 3000) {
        CtervaneDlg& dlg = open_dialog_with_cameras(count, reboot_ms);
        EXPECT_TRUE(pump_until([&] { return list().row_count() == count; })) << list().row_count();
        dlg.set_text(IDC_EDIT_PASSWORD, "tovik");
        return dlg;
    }

    // Chooses a firmware file of `size` bytes with the browse button.
    void choose_firmware(std::uint64_t size) {
        ASSERT_TRUE(write_sim_firmware(m_firmware, size));
        files.answer_next(m_firmware);
        click(IDC_BTN_BROWSE_FW);
    }

    bool all_finished_shown() const { return box_shown("IDS_ALL_FINISH"); }

    // The first camera is being flashed or waited for (reports may pass
    // between two looks, so either message counts).
    bool upgrade_under_way() {
        const std::string status = list().cell(0, 12);
        return status == text_of("IDS_IS_UPGRADE") || status == text_of("IDS_WAIT_REBOOT");
    }
};

}  // namespace

TEST_F(BatchDialogSimTest, DiscoveredCamerasAreListedInArrivalOrder) {
    open_with_listed_cameras(10);
    std::vector<std::string> macs;
    for (int row = 0; row < 10; ++row) {
        char index[8];
        std::snprintf(index, sizeof index, "%02d", row + 1);
        EXPECT_EQ(list().cell(row, 0), index);
        EXPECT_EQ(list().cell(row, 3), "18700");
        EXPECT_EQ(list().cell(row, 4), "1.0.0");
        EXPECT_EQ(list().cell(row, 5), "0x20");
        macs.push_back(list().cell(row, 1));
    }
    std::vector<std::string> unique = macs;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());  // one row per camera
}

TEST_F(BatchDialogSimTest, FullUpgradeOfFiveCamerasThroughTheButtons) {
    CtervaneDlg& dlg = open_with_listed_cameras(5);
    choose_firmware(256 * 1024);
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    // The file is checked first (off this thread); the controls lock at once.
    EXPECT_FALSE(dlg.is_enabled(IDC_BTN_UPGRADE));
    ASSERT_TRUE(pump_until([&] { return dlg.running(); }));
    EXPECT_FALSE(dlg.is_enabled(IDC_BTN_UPGRADE));
    EXPECT_FALSE(dlg.is_enabled(IDC_LIST_DEVICES));
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_STOP));

    int highest_progress = 0;
    QObject::connect(dlg.control_as<QProgressBar>(IDC_PROGRESS), &QProgressBar::valueChanged,
                     [&](int value) { highest_progress = std::max(highest_progress, value); });
    ASSERT_TRUE(pump_until([&] { return all_finished_shown(); }, 120000));
    EXPECT_EQ(highest_progress, 100);
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(list().cell(row, 7), "\u221a") << row;
        EXPECT_EQ(list().cell(row, 12), text_of("IDS_UPGRADE_OK")) << row;
        EXPECT_EQ(list().cell(row, 4), "1.0.1") << row;  // heard again after the reboot
    }
    EXPECT_FALSE(dlg.running());
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_UPGRADE));
    EXPECT_FALSE(dlg.is_enabled(IDC_BTN_STOP));
    EXPECT_EQ(dlg.progress(IDC_PROGRESS), 0);
    const std::vector<std::string> texts = shown_texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), text_of("IDS_ALL_FINISH")), 1);
}

TEST_F(BatchDialogSimTest, StopBlanksTheUpgradeColumnAndTheJobEndsWithItsPrompt) {
    CtervaneDlg& dlg = open_with_listed_cameras(3, 600000);
    choose_firmware(8 * 1024 * 1024);
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    ASSERT_TRUE(pump_until([&] { return upgrade_under_way(); }));
    click(IDC_BTN_STOP);
    EXPECT_FALSE(dlg.running());
    for (int row = 0; row < 3; ++row) EXPECT_EQ(list().cell(row, 7), " ") << row;
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_UPGRADE));
    EXPECT_FALSE(dlg.is_enabled(IDC_BTN_STOP));
    // The workers' last reports, posted while they ended, are shown after.
    EXPECT_TRUE(pump_until([&] { return all_finished_shown(); }, 10000));
    const std::vector<std::string> reports = job_reports();
    ASSERT_EQ(reports.size(), 1u);
    std::ifstream file(reports[0] + ".json");
    const nlohmann::json report = nlohmann::json::parse(file);
    EXPECT_TRUE(report["stopped"]);
    EXPECT_EQ(report["devices"].size(), 3u);
}

TEST_F(BatchDialogSimTest, CloseDuringAJobAsksFirst) {
    CtervaneDlg& dlg = open_with_listed_cameras(3, 600000);
    choose_firmware(8 * 1024 * 1024);
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    ASSERT_TRUE(pump_until([&] { return upgrade_under_way(); }));

    boxes.answer_next(ui::MsgResult::Cancel);
    EXPECT_FALSE(dlg.close());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, text_of("IDS_QUIT_UPGRADE_CONFIRM"));
    EXPECT_EQ(boxes.shown()[0].title, text_of("IDS_PROMPT"));
    EXPECT_EQ(boxes.shown()[0].buttons, ui::MsgButtons::OkCancel);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.running());
    EXPECT_TRUE(dlg.discovery().started());

    boxes.answer_next(ui::MsgResult::Ok);
    EXPECT_TRUE(dlg.close());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.running());
    EXPECT_FALSE(dlg.discovery().started());
    // Nothing the stopped workers sent reaches the closed window.
    const std::string status = list().cell(0, 12);
    pump_for(300);
    EXPECT_EQ(list().cell(0, 12), status);
    EXPECT_FALSE(all_finished_shown());
    dialog.reset();  // with whatever was still queued for it
    pump_for(50);
    // The job ended by the close still has its report.
    ASSERT_EQ(job_reports().size(), 1u);
    std::ifstream file(job_reports()[0] + ".json");
    EXPECT_TRUE(nlohmann::json::parse(file)["stopped"]);
}

TEST_F(BatchDialogSimTest, TwentyCameraJobLeavesAReportThatAgreesWithTheCameras) {
    CtervaneDlg& dlg = open_with_listed_cameras(20);
    choose_firmware(256 * 1024);
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    ASSERT_TRUE(pump_until([&] { return all_finished_shown(); }, 180000));
    for (int row = 0; row < 20; ++row) EXPECT_EQ(list().cell(row, 7), "\u221a") << row;
    EXPECT_FALSE(dlg.running());

    const std::vector<std::string> reports = job_reports();
    ASSERT_EQ(reports.size(), 1u);
    std::ifstream file(reports[0] + ".json");
    const nlohmann::json report = nlohmann::json::parse(file);
    EXPECT_EQ(report["firmware"]["sha256"], preflight_firmware_file(m_firmware).sha256);
    EXPECT_EQ(report["steps"], nlohmann::json{"upgrade"});
    EXPECT_FALSE(report["stopped"]);
    const nlohmann::json state = cameras->devices().dump();
    std::map<std::string, std::string> running_version;
    for (const nlohmann::json& camera : state["cameras"]) running_version[camera["mac"]] = camera["version"];
    ASSERT_EQ(report["devices"].size(), 20u);
    for (const nlohmann::json& device : report["devices"]) {
        EXPECT_EQ(device["version_before"], "1.0.0");
        EXPECT_EQ(device["version_after"], running_version[device["mac"]]) << device["mac"];
        EXPECT_EQ(device["marks"]["upgrade"], "done");
        EXPECT_EQ(device["passes"], 1);
    }
    EXPECT_TRUE(std::filesystem::exists(reports[0] + ".csv"));
}

TEST_F(BatchDialogSimTest, DamagedFirmwareIsRefusedBeforeAnyCameraIsSentAByte) {
    CtervaneDlg& dlg = open_with_listed_cameras(3);
    ASSERT_TRUE(write_sim_firmware(m_firmware, 512 * 1024));
    {
        std::fstream damage(m_firmware, std::ios::in | std::ios::out | std::ios::binary);
        damage.seekp(100000);
        damage.put('\x5a');  // the image no longer hashes to its header's hash
    }
    dlg.set_text(IDC_EDIT_FW_PATH, m_firmware);
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    ASSERT_TRUE(pump_until([&] { return box_shown("IDS_FIRMWARE_DAMAGED"); }));
    EXPECT_FALSE(dlg.running());
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_UPGRADE));
    EXPECT_TRUE(dlg.has_focus(IDC_BTN_BROWSE_FW));
    pump_for(200);
    const nlohmann::json dump = cameras->devices().dump();  // outlives the loop, which reads into it
    for (const nlohmann::json& camera : dump["cameras"]) {
        EXPECT_EQ(camera["upgrade_refusals"].size(), 0u);
        EXPECT_EQ(camera["logins"], 0);  // nobody even logged in
    }
    EXPECT_TRUE(job_reports().empty());  // no job ran
}

TEST_F(BatchDialogSimTest, StopDuringTheFirmwareCheckStartsNoJob) {
    CtervaneDlg& dlg = open_with_listed_cameras(2);
    choose_firmware(4 * 1024 * 1024);
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    // The check's result reaches the dialog only through its event loop,
    // which has not run since the click.
    ASSERT_TRUE(dlg.checking_firmware());
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_STOP));
    click(IDC_BTN_STOP);
    EXPECT_FALSE(dlg.checking_firmware());
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_UPGRADE));
    pump_for(300);
    EXPECT_FALSE(dlg.running());
    EXPECT_TRUE(boxes.shown().empty());
}
