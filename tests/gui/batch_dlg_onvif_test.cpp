// The batch dialog on a LAN of both kinds: simulated native cameras and
// simulated ONVIF ones served in this process on loopback addresses, found
// by both searches, worked on by one job through the dialog's own buttons,
// time running 100 times faster.
#include <QSettings>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "batch/firmware_preflight.h"
#include "batch_dlg_fixture.h"

namespace {

constexpr int COL_MAC = 1, COL_VERSION = 4, COL_BID = 5;

class BatchDialogOnvifTest : public BatchDialogSimFixture {
protected:
    // The dialog over `native` native cameras and `onvif` ONVIF ones, the
    // stored login the cameras' own; waits until `listed` rows have their
    // version (the ONVIF ones once their identity was read).
    CtervaneDlg& open_mixed(int native, int onvif, int listed, const std::string& password = "tovik") {
        QSettings("vesmira", "velquist").setValue("pass", QString::fromStdString(password));
        cameras = std::make_unique<SimCameras>(native, 3000, onvif);
        EXPECT_EQ(cameras->start(), "");
        CtervaneDlg& dlg = open_dialog(cameras->dialog_options());
        EXPECT_TRUE(pump_until([&] { return versions_listed() == listed; })) << versions_listed();
        return dlg;
    }
    int versions_listed() {
        int count = 0;
        for (int row = 0; row < list().row_count(); ++row) count += list().cell(row, COL_VERSION).empty() ? 0 : 1;
        return count;
    }
    int row_of(const std::string& mac) {
        for (int row = 0; row < list().row_count(); ++row)
            if (list().cell(row, COL_MAC) == mac) return row;
        return -1;
    }
    OnvifCamera& onvif_camera(int k) { return *cameras->onvif().cameras().at(k - 1); }
    nlohmann::json onvif_state(int k) { return onvif_camera(k).to_json(); }
    nlohmann::json native_state(const std::string& mac) {
        const nlohmann::json dump = cameras->devices().dump();
        for (const nlohmann::json& camera : dump["cameras"])
            if (camera["mac"] == mac) return camera;
        return {};
    }
    bool all_finished() const { return box_shown("IDS_ALL_FINISH"); }
    void add_by_address(const std::string& text) {
        dialog->set_text(IDC_EDIT_ADD_ADDRESS, text);
        click(IDC_BTN_ADD_ADDRESS);
    }
};

const std::string kOnvif1 = "02:0F:00:00:00:01";
const std::string kOnvif2 = "02:0F:00:00:00:02";

}  // namespace

TEST_F(BatchDialogOnvifTest, ListsBothKindsAndAddByAddressFindsTheCameraTheProbeMisses) {
    open_mixed(2, 2, 3);
    const int onvif = row_of(kOnvif1);
    ASSERT_GE(onvif, 0);
    EXPECT_EQ(list().cell(onvif, COL_BID), "ONVIF SIMCAM-O1");
    EXPECT_EQ(list().cell(onvif, COL_VERSION), "1.0.0");
    EXPECT_EQ(list().cell(onvif, 2), cameras->onvif_ip(1));
    EXPECT_EQ(list().cell(onvif, 3), std::to_string(kSimOnvifHttpPort));
    EXPECT_EQ(row_of(kOnvif2), -1);  // the Probe does not reach it
    EXPECT_EQ(list().cell(0, COL_BID), "0x20");

    // Bad input is told and asks nothing.
    for (const char* typed : {"", "  ", "10.0.0.300", "10.0.0.9-10.0.0.2", "10.0.0.0-10.0.255.255"}) {
        boxes.clear();
        add_by_address(typed);
        ASSERT_EQ(boxes.shown().size(), 1u) << typed;
        const std::string& shown = boxes.shown()[0].text;
        const std::string lead = text_of(*typed == '\0' || *typed == ' ' ? "IDS_INPUT_ADDRESSES" : "IDS_INVALID_ADDRESSES");
        EXPECT_EQ(shown.substr(0, lead.size()), lead) << typed;
        EXPECT_TRUE(dialog->has_focus(IDC_EDIT_ADD_ADDRESS)) << typed;
    }

    boxes.clear();
    add_by_address(cameras->onvif_ip(1) + "-" + cameras->onvif_ip(2));
    EXPECT_TRUE(boxes.shown().empty());
    ASSERT_TRUE(pump_until([&] { return versions_listed() == 4; }));
    const int added = row_of(kOnvif2);
    ASSERT_GE(added, 0);
    EXPECT_EQ(list().cell(added, 0), "04");  // listed like the rest, after them
    EXPECT_EQ(list().cell(added, COL_BID), "ONVIF SIMCAM-O1");
    EXPECT_EQ(list().row_count(), 4);  // the first ONVIF camera, asked again, is not listed twice
}

TEST_F(BatchDialogOnvifTest, IdentityIsReadWithTheDialogsLoginAndReadAgainOnRefresh) {
    open_mixed(1, 1, 1, "wrong");
    ASSERT_TRUE(pump_until([&] { return list().row_count() == 2 && dialog->search().Settled(); }));
    pump_for(50);
    // Listed, but without what only a login tells, and saying why.
    const int onvif = list().cell(0, COL_BID) == "0x20" ? 1 : 0;
    EXPECT_EQ(list().cell(onvif, COL_VERSION), "");
    EXPECT_EQ(list().cell(onvif, COL_STATUS), "login refused");
    EXPECT_GE(onvif_state(1)["logins"]["refused"].get<int>(), 1);

    dialog->set_text(IDC_EDIT_PASSWORD, "tovik");
    click(IDC_BTN_REFRESH);
    ASSERT_TRUE(pump_until([&] { return versions_listed() == 2; }));
    EXPECT_GE(row_of(kOnvif1), 0);
    EXPECT_EQ(list().cell(row_of(kOnvif1), COL_STATUS), "");
}

TEST_F(BatchDialogOnvifTest, OneJobUpgradesBothKindsAndSetsTheirTimeZone) {
    CtervaneDlg& dlg = open_mixed(2, 1, 3);
    ASSERT_TRUE(write_sim_firmware(m_firmware, 256 * 1024));
    dlg.set_text(IDC_EDIT_FW_PATH, m_firmware);
    dlg.set_checked(IDC_CHECK_UPGRADE, true);
    dlg.set_checked(IDC_CHECK_TIME_ZONE, true);
    dlg.combo_select(IDC_COMBO_TIME_ZONE, 20);  // UTC+08:00
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_START);
    ASSERT_TRUE(pump_until([&] { return all_finished(); }, 120000));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list().cell(row, 7), "\u221a") << row;
        EXPECT_EQ(list().cell(row, COL_VERSION), "1.0.1") << row;
    }
    for (const char* mac : {"02:00:00:00:00:01", "02:00:00:00:00:02"}) {
        const nlohmann::json native = native_state(mac);
        EXPECT_EQ(native["version"], "1.0.1") << native;
        EXPECT_EQ(native["settings"]["time_zone"], 28800) << native;
    }
    EXPECT_EQ(onvif_camera(1).identity().version, "1.0.1");
    EXPECT_EQ(onvif_state(1)["time_zone"], "UTC-8");
}

TEST_F(BatchDialogOnvifTest, NtpServerReachesTheOnvifCameraAndNativeRowsSayTheyCannot) {
    CtervaneDlg& dlg = open_mixed(1, 1, 2);
    click(IDC_BTN_SELECT_ALL);
    for (const char* typed : {"", "ntp server", "-ntp.example", "255.255.255.255"}) {
        boxes.clear();
        dlg.set_text(IDC_EDIT_NTP, typed);
        click(IDC_BTN_SET_NTP);
        ASSERT_EQ(shown_texts(), std::vector<std::string>{text_of("IDS_INVALID_NTP_SERVER")}) << typed;
        EXPECT_TRUE(dlg.has_focus(IDC_EDIT_NTP));
        EXPECT_FALSE(dlg.running());
    }
    EXPECT_TRUE(onvif_state(1)["ntp"]["servers"].empty());

    dlg.set_text(IDC_EDIT_NTP, "ntp.example.net");
    click(IDC_BTN_SET_NTP);
    ASSERT_TRUE(pump_until([&] { return all_finished(); }, 60000));
    EXPECT_EQ(onvif_state(1)["ntp"]["servers"], nlohmann::json::array({"ntp.example.net"}));
    EXPECT_EQ(list().cell(row_of(kOnvif1), COL_TIME), "\u221a");
    const int native = row_of("02:00:00:00:00:01");
    EXPECT_EQ(list().cell(native, COL_STATUS), text_of("IDS_NTP_NOT_ON_NATIVE"));
}

TEST_F(BatchDialogOnvifTest, AFileInAnotherFormatGoesToOnvifCamerasOnly) {
    CtervaneDlg& dlg = open_mixed(1, 1, 2);
    const std::string image = "a camera maker's own image, not the native format";
    std::ofstream(m_firmware, std::ios::binary) << image;
    dlg.set_text(IDC_EDIT_FW_PATH, m_firmware);

    // Only the native camera checked: refused before any camera is asked.
    dlg.device_table().set_checked(row_of("02:00:00:00:00:01"), true);
    dlg.show_device_table();
    click(IDC_BTN_UPGRADE);
    ASSERT_TRUE(pump_until([&] { return box_shown("IDS_FIRMWARE_ONVIF_ONLY"); }));
    EXPECT_FALSE(dlg.running());
    EXPECT_TRUE(dlg.has_focus(IDC_BTN_BROWSE_FW));
    EXPECT_EQ(native_state("02:00:00:00:00:01")["logins"], 0);

    // With the ONVIF camera checked too it gets the file as it is; the
    // native one refuses it.
    click(IDC_BTN_SELECT_ALL);
    click(IDC_BTN_UPGRADE);
    ASSERT_TRUE(pump_until([&] { return all_finished(); }, 60000));
    EXPECT_EQ(onvif_state(1)["image_sha256"], preflight_firmware_file(m_firmware).sha256);
    EXPECT_EQ(list().cell(row_of(kOnvif1), 7), "\u221a");
    EXPECT_EQ(list().cell(row_of("02:00:00:00:00:01"), 7), "\u00d7");
    EXPECT_EQ(native_state("02:00:00:00:00:01")["version"], "1.0.0");
}
