#include "ui/message_box_service.h"

#include <QMessageBox>

#include "ui/qt_text.h"

namespace ui {

namespace {

QMessageBox::Icon qt_icon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qt_buttons(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

MsgResult from_qt(int button, MsgButtons buttons) {
    switch (button) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: break;
    }
    if (buttons == MsgButtons::OkCancel) return MsgResult::Cancel;
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

}  // namespace

MsgResult QtMessageBoxService::show(QWidget* parent, const std::string& title, const std::string& text,
                                    MsgButtons buttons, MsgIcon icon) {
    QMessageBox box(qt_icon(icon), to_q(title), to_q(text), qt_buttons(buttons), parent);
    if (buttons == MsgButtons::OkCancel) box.setEscapeButton(QMessageBox::Cancel);
    return from_qt(box.exec(), buttons);
}

}  // namespace ui
