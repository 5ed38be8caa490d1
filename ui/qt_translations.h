#pragma once

#include <memory>
#include <string>

class QTranslator;

namespace ui {

// Qt's own texts (message-box and file-dialog buttons, context menus) in the
// language a dialog speaks. While a dialog whose language file serves the
// user's locale is open, Qt's translation for that locale (Debian
// qt6-translations-l10n) is installed; a dialog in the default English file
// keeps Qt's built-in English, so no window mixes two languages.
class QtTranslations {
public:
    QtTranslations();
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // Installs the translation when `lang_file` serves the user's locale and
    // Qt has one for it; removes an installed one otherwise.
    void follow(const std::string& lang_file);
    void remove();
    bool installed() const { return m_installed; }

private:
    std::unique_ptr<QTranslator> m_translator;
    bool m_installed = false;
};

}  // namespace ui
