// The batch dialog against simulated cameras: discovery over loopback
// sockets, jobs through the dialog's own buttons over the real client
// library, time running 100 times faster.
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "batch_dlg_fixture.h"

namespace {

class BatchDialogSimTest : public BatchDialogTest {
protected:
    void SetUp() override {
        BatchDialogTest::SetUp();
        rt_set_time_speed(100);
    }
    void TearDown() override {
        BatchDialogTest::TearDown();
        std::filesystem::remove(m_firmware);
    }

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

    std::string m_firmware =
        (std::filesystem::temp_directory_path() / ("batch_dlg_" + std::to_string(::getpid()) + ".update")).string();
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
    EXPECT_TRUE(dlg.running());
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
}

TEST_F(BatchDialogSimTest, GuiThreadStallDuringATwentyCameraJob) {
    CtervaneDlg& dlg = open_with_listed_cameras(20);
    choose_firmware(256 * 1024);
    click(IDC_BTN_SELECT_ALL);

    // A timer that should fire every 2 ms: the longest gap between two of
    // its ticks is the longest time the GUI thread did not get to run.
    QElapsedTimer clock;
    qint64 last = 0, longest = 0, longest_at = 0;
    QTimer ticker;
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (now - last > longest) {
            longest = now - last;
            longest_at = last;
        }
        last = now;
    });
    clock.start();
    ticker.start();
    const qint64 click_start = clock.elapsed();
    click(IDC_BTN_UPGRADE);  // starts 20 workers on this thread
    const qint64 click_ms = clock.elapsed() - click_start;
    ASSERT_TRUE(pump_until([&] { return all_finished_shown(); }, 180000));
    ticker.stop();
    std::printf("longest GUI-thread stall during a 20-camera upgrade: %lld ms, from %lld ms into the job of %lld ms "
                "(the upgrade button's own handler took %lld ms)\n",
                static_cast<long long>(longest), static_cast<long long>(longest_at - click_start),
                static_cast<long long>(clock.elapsed() - click_start), static_cast<long long>(click_ms));
    for (int row = 0; row < 20; ++row) EXPECT_EQ(list().cell(row, 7), "\u221a") << row;
    EXPECT_FALSE(dlg.running());
}
