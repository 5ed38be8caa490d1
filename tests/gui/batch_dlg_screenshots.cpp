// Renders the batch dialog's screenshots for the documentation, offscreen,
// with ten simulated cameras on loopback addresses (seven native, three
// ONVIF ones, two of them added by address) and English texts:
//   batch_dlg_screenshots <output directory>
// writes batch-idle.png (the cameras listed) and batch-running.png (an
// upgrade of the checked ones under way). Set QT_SCALE_FACTOR=2 for a 200 %
// rendering.
#include <QAbstractButton>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "batch/dialog/batch_dlg_controls.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim_cameras.h"
#include "ui/report_list.h"
#include "ui/scripted_services.h"

using namespace batch_dlg;

namespace {

bool save(QWidget& dialog, const std::string& path) {
    const bool saved = dialog.grab().save(QString::fromStdString(path));
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "cannot write", path.c_str());
    return saved;
}

}  // namespace

// The offscreen platform's own screen (800x600) would shrink the dialog to
// fit; a desktop's screen shows it at its own font.
void use_desktop_sized_offscreen_screen(const std::string& config) {
    std::ofstream(config) << R"({"screens": [{"name": "shot", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                             R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.c_str());
}

int main(int argc, char** argv) {
    QTemporaryDir screen_dir;  // its screen's description, for this run only
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        use_desktop_sized_offscreen_screen(screen_dir.filePath("screen.json").toStdString());
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    std::filesystem::create_directories(out);
    std::freopen("/dev/null", "w", stdout);  // the discovery layer prints its XML there
    set_trace_sink(&trace_null_sink, nullptr);
    QTemporaryDir scratch;  // settings and firmware of this run only
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
    ui::ScriptedMessageBoxes boxes;
    ui::set_default_ui_services({&boxes, nullptr});
    rt_set_time_speed(20);

    // The ONVIF cameras' identity is read with the stored login.
    QSettings("vesmira", "velquist").setValue("pass", "tovik");
    SimCameras cameras(7, 600000, 3);
    if (std::string error = cameras.start(); !error.empty()) {
        std::fprintf(stderr, "cameras: %s\n", error.c_str());
        return 1;
    }
    const std::string firmware = scratch.path().toStdString() + "/ipc-v1.0.1.update";
    if (!write_sim_firmware(firmware, 24 * 1024 * 1024)) return 1;

    CtervaneDlg dialog(nullptr, cameras.dialog_options());
    dialog.set_lang_file(lang_default_file());
    dialog.show();
    ui::ReportList& list = *dialog.report_list(IDC_LIST_DEVICES);
    dialog.set_text(IDC_EDIT_ADD_ADDRESS, cameras.onvif_ip(1) + "-" + cameras.onvif_ip(3));
    dialog.control_as<QAbstractButton>(IDC_BTN_ADD_ADDRESS)->click();
    auto all_identified = [&] {
        if (list.row_count() != 10) return false;
        for (int row = 0; row < 10; ++row)
            if (list.cell(row, 4).empty()) return false;
        return true;
    };
    if (!pump_until(all_identified, 20000)) {
        std::fprintf(stderr, "only %d cameras listed\n", list.row_count());
        return 1;
    }
    dialog.set_text(IDC_EDIT_FW_PATH, firmware);
    for (int row : {0, 1, 2, 4, 5, 7, 8, 9}) list.set_row_checked(row, true);
    if (!save(dialog, out + "/batch-idle.png")) return 1;

    dialog.control_as<QAbstractButton>(IDC_BTN_UPGRADE)->click();
    pump_until([&] { return dialog.progress(IDC_PROGRESS) >= 12; }, 30000);
    const bool saved = save(dialog, out + "/batch-running.png");
    boxes.answer_next(ui::MsgResult::Ok);  // the close confirmation
    dialog.close();
    ui::set_default_ui_services({});
    return saved ? 0 : 1;
}
