// The batch dialog's plan: "Load plan..." checks the plan's cameras and
// shows their values, the job buttons use them, "Export list..." writes the
// list as a plan.
#include <QHeaderView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "batch/dialog/device_list_view.h"
#include "batch_dlg_fixture.h"

namespace {

class BatchDialogPlanTest : public BatchDialogTest {
protected:
    std::string write_plan(const std::string& text, const std::string& name = "site.csv") {
        const std::string path = temp_path(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    void load_plan(const std::string& path) {
        files.answer_next(path);
        click(IDC_BTN_LOAD_PLAN);
    }
    static std::string read_text(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
};

}  // namespace

TEST_F(BatchDialogPlanTest, LoadingAPlanChecksItsCamerasAndShowsTheirValues) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(3);  // 02:00:00:00:01:10 .. :12
    EXPECT_TRUE(list().isColumnHidden(COL_PLANNED_IP));
    list().set_row_checked(1, true);
    load_plan(write_plan("mac,ip,uid,dhcp\n02-00-00-00-01-10,127.0.0.150,uid-a,\n020000000112,,uid-c,on\n"));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(files.shown().back().filter, "plan files(*.csv)|*.csv||");
    EXPECT_TRUE(list().is_row_checked(0));
    EXPECT_FALSE(list().is_row_checked(1));  // the plan does not name it
    EXPECT_TRUE(list().is_row_checked(2));
    EXPECT_FALSE(list().isColumnHidden(COL_PLANNED_IP));
    EXPECT_EQ(list().cell(0, COL_PLANNED_IP), "127.0.0.150");
    EXPECT_EQ(list().cell(0, COL_PLANNED_UID), "uid-a");
    EXPECT_EQ(list().cell(2, COL_PLANNED_IP), "DHCP");
    EXPECT_EQ(list().cell(1, COL_PLANNED_UID), "");
    EXPECT_EQ(list().horizontalHeaderItem(COL_PLANNED_IP)->text().toStdString(), text_of("IDS_PLANNED_IP"));
    // Shown beside the device's own address and board.
    EXPECT_EQ(list().horizontalHeader()->visualIndex(COL_PLANNED_IP), COL_NETWORK);
    // The network button runs the plan without a network box checked.
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_SET_NETWORK));
    // The next opening starts without a plan.
    QTest::keyClick(&dlg, Qt::Key_Escape);
    dlg.show();
    EXPECT_FALSE(dlg.device_table().has_plan());
    EXPECT_TRUE(list().isColumnHidden(COL_PLANNED_UID));
}

TEST_F(BatchDialogPlanTest, ARefusedPlanNamesEveryBadLineAndChangesNothing) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(2);
    list().set_row_checked(1, true);
    load_plan(write_plan("mac,ip,uid\n02:00:00:00:01:10,127.0.0.150,u1\n02:00:00:00:01:11,127.0.0.150,u2\n"
                         "bad-mac,,u3\n",
                         "bad.csv"));
    ASSERT_EQ(boxes.shown().size(), 1u);
    const std::string& text = boxes.shown()[0].text;
    EXPECT_EQ(text.rfind(text_of("IDS_PLAN_REFUSED"), 0), 0u) << text;
    EXPECT_NE(text.find("bad.csv:3: " + text_of("IDS_PLAN_IP_TWICE")), std::string::npos) << text;
    EXPECT_NE(text.find("bad.csv:4: " + text_of("IDS_PLAN_BAD_MAC")), std::string::npos) << text;
    EXPECT_FALSE(dlg.device_table().has_plan());
    EXPECT_TRUE(list().is_row_checked(1));
    EXPECT_FALSE(list().is_row_checked(0));
}

TEST_F(BatchDialogPlanTest, ExportWritesTheListAsShownAndItReadsBackAsAPlan) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(2);
    ListedDevice with_network;
    with_network.mac = "02:00:00:00:01:12";
    with_network.ip = "127.0.0.102";
    with_network.software_ver = "1.0.0";
    with_network.board_type = 0x20;
    with_network.mask = "255.255.255.0";
    with_network.gateway = "127.0.0.1";
    dlg.device_table().update_dev_find_list(with_network, true);
    load_plan(write_plan("mac,uid\n02:00:00:00:01:11,-uid-b\n"));
    const std::string out = temp_path("list.csv");
    files.answer_next(out);
    click(IDC_BTN_EXPORT_LIST);
    ASSERT_TRUE(files.shown().back().save);
    EXPECT_EQ(files.shown().back().suggested_name, "devices.csv");
    const std::string csv = read_text(out);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFmac,ip,mask,gateway,dhcp,uid,version,board,protocol\r\n", 0), 0u) << csv;
    EXPECT_NE(csv.find("02:00:00:00:01:10,127.0.0.100,,,,,1.0.0,0x0,native\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("02:00:00:00:01:12,127.0.0.102,255.255.255.0,127.0.0.1,,,1.0.0,0x20,native\r\n"),
              std::string::npos) << csv;
    // As a plan: every camera of the list, the planned UID among them.
    DevicePlan plan;
    ASSERT_TRUE(read_plan_text(csv, plan).empty());
    ASSERT_EQ(plan.entries.size(), 3u);
    EXPECT_EQ(plan.entries[1].values.uid, "-uid-b");
    EXPECT_EQ(plan.entries[2].values.gateway, "127.0.0.1");
    EXPECT_TRUE(boxes.shown().empty());
    // A place that cannot be written is said.
    files.answer_next(temp_path("no/such/folder/list.csv"));
    click(IDC_BTN_EXPORT_LIST);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text.rfind(text_of("IDS_EXPORT_FAILED"), 0), 0u);
}

TEST_F(BatchDialogPlanTest, APlannedAddressAnotherListedCameraHoldsStartsNoJob) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(2);
    load_plan(write_plan("mac,ip\n02:00:00:00:01:10,127.0.0.101\n"));
    click(IDC_BTN_SET_NETWORK);
    EXPECT_FALSE(dlg.running());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_NE(boxes.shown()[0].text.find("site.csv:2: " + text_of("IDS_PLAN_IP_IN_USE") +
                                         ": \"127.0.0.101 02:00:00:00:01:11\""),
              std::string::npos)
        << boxes.shown()[0].text;
    EXPECT_TRUE(job_reports().empty());
}

TEST_F(BatchDialogPlanTest, TheNetworkButtonGivesEachPlannedCameraItsOwnUid) {
    cameras = std::make_unique<SimCameras>(4);
    ASSERT_EQ(cameras->start(), "");
    rt_set_time_speed(100);
    CtervaneDlg& dlg = open_dialog(cameras->dialog_options());
    ASSERT_TRUE(pump_until([&] { return list().row_count() == 4; }));
    dlg.set_text(IDC_EDIT_PASSWORD, "tovik");
    // Camera 4 is not in the plan; 02:00:00:00:00:09 is not on the network.
    load_plan(write_plan("mac,uid\n02:00:00:00:00:01,uid-1\n02:00:00:00:00:02,uid-2\n02:00:00:00:00:03,uid-3\n"
                         "02:00:00:00:00:09,uid-9\n"));
    click(IDC_BTN_SET_NETWORK);
    ASSERT_TRUE(pump_until([&] { return box_shown("IDS_ALL_FINISH"); }, 120000));

    const nlohmann::json state = cameras->devices().dump();
    for (const nlohmann::json& camera : state["cameras"]) {
        const std::string mac = camera["mac"];
        const std::string n = mac.substr(mac.size() - 1);
        if (n == "4")
            EXPECT_TRUE(camera["files"].empty()) << mac;
        else
            EXPECT_EQ(camera["files"]["/config/tuya.cfg"], "uid-" + n + "\n") << mac;
    }
    const std::vector<std::string> reports = job_reports();
    ASSERT_EQ(reports.size(), 1u);
    std::ifstream file(reports[0] + ".json");
    const nlohmann::json report = nlohmann::json::parse(file);
    EXPECT_EQ(report["plan"], temp_path("site.csv"));
    ASSERT_EQ(report["devices"].size(), 4u);
    for (int i = 0; i < 3; ++i) {  // in the order the cameras were heard
        const std::string mac = report["devices"][i]["mac"];
        EXPECT_EQ(report["devices"][i]["planned"]["uid"], "uid-" + mac.substr(mac.size() - 1));
        EXPECT_EQ(report["devices"][i]["planned_took"]["uid"], true);
    }
    EXPECT_EQ(report["devices"][3]["mac"], "02:00:00:00:00:09");
    EXPECT_EQ(report["devices"][3]["not_worked_on"], "not found");
    EXPECT_EQ(report["devices"][3]["planned_took"]["uid"], false);
}
