#pragma once

// Shared fixture of the batch dialog tests: a dialog whose message boxes and
// file dialogs are scripted, whose settings live in a temporary directory,
// and whose discovery either hears nothing (no sockets at all) or simulated
// cameras on loopback addresses of this process.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "batch/dialog/batch_dlg_controls.h"
#include "batch/dialog/tervane_dlg.h"
#include "batch/job_report_files.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim_cameras.h"
#include "tests/discovery/fake_network.h"
#include "ui/report_list.h"
#include "ui/scripted_services.h"

using namespace batch_dlg;

inline void pump_for(int real_ms) {
    pump_until([] { return false; }, real_ms);
}

class BatchDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        set_trace_sink(&trace_null_sink, nullptr);
        ASSERT_TRUE(m_settings_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings_dir.path());
        // Job reports go below the working directory.
        m_old_dir = std::filesystem::current_path();
        std::filesystem::current_path(m_settings_dir.path().toStdString());
        ui::set_default_ui_services({&boxes, &files});
    }
    void TearDown() override {
        dialog.reset();
        cameras.reset();
        ui::set_default_ui_services({});
        if (!m_old_dir.empty()) std::filesystem::current_path(m_old_dir);
        rt_set_time_speed(1);
        set_trace_sink(nullptr, nullptr);
    }

    // Options of a dialog whose discovery hears nothing.
    BatchDialogOptions silent_options() {
        BatchDialogOptions options;
        options.transport = &m_silent;
        options.discovery.send_log.clear();
        options.discovery.recv_log.clear();
        options.host_addresses = [] { return std::vector<std::string>{"127.0.0.2", "10.1.2.3"}; };
        options.shell_runner = [](const std::string&) { return 0; };
        return options;
    }
    CtervaneDlg& open_silent_dialog() { return open_dialog(silent_options()); }

    // Options of a dialog whose discovery hears nothing and whose every
    // datagram is kept (recorded.sent()).
    BatchDialogOptions recording_options() {
        BatchDialogOptions options = silent_options();
        options.transport = &recorded;
        return options;
    }
    // The search requests the dialog's discovery sent so far.
    int requests_sent() const {
        int requests = 0;
        for (const FakeNetwork::Datagram& datagram : recorded.sent())
            if (datagram.port == recorded.device_port) ++requests;
        return requests;
    }

    CtervaneDlg& open_dialog(BatchDialogOptions options) {
        dialog = std::make_unique<CtervaneDlg>(nullptr, std::move(options));
        dialog->show();
        return *dialog;
    }

    ui::ReportList& list() { return *dialog->report_list(IDC_LIST_DEVICES); }

    // Rows as discovery would list them.
    void add_devices(int count, const std::string& version = "1.0.0") {
        for (int i = 0; i < count; ++i) {
            ListedDevice device;
            device.mac = "02:00:00:00:01:" + std::to_string(10 + i);
            // Loopback addresses with a closed port: a job started by
            // mistake could never reach a real device.
            device.ip = "127.0.0." + std::to_string(100 + i);
            device.cmd_port = 9;
            device.software_ver = version;
            device.device_type = 5;
            dialog->device_table().update_dev_find_list(device, true);
        }
        dialog->show_device_table();
    }

    static std::string text_of(const std::string& key) { return lang_string(lang_default_file(), key); }

    // The texts of the message boxes shown so far.
    std::vector<std::string> shown_texts() const {
        std::vector<std::string> texts;
        for (const ui::ShownMessageBox& box : boxes.shown()) texts.push_back(box.text);
        return texts;
    }
    bool box_shown(const std::string& key) const {
        const std::vector<std::string> texts = shown_texts();
        return std::find(texts.begin(), texts.end(), text_of(key)) != texts.end();
    }

    // The settings file, once the dialog's last save has reached it.
    std::string settings_file() const {
        if (dialog) dialog->wait_for_saved_fields();
        return m_settings_dir.path().toStdString() + "/vesmira/velquist.conf";
    }

    // The job reports the dialog wrote, oldest first (base names without suffix).
    std::vector<std::string> job_reports() const {
        if (dialog) dialog->wait_for_job_report();
        std::vector<std::string> bases;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(kJobReportDir, error))
            if (entry.path().extension() == ".json") bases.push_back(std::filesystem::path(entry.path()).replace_extension().string());
        std::sort(bases.begin(), bases.end());
        return bases;
    }
    // A path in the test's own temporary directory.
    std::string temp_path(const std::string& name) const { return m_settings_dir.path().toStdString() + "/" + name; }

    void click(int id) {
        auto* button = dialog->control_as<QAbstractButton>(id);
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }

    // Starts simulated cameras and opens a dialog that searches them.
    CtervaneDlg& open_dialog_with_cameras(int count, std::int64_t reboot_ms = 3000) {
        cameras = std::make_unique<SimCameras>(count, reboot_ms);
        const std::string error = cameras->start();
        EXPECT_EQ(error, "");
        return open_dialog(cameras->dialog_options());
    }

    ui::ScriptedMessageBoxes boxes;
    ui::ScriptedFileDialogs files;
    FakeNetwork recorded;                 // outlives the dialog, which sends into it
    std::unique_ptr<SimCameras> cameras;  // outlives the dialog, which searches it
    std::unique_ptr<CtervaneDlg> dialog;

private:
    QTemporaryDir m_settings_dir;
    std::filesystem::path m_old_dir;
    SilentNetwork m_silent;
};

// The dialog against simulated cameras, time running 100 times faster, with
// a firmware file path of the test's own.
class BatchDialogSimFixture : public BatchDialogTest {
protected:
    void SetUp() override {
        BatchDialogTest::SetUp();
        rt_set_time_speed(100);
    }
    void TearDown() override {
        BatchDialogTest::TearDown();
        std::filesystem::remove(m_firmware);
    }

    std::string m_firmware =
        (std::filesystem::temp_directory_path() / ("batch_dlg_" + std::to_string(::getpid()) + ".update")).string();
};
