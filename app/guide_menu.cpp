#include "app/guide_menu.h"

#include <QImage>
#include <QPixmap>

#include "app/logo_placement.h"
#include "runtime/lang.h"

namespace {

const ui::ControlSpec kControls[] = {
    {IDC_BTN_TERVANE, ui::ControlKind::Button, "upgrade", "IDS_TERVANE", {125, 121, 64, 26}, ui::kDefaultButton},
    {IDC_BTN_IPC_TEST, ui::ControlKind::Button, "ipctest", "IDS_IPC_TEST", {208, 120, 64, 26},
     ui::kHidden | ui::kDisabled},
    {IDC_LOGO, ui::ControlKind::Label, "", nullptr, {29, 18, 247, 75}},
};

// The picture is the tool's logo: it bears the tool's name.
const ui::NameSpec kNames[] = {{IDC_LOGO, 0, "IDS_CUSTOM_TOOL"}};

}  // namespace

CGuideMenu::CGuideMenu(LauncherOptions options)
    : m_tervane_dlg(nullptr, std::move(options.batch)),
      m_ipc_test(nullptr, options.test_transport, std::move(options.test_discovery)) {
    setWindowTitle("guide_menu");
    build({"IDS_CUSTOM_TOOL", 316, 185, 8}, kControls);
    name_controls(kNames);
    on_clicked(IDC_BTN_TERVANE, [this] { OnBnClickedButtonTervane(); });
    on_clicked(IDC_BTN_IPC_TEST, [this] { OnBnClickedButtonIpcTest(); });
}

void CGuideMenu::on_init() {
    if (lang_file().empty()) set_lang_file(lang_default_file());
    show_logo();
    apply_language();
}

// A missing or unreadable bitmap leaves the picture empty, at the table's
// size; either way the control is placed by the same rule.
void CGuideMenu::show_logo() {
    QImage image;
    QPixmap picture;
    if (image.load(kLogoFile, "BMP"))
        picture = QPixmap::fromImage(
            image.scaled(kLogoWidth, kLogoHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    set_picture(IDC_LOGO, picture);
    QRect rect = control_rect(IDC_LOGO);
    if (!picture.isNull()) rect.setSize(picture.size());
    const LogoPosition at = logo_position(width(), height(), rect.width(), rect.height());
    rect.moveTo(at.left, at.top);
    move_control(IDC_LOGO, rect);
}

void CGuideMenu::OnBnClickedButtonTervane() { m_tervane_dlg.exec(); }

void CGuideMenu::OnBnClickedButtonIpcTest() { m_ipc_test.exec(); }
