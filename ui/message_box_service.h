#pragma once

#include <string>

class QWidget;

namespace ui {

enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgIcon { None, Information, Exclamation, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

// Shows a modal message box and returns the button the user chose. Dialogs
// reach message boxes only through this interface, so tests can record the
// boxes and answer them without a user.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual MsgResult show(QWidget* parent, const std::string& title, const std::string& text, MsgButtons buttons,
                           MsgIcon icon) = 0;
};

// The real one: a QMessageBox. Closing the box without a button (Escape, the
// window's close) answers Cancel or No where the box has one, else Ok.
class QtMessageBoxService : public MessageBoxService {
public:
    MsgResult show(QWidget* parent, const std::string& title, const std::string& text, MsgButtons buttons,
                   MsgIcon icon) override;
};

}  // namespace ui
