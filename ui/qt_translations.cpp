#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "runtime/ini_file.h"
#include "runtime/lang.h"

namespace ui {

namespace {

bool serves_user_locale(const std::string& lang_file) {
    const std::string codes = ini_read_string(lang_file, "CharsetType", "LanguageCode", "", 127);
    return codes.find(user_lang_id()) != std::string::npos;
}

}  // namespace

QtTranslations::QtTranslations() : m_translator(std::make_unique<QTranslator>()) {}

QtTranslations::~QtTranslations() { remove(); }

void QtTranslations::follow(const std::string& lang_file) {
    remove();
    if (!serves_user_locale(lang_file)) return;
    const QLocale locale(QString::fromStdString(user_locale()));
    if (!m_translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    m_installed = QCoreApplication::installTranslator(m_translator.get());
}

void QtTranslations::remove() {
    if (m_installed) QCoreApplication::removeTranslator(m_translator.get());
    m_installed = false;
}

}  // namespace ui
