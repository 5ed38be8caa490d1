// The batch dialog's controls, their checks and their states, driven by
// control id with message boxes and file dialogs scripted. Discovery hears
// nothing here; devices are put into the device table directly.
#include <QCheckBox>
#include <QFile>
#include <QProgressBar>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTest>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "batch_dlg_fixture.h"
#include "tests/runtime/trace_capture.h"

namespace {

constexpr int kShownAtStart[] = {
    IDC_LIST_DEVICES, IDC_LABEL_DEVICE_TYPE, IDC_COMBO_DEVICE_TYPE, IDC_BTN_LOAD_PLAN, IDC_BTN_EXPORT_LIST,
    IDC_BTN_REFRESH, IDC_BTN_SELECT_ALL,
    IDC_BTN_SELECT_INVERT, IDC_GROUP_UPGRADE, IDC_CHECK_UPGRADE, IDC_EDIT_FW_PATH, IDC_BTN_BROWSE_FW,
    IDC_BTN_UPGRADE, IDC_PROGRESS, IDC_BTN_STOP, IDC_GROUP_SETTINGS, IDC_CHECK_SET_NETWORK, IDC_CHECK_DHCP,
    IDC_LABEL_IP_ADDR, IDC_LABEL_SUBMASK, IDC_LABEL_GATEWAY, IDC_IP_NEW_ADDRESS, IDC_IP_SUBMASK, IDC_IP_GATEWAY,
    IDC_BTN_SET_NETWORK, IDC_BTN_RESET, IDC_BTN_RESET_PWD,
    // Both kinds of camera: the cameras asked at their addresses, the time
    // area with the ONVIF cameras' time server, and Start for a job of
    // several steps (an upgrade and the time zone).
    IDC_EDIT_ADD_ADDRESS, IDC_BTN_ADD_ADDRESS, IDC_CHECK_TIME_ZONE, IDC_COMBO_TIME_ZONE, IDC_BTN_SET_TIME_ZONE,
    IDC_CHECK_NTP, IDC_EDIT_NTP, IDC_BTN_SET_NTP, IDC_BTN_START,
};

constexpr int kHiddenFromTheStart[] = {
    IDC_LABEL_USER, IDC_EDIT_USER, IDC_LABEL_PASSWORD, IDC_EDIT_PASSWORD, IDC_LABEL_DNS1,
    IDC_LABEL_DNS2, IDC_IP_DNS1, IDC_IP_DNS2, IDC_BTN_HIDDEN_REFRESH, IDC_LABEL_FRAME,
};

// Job buttons that check the user name, and what each needs to get past
// its own checks.
constexpr int kUserCheckedButtons[] = {
    IDC_BTN_UPGRADE, IDC_BTN_SET_TIME_ZONE, IDC_BTN_SET_TIME_FORMAT, IDC_BTN_SYNC_TIME, IDC_BTN_UPGRADE_LOGO,
    IDC_BTN_SET_LANGUAGE, IDC_BTN_SET_PASSWORD, IDC_BTN_SET_VIDEO_STD, IDC_BTN_SET_UID, IDC_BTN_SET_MAX_CH,
    IDC_BTN_SET_DEFAULT_CH, IDC_BTN_SET_NETWORK, IDC_BTN_SEND_COMMAND, IDC_BTN_RESET, IDC_BTN_RESET_PWD,
    IDC_BTN_START, IDC_BTN_SET_NTP,
};

}  // namespace

TEST_F(BatchDialogTest, StartUpStateFollowsTheControlTable) {
    CtervaneDlg& dlg = open_silent_dialog();
    EXPECT_EQ(dlg.windowTitle().toStdString(), text_of("IDS_TERVANE"));
    for (int id : kShownAtStart) EXPECT_TRUE(dlg.is_shown(id)) << id;
    for (int id : kHiddenFromTheStart) EXPECT_FALSE(dlg.is_shown(id)) << id;
    for (int id : hidden_at_start()) EXPECT_FALSE(dlg.is_shown(id)) << id;
    for (int id : {IDC_BTN_STOP, IDC_BTN_SET_NETWORK, IDC_IP_NEW_ADDRESS, IDC_IP_SUBMASK, IDC_IP_GATEWAY, IDC_IP_DNS1,
                   IDC_IP_DNS2})
        EXPECT_FALSE(dlg.is_enabled(id)) << id;
    for (int id : {IDC_BTN_UPGRADE, IDC_CHECK_UPGRADE, IDC_CHECK_SET_NETWORK, IDC_CHECK_DHCP, IDC_LIST_DEVICES})
        EXPECT_TRUE(dlg.is_enabled(id)) << id;
    EXPECT_EQ(dlg.text(IDC_EDIT_USER), "Admin");
    EXPECT_EQ(dlg.text(IDC_BTN_RESET), text_of("IDS_RESTORE_FACTORY_SETTINGS"));
    EXPECT_EQ(dlg.text(IDC_CHECK_UID), "UID(tuya)");  // no key: the resource text stays
    EXPECT_EQ(dlg.dev_type_filter(), 0);
    EXPECT_TRUE(dlg.discovery().started());
    EXPECT_EQ(list().columnCount(), 15);  // the two of a plan hidden until one is loaded
    EXPECT_TRUE(list().isColumnHidden(13));
    EXPECT_TRUE(list().isColumnHidden(14));
    EXPECT_EQ(list().horizontalHeaderItem(12)->text().toStdString(), text_of("IDS_PROMPT"));
    EXPECT_EQ(list().horizontalHeaderItem(3)->text(), "Port");
}

TEST_F(BatchDialogTest, CombosHoldTheirEntriesAndDefaults) {
    CtervaneDlg& dlg = open_silent_dialog();
    EXPECT_EQ(dlg.combo_count(IDC_COMBO_DEVICE_TYPE), 1);
    EXPECT_EQ(dlg.text(IDC_COMBO_DEVICE_TYPE), text_of("IDS_ALL"));
    EXPECT_EQ(dlg.combo_count(IDC_COMBO_TIME_ZONE), 25);
    EXPECT_EQ(dlg.combo_item(IDC_COMBO_TIME_ZONE, 0), "UTC:-12:00");
    EXPECT_EQ(dlg.combo_item(IDC_COMBO_TIME_ZONE, 12), "UTC:-00:00");
    EXPECT_EQ(dlg.combo_item(IDC_COMBO_TIME_ZONE, 13), "UTC:+01:00");
    EXPECT_EQ(dlg.combo_item(IDC_COMBO_TIME_ZONE, 24), "UTC:+12:00");
    EXPECT_EQ(dlg.text(IDC_COMBO_TIME_ZONE), "UTC:+08:00");
    EXPECT_EQ(dlg.combo_count(IDC_COMBO_TIME_FORMAT), 4);
    EXPECT_EQ(dlg.combo_item(IDC_COMBO_TIME_FORMAT, 3), text_of("IDS_TIME_FORMAT_3"));
    EXPECT_EQ(dlg.combo_selection(IDC_COMBO_VIDEO_STD), 0);
    EXPECT_EQ(dlg.combo_item(IDC_COMBO_VIDEO_STD, 1), "PAL");
    EXPECT_EQ(dlg.combo_count(IDC_COMBO_LANGUAGE), 21);
    EXPECT_EQ(dlg.combo_selection(IDC_COMBO_LANGUAGE), 2);
    EXPECT_EQ(dlg.text(IDC_COMBO_MAX_CH), "14");
    EXPECT_EQ(dlg.combo_count(IDC_COMBO_DEFAULT_CH), 15);
    EXPECT_EQ(dlg.text(IDC_COMBO_DEFAULT_CH), text_of("IDS_AUTO"));
    EXPECT_EQ(dlg.combo_item(IDC_COMBO_DEFAULT_CH, 14), "14");
    EXPECT_EQ(dlg.combo_count(IDC_COMBO_NETWORK_CARD), 2);
    EXPECT_EQ(dlg.text(IDC_COMBO_NETWORK_CARD), "127.0.0.2");
}

// The table at its own font (the offscreen screen is smaller than any laptop
// and shrinks it; the common sizes are checked below). At 200 % the whole
// window scales with the screen, so the same holds.
TEST_F(BatchDialogTest, NoVisibleCaptionIsClipped) {
    CtervaneDlg& dlg = open_silent_dialog();
    dlg.fit_to(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    ASSERT_EQ(dlg.font_scale(), 1.0);
    EXPECT_EQ(dlg.clipped_controls(), std::vector<int>{});
}

TEST_F(BatchDialogTest, EmptyUserNameStopsEveryJobButtonButTheRange) {
    CtervaneDlg& dlg = open_silent_dialog();
    dlg.set_text(IDC_EDIT_USER, "");
    dlg.set_text(IDC_EDIT_FW_PATH, "/tmp/firmware.update");
    dlg.set_checked(IDC_CHECK_DHCP, true);
    for (int id : kUserCheckedButtons) {
        dlg.set_enabled(id, true);  // reachable as if shown
        boxes.clear();
        click(id);
        ASSERT_EQ(boxes.shown().size(), 1u) << id;
        EXPECT_EQ(boxes.shown()[0].text, text_of("IDS_INPUT_USER_NAME")) << id;
        EXPECT_EQ(boxes.shown()[0].title, text_of("IDS_ERROR")) << id;
        EXPECT_EQ(boxes.shown()[0].icon, ui::MsgIcon::Exclamation) << id;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(settings_file())));

    boxes.clear();
    dlg.set_text(IDC_IP_RANGE_START, "192.168.1.10");
    dlg.set_text(IDC_IP_RANGE_END, "192.168.1.20");
    click(IDC_BTN_SET_RANGE);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(settings_file())));
}

TEST_F(BatchDialogTest, FirmwarePathNeedsMoreThanSevenCharactersAndARegularFile) {
    CtervaneDlg& dlg = open_silent_dialog();
    const std::string fifo = temp_path("fifo.update");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // taken, it would hang the dialog
    for (std::string path : {std::string(""), std::string("1234567"), std::string("/tmp/\xC3\xA4\xC3\xB6"),
                             std::string("12345678"), fifo}) {
        boxes.clear();
        dlg.set_text(IDC_EDIT_FW_PATH, path);
        click(IDC_BTN_UPGRADE);
        ASSERT_EQ(boxes.shown().size(), 1u) << path;
        EXPECT_EQ(boxes.shown()[0].text, text_of("IDS_INVALID_UPGRADE_FILE"));
        EXPECT_TRUE(dlg.has_focus(IDC_BTN_BROWSE_FW));
        EXPECT_EQ(dlg.text(IDC_EDIT_FW_PATH), path);  // a rejected field keeps its text
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(settings_file())));
    boxes.clear();
    const std::string file = temp_path("fw.update");
    std::ofstream(file) << "firmware";
    dlg.set_text(IDC_EDIT_FW_PATH, file);
    click(IDC_BTN_UPGRADE);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(dlg.running());  // nothing checked: nothing to do, the fields are stored
    EXPECT_TRUE(QFile::exists(QString::fromStdString(settings_file())));
}

TEST_F(BatchDialogTest, RangeRuleOfTheSetButtonAndTheStartButton) {
    CtervaneDlg& dlg = open_silent_dialog();
    struct Case {
        const char* start;
        const char* end;
        int button;
        const char* message;  // null: accepted
        int focus;
    };
    const Case cases[] = {
        {"192.168.1.10", "192.168.2.20", IDC_BTN_SET_RANGE, "IDS_IP_RANGE_DISMATCH", IDC_IP_RANGE_END},
        {"192.168.1.20", "192.168.1.10", IDC_BTN_SET_RANGE, "IDS_IP_END_ERROR_LESS_START", IDC_IP_RANGE_END},
        {"192.168.1.9", "192.168.1.10", IDC_BTN_SET_RANGE, nullptr, 0},
        {"192.168.1.20", "192.168.1.10", IDC_BTN_START, nullptr, 0},
        {"255.255.255.255", "", IDC_BTN_SET_RANGE, "IDS_INVALID_IP_ADDR", IDC_IP_RANGE_START},
        {"", "", IDC_BTN_START, "IDS_INVALID_IP_ADDR", IDC_IP_RANGE_START},
    };
    dlg.set_checked(IDC_CHECK_AUTO_IP, true);  // the start button applies the rule only then
    for (const Case& c : cases) {
        boxes.clear();
        dlg.set_text(IDC_IP_RANGE_START, c.start);
        dlg.set_text(IDC_IP_RANGE_END, c.end);
        click(c.button);
        const std::string label = std::string(c.start) + " ~ " + c.end;
        if (c.message == nullptr) {
            EXPECT_TRUE(boxes.shown().empty()) << label;
            continue;
        }
        ASSERT_EQ(boxes.shown().size(), 1u) << label;
        EXPECT_EQ(boxes.shown()[0].text, text_of(c.message)) << label;
        EXPECT_TRUE(dlg.has_focus(c.focus)) << label;
    }
}

TEST_F(BatchDialogTest, OneBadEndOfTheRangeTakesTheOtherAddress) {
    CtervaneDlg& dlg = open_silent_dialog();
    dlg.set_text(IDC_IP_RANGE_START, "0.0.0.0");
    dlg.set_text(IDC_IP_RANGE_END, "192.168.1.50");
    click(IDC_BTN_SET_RANGE);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(dlg.text(IDC_IP_RANGE_START), "192.168.1.50");

    dlg.set_text(IDC_IP_RANGE_START, "10.0.0.7");
    dlg.set_text(IDC_IP_RANGE_END, "255.255.255.255");
    click(IDC_BTN_SET_RANGE);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(dlg.text(IDC_IP_RANGE_END), "10.0.0.7");
}

TEST_F(BatchDialogTest, SetNetworkAndDhcpExcludeEachOther) {
    CtervaneDlg& dlg = open_silent_dialog();
    const int fields[] = {IDC_IP_NEW_ADDRESS, IDC_IP_SUBMASK, IDC_IP_GATEWAY};
    click(IDC_CHECK_SET_NETWORK);
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_SET_NETWORK));
    EXPECT_FALSE(dlg.is_enabled(IDC_CHECK_DHCP));
    for (int id : fields) EXPECT_TRUE(dlg.is_enabled(id)) << id;
    dlg.update_controls();  // the idle rules agree with the box
    EXPECT_FALSE(dlg.is_enabled(IDC_CHECK_DHCP));
    EXPECT_TRUE(dlg.is_enabled(IDC_IP_NEW_ADDRESS));

    click(IDC_CHECK_SET_NETWORK);
    EXPECT_FALSE(dlg.is_enabled(IDC_BTN_SET_NETWORK));
    EXPECT_TRUE(dlg.is_enabled(IDC_CHECK_DHCP));
    for (int id : fields) EXPECT_FALSE(dlg.is_enabled(id)) << id;

    click(IDC_CHECK_DHCP);
    EXPECT_TRUE(dlg.is_enabled(IDC_BTN_SET_NETWORK));
    EXPECT_FALSE(dlg.is_enabled(IDC_CHECK_SET_NETWORK));
    for (int id : fields) EXPECT_FALSE(dlg.is_enabled(id)) << id;
    click(IDC_CHECK_DHCP);
    EXPECT_FALSE(dlg.is_enabled(IDC_BTN_SET_NETWORK));
    EXPECT_TRUE(dlg.is_enabled(IDC_CHECK_SET_NETWORK));
}

TEST_F(BatchDialogTest, ResetWithNothingCheckedShowsNothingAndStoresTheFields) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(3);
    dlg.set_text(IDC_EDIT_FW_PATH, "/srv/fw/camera.update");
    click(IDC_BTN_RESET);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(dlg.running());
    QSettings stored(QString::fromStdString(settings_file()), QSettings::IniFormat);
    EXPECT_EQ(stored.allKeys().size(), 18);
    EXPECT_EQ(stored.value("path").toString(), "/srv/fw/camera.update");
}

TEST_F(BatchDialogTest, TheDialogsTraceLinesBeginWithTheirPositionLine) {
    TraceCapture trace;
    open_silent_dialog();
    add_devices(2);
    click(IDC_BTN_SET_TIME_FORMAT);  // nothing checked: nothing starts
    EXPECT_TRUE(trace.contains("ip = 10.1.2.3\n"));
    EXPECT_TRUE(trace.contains("CtervaneDlg:: OnBnClickedBtnSet3  ----------------22222 nRet=0"));
    EXPECT_EQ(trace.messages_without_position(), std::vector<std::string>{});
}

TEST_F(BatchDialogTest, BrowseFillsThePathAndCancelKeepsIt) {
    CtervaneDlg& dlg = open_silent_dialog();
    files.answer_next("/data/fw/v2.update");
    click(IDC_BTN_BROWSE_FW);
    EXPECT_EQ(dlg.text(IDC_EDIT_FW_PATH), "/data/fw/v2.update");
    files.answer_next(std::nullopt);
    click(IDC_BTN_BROWSE_FW);
    EXPECT_EQ(dlg.text(IDC_EDIT_FW_PATH), "/data/fw/v2.update");
    ASSERT_EQ(files.shown().size(), 2u);
    EXPECT_EQ(files.shown()[0].filter, "update files(*.update)|*.update|all files(*)|*||");
    EXPECT_EQ(files.shown()[0].default_suffix, "update");

    files.answer_next("/data/logo.jpg");
    dlg.set_enabled(IDC_BTN_BROWSE_LOGO, true);
    click(IDC_BTN_BROWSE_LOGO);
    EXPECT_EQ(dlg.text(IDC_EDIT_LOGO_PATH), "/data/logo.jpg");
    EXPECT_EQ(files.shown()[2].filter, "update files(*.jpg)|*.jpg||");
    EXPECT_EQ(files.shown()[2].default_suffix, "logo");
}

TEST_F(BatchDialogTest, ListShowsTheDeviceTable) {
    CtervaneDlg& dlg = open_silent_dialog();
    CDeviceTable& table = dlg.device_table();
    add_devices(12);
    ASSERT_EQ(list().row_count(), 12);
    EXPECT_EQ(list().cell(0, 0), "01");
    EXPECT_EQ(list().cell(11, 0), "12");
    EXPECT_EQ(list().cell(11, 1), "02:00:00:00:01:21");

    ListedDevice changed{"02:00:00:00:01:10", "127.0.0.77", 8000, "2.0.0", 0x1A2B, 19};
    list().set_row_checked(0, true);  // as the user would
    EXPECT_EQ(table.checked_count(), 1);
    table.update_dev_find_list(changed, false);
    dlg.show_device_table();
    EXPECT_EQ(list().cell(0, 0), "01");
    EXPECT_EQ(list().cell(0, 2), "127.0.0.77");
    EXPECT_EQ(list().cell(0, 3), "8000");
    EXPECT_EQ(list().cell(0, 4), "2.0.0");
    EXPECT_EQ(list().cell(0, 5), "0x1a2b");
    EXPECT_TRUE(list().is_row_checked(0));
    EXPECT_EQ(table.group1_of(0), 1);
    changed.device_type = 20;
    table.update_dev_find_list(changed, false);
    EXPECT_EQ(table.group1_of(0), 0);

    ListedDevice unversioned{"02:00:00:00:02:01", "127.0.0.78", 8000, "", 1, -1};
    table.update_dev_find_list(unversioned, true);
    dlg.show_device_table();
    EXPECT_EQ(list().cell(12, 7), text_of("IDS_NEED_UPDATE_FIRST"));
}

TEST_F(BatchDialogTest, SelectAllInvertAndRefresh) {
    CtervaneDlg& dlg = open_silent_dialog();
    click(IDC_BTN_SELECT_ALL);  // empty list: nothing happens
    click(IDC_BTN_SELECT_INVERT);
    EXPECT_EQ(list().row_count(), 0);
    add_devices(3);
    list().set_row_checked(0, true);
    list().set_row_checked(2, true);
    click(IDC_BTN_SELECT_INVERT);
    EXPECT_EQ(list().checked_rows(), std::vector<int>{1});
    EXPECT_EQ(dlg.device_table().checked_count(), 1);
    click(IDC_BTN_SELECT_ALL);
    EXPECT_EQ(list().checked_count(), 3);
    EXPECT_EQ(dlg.device_table().checked_count(), 3);
    click(IDC_BTN_REFRESH);
    EXPECT_EQ(list().row_count(), 0);
    EXPECT_EQ(dlg.device_table().row_count(), 0);
    add_devices(1);
    EXPECT_EQ(list().cell(0, 0), "01");
    EXPECT_FALSE(list().is_row_checked(0));
}

// An open dialog on a production LAN: one search at start, later ones only
// on Refresh (and during a job, while flashed devices await their verdict).
TEST_F(BatchDialogTest, AnIdleDialogSearchesOnceAndThenOnlyOnRefresh) {
    rt_set_time_speed(100);
    open_dialog(recording_options());
    ASSERT_TRUE(pump_until([&] { return requests_sent() == 1; }));
    pump_for(600);  // a minute of system time, idle
    EXPECT_EQ(requests_sent(), 1);
    click(IDC_BTN_REFRESH);
    EXPECT_EQ(requests_sent(), 2);
    pump_for(300);
    EXPECT_EQ(requests_sent(), 2);
}

TEST_F(BatchDialogTest, DiscoveryThreadChangesReachTheListOnlyThroughTheQueue) {
    CtervaneDlg& dlg = open_silent_dialog();
    std::thread merge([&dlg] {
        ListedDevice device{"02:00:00:00:03:01", "127.0.0.50", 8000, "1.0.0", 0x20, 5};
        dlg.device_table().update_dev_find_list(device, true);
    });
    merge.join();
    EXPECT_EQ(list().row_count(), 0);  // not yet: the GUI thread has not run
    EXPECT_TRUE(pump_until([this] { return list().row_count() == 1; }, 5000));
    EXPECT_EQ(list().cell(0, 2), "127.0.0.50");
}

TEST_F(BatchDialogTest, ReportsAreShownOnTheGuiThread) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(2);
    CBatchJob& job = dlg.job();
    std::thread worker([&job] {
        job.post(REPORT_PROGRESS, 40);
        job.post(REPORT_COUNT, report_pair(1, 4));
        job.post_status(0, 8);
        job.post_status(0, 9);
        job.post_status(1, 20);
        job.post_status(1, 28);
        job.post_status(1, kStatusCount);
    });
    worker.join();
    EXPECT_TRUE(pump_until([&] { return list().cell(1, 12) == " "; }, 5000));
    EXPECT_EQ(dlg.progress(IDC_PROGRESS), 40);
    EXPECT_EQ(dlg.text(IDC_LABEL_COUNT), "1/4");
    EXPECT_EQ(list().cell(0, 7), "\u00d7");  // 9 marks the column and says the upgrade failed
    EXPECT_EQ(list().cell(0, 12), text_of("IDS_UPGRADE_FAILED"));
    for (int column = 6; column <= 12; ++column) EXPECT_EQ(list().cell(1, column), " ") << column;

    job.post(REPORT_RUN_STATE, 0);
    EXPECT_TRUE(pump_until([&] { return dlg.progress(IDC_PROGRESS) == 0; }, 5000));
    EXPECT_EQ(dlg.text(IDC_LABEL_COUNT), "");
}

// A hundred workers report at once when a job starts: the dialog takes the
// burst into its table and display, and moves the widgets once per turn of
// the event loop, not once per report.
TEST_F(BatchDialogTest, ABurstOfReportsMovesTheWidgetsOncePerTurnNotPerReport) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(100);
    int bar_changes = 0, cell_changes = 0;
    QObject::connect(dlg.control_as<QProgressBar>(IDC_PROGRESS), &QProgressBar::valueChanged, [&] { ++bar_changes; });
    QObject::connect(&list(), &QTableWidget::itemChanged, [&] { ++cell_changes; });
    CBatchJob& job = dlg.job();
    std::thread worker([&job] {
        for (int done = 1; done <= 100; ++done) {
            job.post(REPORT_PROGRESS, done);
            job.post(REPORT_COUNT, report_pair(done, 100));
            job.post_status(done - 1, 8);
        }
    });
    worker.join();
    EXPECT_TRUE(pump_until([&] { return list().cell(99, 7) == "\u221a"; }, 5000));
    EXPECT_EQ(dlg.progress(IDC_PROGRESS), 100);
    EXPECT_EQ(dlg.text(IDC_LABEL_COUNT), "100/100");
    EXPECT_LT(bar_changes, 10);  // a hundred progress reports

    // Reports that change nothing the user sees touch no widget.
    bar_changes = cell_changes = 0;
    job.post(REPORT_PROGRESS, 50);
    job.post(REPORT_COUNT, report_pair(99, 100));
    job.post_status(0, 8);
    pump_until([&] { return job.reports().size() == 0; }, 5000);
    pump_until([] { return false; }, 50);
    EXPECT_EQ(bar_changes, 0);
    EXPECT_EQ(cell_changes, 0);
    EXPECT_EQ(dlg.progress(IDC_PROGRESS), 100);
    EXPECT_EQ(dlg.text(IDC_LABEL_COUNT), "100/100");
}

TEST_F(BatchDialogTest, ReportsGoOnWhileTheAllFinishedPromptIsOpen) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(1);
    std::string column7_while_open;
    boxes.while_open([&](const ui::ShownMessageBox&) {
        dlg.job().post_status(0, 8);
        pump_until([&] { return list().cell(0, 7) == "\u221a"; }, 5000);
        column7_while_open = list().cell(0, 7);
    });
    dlg.job().post(REPORT_ALL_FINISHED, 0);
    EXPECT_TRUE(pump_until([&] { return !boxes.shown().empty(); }, 5000));
    EXPECT_EQ(boxes.shown()[0].text, text_of("IDS_ALL_FINISH"));
    EXPECT_EQ(boxes.shown()[0].title, text_of("IDS_PROMPT"));
    EXPECT_EQ(column7_while_open, "\u221a");
}

TEST_F(BatchDialogTest, ClosingWithoutAJobAndOpeningAgain) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(2);
    dlg.set_checked(IDC_CHECK_DHCP, true);
    dlg.set_text(IDC_EDIT_USER, "");
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(boxes.shown().empty());  // no job: no question
    EXPECT_FALSE(dlg.discovery().started());
    dlg.device_table().update_dev_find_list({"02:00:00:00:04:01", "127.0.0.9", 1, "1", 1, 5}, true);
    pump_for(50);  // a change after the close reaches no closed window

    dlg.show();
    EXPECT_TRUE(dlg.discovery().started());
    EXPECT_EQ(list().row_count(), 0);
    EXPECT_EQ(dlg.text(IDC_EDIT_USER), "Admin");
    EXPECT_FALSE(dlg.is_checked(IDC_CHECK_DHCP));
    EXPECT_FALSE(dlg.is_enabled(IDC_BTN_SET_NETWORK));
}

TEST_F(BatchDialogTest, EnterDoesNotCloseTheDialog) {
    CtervaneDlg& dlg = open_silent_dialog();
    dlg.set_focus(IDC_EDIT_FW_PATH);
    QTest::keyClick(dlg.control(IDC_EDIT_FW_PATH), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(boxes.shown().empty());
}

// A job the engine refuses says why, as the command line does: the user
// cannot mend a field the message does not point to.
TEST_F(BatchDialogTest, RefusedStartNamesTheReason) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(1);
    list().set_row_checked(0, true);
    dlg.set_text(IDC_EDIT_DEFAULT_PWD, std::string(32, 'p'));
    click(IDC_BTN_SET_PASSWORD);
    dlg.set_text(IDC_EDIT_UID, "uid;reboot");
    click(IDC_BTN_SET_UID);
    const std::string fail = text_of("IDS_START_UPGRADE_FAIL");
    EXPECT_EQ(shown_texts(), (std::vector<std::string>{fail + "\n" + text_of("IDS_DEFAULT_PWD_TOO_LONG"),
                                                       fail + "\n" + text_of("IDS_UID_NOT_ALLOWED")}));
    EXPECT_FALSE(dlg.running());
}

// Space toggles the current row's box from whichever column the cursor is
// in. While a job runs the list still scrolls to its last row, yet no box
// changes and no row is picked.
TEST_F(BatchDialogTest, SpaceTogglesFromAnyColumnAndTheListScrollsDuringAJob) {
    CtervaneDlg& dlg = open_silent_dialog();
    add_devices(60);
    list().setFocus();
    list().setCurrentCell(3, 4);
    QTest::keyClick(&list(), Qt::Key_Space);
    EXPECT_TRUE(list().is_row_checked(3));
    EXPECT_TRUE(dlg.device_table().rows()[3].checked);
    QTest::keyClick(&list(), Qt::Key_Space);
    EXPECT_FALSE(dlg.device_table().rows()[3].checked);

    dlg.job().set_shell_runner([](const std::string&) { return 0; });
    click(IDC_BTN_SELECT_ALL);
    QTemporaryDir scratch;
    const std::string firmware = scratch.path().toStdString() + "/firmware.update";
    ASSERT_TRUE(write_sim_firmware(firmware, 64 * 1024));
    dlg.set_text(IDC_EDIT_FW_PATH, firmware);
    click(IDC_BTN_UPGRADE);  // the devices' ports are closed: the workers retry their logins
    ASSERT_TRUE(pump_until([&] { return dlg.running(); }));  // after the file's check
    EXPECT_FALSE(dlg.is_enabled(IDC_LIST_DEVICES));
    QScrollBar* bar = list().verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_TRUE(bar->isEnabled());
    QTest::keyClick(&list(), Qt::Key_Space);
    EXPECT_TRUE(dlg.device_table().rows()[3].checked);
    QWheelEvent wheel(QPointF(10, 10), list().viewport()->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120 * 30),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list().viewport(), &wheel);
    EXPECT_GT(bar->value(), 0);
    const int current = list().currentRow();
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, list().visualItemRect(list().item(bar->value() + 1, 0)).center());
    EXPECT_EQ(list().currentRow(), current);
    click(IDC_BTN_STOP);
    EXPECT_FALSE(dlg.running());
    EXPECT_TRUE(dlg.is_enabled(IDC_LIST_DEVICES));
}

// At every common laptop size, with the Latin or the CJK desktop font (the
// Chinese locale's, with taller lines), the dialog fits the room the screen
// leaves beside a window frame and a panel, and every control lies inside it
// with its caption whole.
TEST_F(BatchDialogTest, FitsCommonLaptopScreensWithEitherFont) {
    const QFont latin = QApplication::font();
    for (const QFont& font : {latin, QFont("Noto Sans CJK SC")}) {
        QApplication::setFont(font);
        CtervaneDlg& dlg = open_silent_dialog();
        for (const QSize screen : {QSize(1366, 768), QSize(1280, 720)}) {
            const QSize room(screen.width() - 16, screen.height() - 40 - 48);
            dlg.fit_to(room);
            const std::string where = font.family().toStdString() + " " + std::to_string(screen.width());
            EXPECT_LE(dlg.width(), room.width()) << where;
            EXPECT_LE(dlg.height(), room.height()) << where;
            for (int id : dlg.control_ids()) {
                if (dlg.control(id)->isHidden()) continue;
                EXPECT_TRUE(dlg.rect().contains(dlg.control_rect(id))) << where << " control " << id;
            }
            EXPECT_EQ(dlg.clipped_controls(), std::vector<int>{}) << where;
            std::printf("batch dialog %s: %dx%d at %.0f %% of its font\n", where.c_str(), dlg.width(), dlg.height(),
                        dlg.font_scale() * 100);
        }
        dialog.reset();
    }
    QApplication::setFont(latin);
}
