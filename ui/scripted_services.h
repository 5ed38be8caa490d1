#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/file_dialog_service.h"
#include "ui/message_box_service.h"

namespace ui {

// Stand-ins for tests: they record every message box and file dialog a dialog
// opens and answer from a script instead of waiting for a user.

struct ShownMessageBox {
    std::string title;
    std::string text;
    MsgButtons buttons;
    MsgIcon icon;
};

class ScriptedMessageBoxes : public MessageBoxService {
public:
    // Answers for the next boxes, in order; when none is queued a box is
    // answered with its first button (Ok or Yes).
    void answer_next(MsgResult result) { m_answers.push_back(result); }

    // Runs while each box is "open", before it is answered: a test can pump
    // the event loop here to see what the dialog does meanwhile.
    void while_open(std::function<void(const ShownMessageBox&)> hook) { m_while_open = std::move(hook); }

    const std::vector<ShownMessageBox>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

    MsgResult show(QWidget* parent, const std::string& title, const std::string& text, MsgButtons buttons,
                   MsgIcon icon) override;

private:
    std::deque<MsgResult> m_answers;
    std::vector<ShownMessageBox> m_shown;
    std::function<void(const ShownMessageBox&)> m_while_open;
};

struct ShownFileDialog {
    std::string filter;
    std::string default_suffix;
    bool save = false;
    std::string suggested_name;  // save dialogs only
};

class ScriptedFileDialogs : public FileDialogService {
public:
    // The path the next dialog (open or save) returns; std::nullopt stands
    // for Cancel, as does an empty script.
    void answer_next(std::optional<std::string> path) { m_answers.push_back(std::move(path)); }

    const std::vector<ShownFileDialog>& shown() const { return m_shown; }

    std::optional<std::string> open_file(QWidget* parent, const std::string& filter,
                                         const std::string& default_suffix) override;
    std::optional<std::string> save_file(QWidget* parent, const std::string& filter,
                                         const std::string& default_suffix,
                                         const std::string& suggested_name) override;

private:
    std::optional<std::string> next_answer();

    std::deque<std::optional<std::string>> m_answers;
    std::vector<ShownFileDialog> m_shown;
};

}  // namespace ui
