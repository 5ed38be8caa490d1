#pragma once

#include <QTemporaryDir>
#include <fstream>
#include <string>

// A language file of a few keys in a temporary directory, for one test,
// serving the given language identifier.
class TempLangFile {
public:
    explicit TempLangFile(const std::string& string_table, const std::string& language_code = "0409") {
        m_path = m_dir.path().toStdString() + "/vesmira_en.ini";
        std::ofstream(m_path) << "[CharsetType]\nLanguageCode=" << language_code << "\n[StringTable]\n" << string_table;
    }
    const std::string& path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};
