// The batch dialog over the real broadcast path: run by batch_dlg_lan_test.sh
// on the tool side of a private two-host LAN (scripts/sim-lan.sh) whose other
// side runs ipcsim. Skipped anywhere else.
#include <QProgressBar>
#include <cstdlib>
#include <filesystem>

#include "batch_dlg_fixture.h"
#include "discovery/netns_guard.h"

namespace {

class BatchDialogLanTest : public BatchDialogTest {
protected:
    void SetUp() override {
        // It searches out of every card: only on a LAN of namespaces.
        if (!developer_send_refusal(false).empty() || std::getenv("SIM_LAN_TOOL_IP") == nullptr)
            GTEST_SKIP() << "needs the private LAN of scripts/sim-lan.sh";
        BatchDialogTest::SetUp();
        rt_set_time_speed(20);
    }
    void TearDown() override {
        BatchDialogTest::TearDown();
        std::filesystem::remove(m_firmware);
    }

    std::string m_firmware =
        (std::filesystem::temp_directory_path() / ("batch_dlg_lan_" + std::to_string(::getpid()) + ".update")).string();
};

}  // namespace

TEST_F(BatchDialogLanTest, ListsRefreshesAndUpgradesOverTheBroadcastPath) {
    BatchDialogOptions options;  // the protocol's endpoints, real sockets, the host's cards
    options.discovery.send_log.clear();
    options.discovery.recv_log.clear();
    options.shell_runner = [](const std::string&) { return 0; };
    CtervaneDlg& dlg = open_dialog(std::move(options));
    EXPECT_EQ(dlg.text(IDC_COMBO_NETWORK_CARD), std::getenv("SIM_LAN_TOOL_IP"));
    ASSERT_TRUE(pump_until([&] { return list().row_count() == 5; }, 20000)) << list().row_count();

    click(IDC_BTN_REFRESH);  // a new sweep from every card (the card combo is hidden)
    EXPECT_TRUE(pump_until([&] { return list().row_count() == 5; }, 20000)) << list().row_count();
    EXPECT_EQ(list().cell(4, 0), "05");

    ASSERT_TRUE(write_sim_firmware(m_firmware, 128 * 1024));
    dlg.set_text(IDC_EDIT_FW_PATH, m_firmware);
    dlg.set_text(IDC_EDIT_PASSWORD, "tovik");
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    ASSERT_TRUE(pump_until([&] { return box_shown("IDS_ALL_FINISH"); }, 120000));
    for (int row = 0; row < 5; ++row) EXPECT_EQ(list().cell(row, 7), "\u221a") << row;
}

// Not a test of its own: batch_dlg_kill_test.sh starts it, lets the upgrade
// run and kills the process (SIGKILL), then reads the report it left.
TEST_F(BatchDialogLanTest, UpgradeThatIsKilledMidway) {
    const char* folder = std::getenv("TERVANE_DLG_KILL_DIR");
    if (folder == nullptr) GTEST_SKIP() << "run by batch_dlg_kill_test.sh";
    std::filesystem::current_path(folder);  // where the script looks for job_reports/
    BatchDialogOptions options;
    options.discovery.send_log.clear();
    options.discovery.recv_log.clear();
    options.shell_runner = [](const std::string&) { return 0; };
    CtervaneDlg& dlg = open_dialog(std::move(options));
    ASSERT_TRUE(pump_until([&] { return list().row_count() == 5; }, 20000)) << list().row_count();
    ASSERT_TRUE(write_sim_firmware(m_firmware, 128 * 1024));
    dlg.set_text(IDC_EDIT_FW_PATH, m_firmware);
    dlg.set_text(IDC_EDIT_PASSWORD, "tovik");
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    pump_until([] { return false; }, 120000);  // until the kill
}
