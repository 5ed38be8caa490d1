#pragma once

// Shared fixture of the launcher tests: a launcher whose two dialogs search a
// network on which nothing answers, whose message boxes are scripted, and
// which runs in a working directory of its own (where the picture is read).

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/guide_menu.h"
#include "discovery/xml_path.h"
#include "runtime/trace.h"
#include "tests/gui/sim_cameras.h"
#include "ui/scripted_services.h"

// Counts of the client library's init and release, kept by the linker's
// wrappers in launcher_test.cpp.
extern int g_client_inits;
extern int g_client_uninits;

// Runs `inside` once `dialog` is on screen (a modal run has begun), then
// closes it the way a user does. Returns a flag that tells whether it ran.
inline std::shared_ptr<bool> when_shown(QDialog& dialog, std::function<void()> inside = {}) {
    auto ran = std::make_shared<bool>(false);
    auto* poll = new QTimer(&dialog);
    QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, poll, ran, inside] {
        if (!dialog.isVisible()) return;
        poll->stop();
        poll->deleteLater();
        if (inside) inside();
        *ran = true;
        dialog.reject();
    });
    poll->start(5);
    return ran;
}

inline void pump_events(int real_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(real_ms);
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        set_trace_sink(&trace_null_sink, nullptr);
        xml_set_output(nullptr);
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        ui::set_default_ui_services({&m_boxes, &m_files});
        m_old_cwd = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.path().toStdString());
    }
    void TearDown() override {
        menu.reset();
        std::filesystem::current_path(m_old_cwd);
        ui::set_default_ui_services({});
        set_trace_sink(nullptr, nullptr);
        xml_set_output(stdout);
    }

    LauncherOptions silent_options() {
        LauncherOptions options;
        options.batch.transport = &m_silent;
        options.batch.discovery.send_log.clear();
        options.batch.discovery.recv_log.clear();
        options.batch.host_addresses = [] { return std::vector<std::string>{"127.0.0.2"}; };
        options.batch.shell_runner = [](const std::string&) { return 0; };
        options.test_transport = &m_silent;
        options.test_discovery.send_log.clear();
        options.test_discovery.recv_log.clear();
        return options;
    }
    CGuideMenu& make_menu() {
        menu = std::make_unique<CGuideMenu>(silent_options());
        return *menu;
    }
    CGuideMenu& open_menu() {
        make_menu().show();
        QCoreApplication::processEvents();
        return *menu;
    }
    // A language file in the working directory with the given StringTable lines.
    std::string write_lang_file(const std::string& name, const std::string& lines) {
        const std::string path = m_dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path) << "[CharsetType]\nLanguageCode=0409\n[StringTable]\n" << lines;
        return path;
    }

    std::unique_ptr<CGuideMenu> menu;
    QTemporaryDir m_dir;

private:
    SilentNetwork m_silent;
    ui::ScriptedMessageBoxes m_boxes;
    ui::ScriptedFileDialogs m_files;
    std::filesystem::path m_old_cwd;
};
