// Every control of the three dialogs has an accessible name, as assistive
// technology reads it: buttons and boxes by their captions, fields, combos,
// lists and pictures by the label beside them or a text of their own, in the
// dialog's language.
#include <QAccessible>
#include <QLabel>

#include "batch/dialog/batch_dlg_controls.h"
#include "factory_test/dialog/ipc_test_controls.h"
#include "launcher_fixture.h"
#include "runtime/lang.h"
#include "ui/ip_address_edit.h"

namespace {

QString accessible_name(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

// Controls whose accessible name is empty; a label without text has
// nothing to say and is left out.
std::vector<int> unnamed_controls(const ui::DialogBase& dialog) {
    std::vector<int> unnamed;
    for (int id : dialog.control_ids()) {
        QWidget* widget = dialog.control(id);
        auto* label = qobject_cast<QLabel*>(widget);
        if (label && label->text().isEmpty() && label->pixmap().isNull()) continue;
        bool named = !accessible_name(widget).isEmpty();
        if (auto* ip = qobject_cast<ui::IpAddressEdit*>(widget))
            for (QWidget* octet : ip->focus_chain()) named = named && !accessible_name(octet).isEmpty();
        if (!named) unnamed.push_back(id);
    }
    return unnamed;
}

using AccessibleNamesTest = LauncherTest;

}  // namespace

TEST_F(AccessibleNamesTest, EveryControlOfTheThreeDialogsIsNamed) {
    CGuideMenu& m = open_menu();
    EXPECT_EQ(unnamed_controls(m), std::vector<int>{});
    auto batch = when_shown(m.batch_dialog(), [&] { EXPECT_EQ(unnamed_controls(m.batch_dialog()), std::vector<int>{}); });
    m.OnBnClickedButtonTervane();
    EXPECT_TRUE(*batch);
    auto bench = when_shown(m.test_dialog(), [&] { EXPECT_EQ(unnamed_controls(m.test_dialog()), std::vector<int>{}); });
    m.OnBnClickedButtonIpcTest();
    EXPECT_TRUE(*bench);
}

TEST_F(AccessibleNamesTest, NamesComeFromTheLabelsInTheDialogsLanguage) {
    CGuideMenu& m = open_menu();
    CIpcTest& bench = m.test_dialog();
    bench.set_lang_file(lang_dir() + "/vesmira_cn.ini");
    auto shown = when_shown(bench, [&] {
        EXPECT_EQ(accessible_name(bench.control(IDC_EDIT_VERSION)).toStdString(), bench.text(IDC_CHECK_VERSION));
        EXPECT_EQ(accessible_name(bench.control(IDC_LIST_DEVICE)).toStdString(), "设备列表");
        EXPECT_EQ(accessible_name(bench.control(IDC_VIDEO)).toStdString(), "实时视频");
        EXPECT_EQ(accessible_name(bench.control(IDC_LIST_RESULT)).toStdString(), bench.text(IDC_GROUP_RESULTS));
    });
    m.OnBnClickedButtonIpcTest();
    EXPECT_TRUE(*shown);

    CtervaneDlg& batch = m.batch_dialog();
    auto batch_shown = when_shown(batch, [&] {
        EXPECT_EQ(accessible_name(batch.control(batch_dlg::IDC_EDIT_FW_PATH)).toStdString(), "Upgrade firmware");
        auto* gateway = batch.ip_field(batch_dlg::IDC_IP_GATEWAY);
        EXPECT_EQ(accessible_name(gateway).toStdString(), "Gateway");
        EXPECT_EQ(accessible_name(gateway->focus_chain()[3]).toStdString(), "Gateway 4/4");
    });
    m.OnBnClickedButtonTervane();
    EXPECT_TRUE(*batch_shown);
}
