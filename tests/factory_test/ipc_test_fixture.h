#pragma once

// The test dialog against simulated cameras on a loopback address of the
// test's own, with an in-memory discovery network, scripted message boxes
// and time sped up.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "factory_test/dialog/ipc_test.h"
#include "factory_test/dialog/ipc_test_controls.h"
#include "factory_test/test_record.h"
#include "tests/client/sim_fixture.h"
#include "tests/discovery/fake_network.h"
#include "ui/scripted_services.h"

// A working directory of the test's own while this lives: the records the
// bench writes land below it.
class OwnWorkingDir {
public:
    OwnWorkingDir()
        : m_old(std::filesystem::current_path()),
          m_dir(std::filesystem::temp_directory_path() / ("tervane_bench_" + std::to_string(getpid()))) {
        std::filesystem::create_directories(m_dir);
        std::filesystem::current_path(m_dir);
    }
    ~OwnWorkingDir() {
        std::filesystem::current_path(m_old);
        std::filesystem::remove_all(m_dir);
    }
    // The record of camera `mac` written here, "" for none.
    static std::string record(const std::string& mac) {
        std::ifstream in(test_record_path(mac), std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

private:
    std::filesystem::path m_old, m_dir;
};

class IpcTestFixture : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        DiscoveryOptions options;
        options.send_log = "";
        options.recv_log = "";
        // getifaddrs lists loopback first; the bench must not search from it.
        m_network.interfaces = {"127.0.0.1", "192.168.1.20"};
        m_dlg = std::make_unique<CIpcTest>(nullptr, &m_network, options);
        m_dlg->set_ui_services({&m_boxes, &m_files});
    }
    void TearDown() override {
        m_dlg.reset();
        SimFixture::TearDown();
    }

    // Opens the dialog with auto show switched off, so no worker races the test.
    void open() {
        m_dlg->show();
        pump();
        m_dlg->set_checked(IDC_CHECK_AUTO_SHOW, false);
        m_dlg->OnBnClickedCheckAutoShow();
    }
    // Lists camera `index` as discovery would (`is_new` 0: an update of its row).
    void list_camera(int index = 0, const char* version = "1.2.3", std::int32_t type = 2, int is_new = 1) {
        CameraIdentity id = m_simulator->cameras().at(index)->identity();
        DEV_INFO record{};
        std::snprintf(record.mac_address, sizeof(record.mac_address), "%s", id.mac.c_str());
        std::snprintf(record.ip_address, sizeof(record.ip_address), "%s", id.ip.c_str());
        std::snprintf(record.software_ver, sizeof(record.software_ver), "%s", version);
        record.device_type = type;
        record.board_type = id.board_type;
        m_dlg->update_dev_find_list(&record, is_new);
        pump();
    }
    void version_check(bool on, const std::string& typed = "") {
        m_dlg->set_checked(IDC_CHECK_VERSION, on);
        m_dlg->set_text(IDC_EDIT_VERSION, typed);
    }
    void capability(int light_type, int light_mode = 1, int mic = 1, int speaker = 1, int ptz = 1) {
        CAMERA_ADVANCE_CONFIG adv{};
        adv.light_type = static_cast<std::int8_t>(light_type);
        adv.light_mode = static_cast<std::int8_t>(light_mode);
        adv.mic = static_cast<std::int8_t>(mic);
        adv.speaker = static_cast<std::int8_t>(speaker);
        adv.ptz = static_cast<std::int8_t>(ptz);
        server().state().set_capability(adv);
    }
    std::vector<std::string> lines() {
        pump();
        std::vector<std::string> out;
        for (int i = 0; i < m_dlg->list_box_count(IDC_LIST_RESULT); ++i)
            out.push_back(m_dlg->list_box_line(IDC_LIST_RESULT, i));
        return out;
    }
    std::vector<std::string> texts(std::initializer_list<const char*> keys) {
        std::vector<std::string> out;
        for (const char* key : keys) out.push_back(m_dlg->lang(key));
        return out;
    }
    static void pump() { QApplication::processEvents(); }
    // Pumps the window's events (in sped-up time) until `done` holds.
    bool pump_until(const std::function<bool()>& done, std::int64_t budget_ms = 30000) {
        const std::function<bool()> pumped = [&] {
            pump();
            return done();
        };
        return ::wait_for(pumped, budget_ms);
    }

    FakeNetwork m_network;
    ui::ScriptedMessageBoxes m_boxes;
    ui::ScriptedFileDialogs m_files;
    std::unique_ptr<CIpcTest> m_dlg;
};
