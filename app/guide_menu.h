#pragma once

#include "batch/dialog/tervane_dlg.h"
#include "factory_test/dialog/ipc_test.h"
#include "ui/dialog_base.h"

// Control ids of the launcher.
enum GuideMenuControl {
    IDC_BTN_TERVANE = 1101,  // opens the batch dialog; the default button
    IDC_BTN_IPC_TEST = 1102, // opens the test bench; created hidden and disabled
    IDC_LOGO = 1105,         // the picture
};

// The launcher's picture: a bitmap in the working directory, stretched to a
// fixed size.
constexpr const char* kLogoFile = "./logo.bmp";
constexpr int kLogoWidth = 390;
constexpr int kLogoHeight = 150;

// What the two dialogs are wired to; the defaults are the real network.
struct LauncherOptions {
    BatchDialogOptions batch;
    IUdpTransport* test_transport = nullptr;  // null: real sockets (not owned)
    DiscoveryOptions test_discovery;
};

// The program's main window: a picture and the buttons of the two dialogs.
// Both dialogs are members, built with the launcher and destroyed with it,
// so a dialog closed and opened again is the same object with its members.
class CGuideMenu : public ui::DialogBase {
    Q_OBJECT
public:
    explicit CGuideMenu(LauncherOptions options = {});

    CtervaneDlg& batch_dialog() { return m_tervane_dlg; }
    CIpcTest& test_dialog() { return m_ipc_test; }

    // Button handlers: each runs its dialog modally and returns when it closes.
    void OnBnClickedButtonTervane();
    void OnBnClickedButtonIpcTest();

protected:
    void on_init() override;

private:
    void show_logo();

    CtervaneDlg m_tervane_dlg;
    CIpcTest m_ipc_test;
};
