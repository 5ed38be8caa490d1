#include "ui/scripted_services.h"

namespace ui {

MsgResult ScriptedMessageBoxes::show(QWidget*, const std::string& title, const std::string& text,
                                     MsgButtons buttons, MsgIcon icon) {
    m_shown.push_back({title, text, buttons, icon});
    // A copy: the hook may show further boxes, which grows m_shown.
    const ShownMessageBox box = m_shown.back();
    if (m_while_open) m_while_open(box);
    if (!m_answers.empty()) {
        const MsgResult answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
}

std::optional<std::string> ScriptedFileDialogs::next_answer() {
    if (m_answers.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(m_answers.front());
    m_answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedFileDialogs::open_file(QWidget*, const std::string& filter,
                                                          const std::string& default_suffix) {
    m_shown.push_back({filter, default_suffix, false, ""});
    return next_answer();
}

std::optional<std::string> ScriptedFileDialogs::save_file(QWidget*, const std::string& filter,
                                                          const std::string& default_suffix,
                                                          const std::string& suggested_name) {
    m_shown.push_back({filter, default_suffix, true, suggested_name});
    return next_answer();
}

}  // namespace ui
