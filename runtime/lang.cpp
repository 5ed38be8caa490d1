#include "runtime/lang.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "runtime/ini_file.h"

namespace {

constexpr const char* kDefaultName = "vesmira_en.ini";
constexpr std::size_t kMaxValueChars = 127;

bool is_regular_file(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ends_with_ini(const std::string& name) { return name.size() >= 4 && name.compare(name.size() - 4, 4, ".ini") == 0; }

// Regular files of `dir` whose names contain "vesmira" and end in ".ini", by
// name: an editor's or a backup's copy ("vesmira_cn.ini~", ".ini.bak",
// ".vesmira_cn.ini.swp") is no language file and must not win over one.
std::vector<std::string> candidate_files(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name.find("vesmira") == std::string::npos || !ends_with_ini(name)) continue;
        if (is_regular_file(dir + "/" + name)) names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::string exe_dir() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string full(path, static_cast<std::size_t>(n));
    std::size_t slash = full.rfind('/');
    return slash == std::string::npos ? "." : full.substr(0, slash);
}

std::string lang_dir() {
    std::string dir = exe_dir();
    if (is_regular_file(dir + "/" + kDefaultName)) return dir;
    std::string installed = dir + "/../share/tervane";
    if (is_regular_file(installed + "/" + kDefaultName)) return installed;
    return dir;
}

std::string lang_default_file() { return lang_dir() + "/" + kDefaultName; }

std::string lang_file_for(const std::string& dir, const std::string& lang_id) {
    for (const std::string& name : candidate_files(dir)) {
        std::string path = dir + "/" + name;
        std::string codes = ini_read_string(path, "CharsetType", "LanguageCode", "", kMaxValueChars);
        if (!lang_id.empty() && codes.find(lang_id) != std::string::npos) return path;
    }
    return dir + "/" + kDefaultName;
}

std::string lang_locale_file() { return lang_file_for(lang_dir(), user_lang_id()); }

std::string lang_string(const std::string& file, const std::string& key) {
    return ini_read_string(file, "StringTable", key, "", kMaxValueChars);
}

std::string user_locale() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) return value;
    }
    return "";
}

std::string user_lang_id() {
    const std::string id = lang_id_for_locale(user_locale());
    return id.empty() ? "0409" : id;
}

std::string lang_id_for_locale(const std::string& locale) {
    // language_TERRITORY, without codeset and modifier
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    struct Entry {
        const char* name;
        const char* id;
    };
    static const Entry kTable[] = {
        {"en_US", "0409"}, {"en_GB", "0809"}, {"en_AU", "0c09"}, {"en_CA", "1009"}, {"en_NZ", "1409"},
        {"en_IE", "1809"}, {"en_IN", "4009"}, {"en", "0409"},    {"C", "0409"},     {"POSIX", "0409"},
        {"zh_CN", "0804"}, {"zh_SG", "1004"}, {"zh_TW", "0404"}, {"zh_HK", "0c04"}, {"zh_MO", "1404"},
        {"zh", "0804"},    {"de_DE", "0407"}, {"de_AT", "0c07"}, {"de_CH", "0807"}, {"de", "0407"},
        {"fr_FR", "040c"}, {"fr_BE", "080c"}, {"fr_CA", "0c0c"}, {"fr_CH", "100c"}, {"fr", "040c"},
        {"es_ES", "0c0a"}, {"es_MX", "080a"}, {"es", "0c0a"},    {"pt_BR", "0416"}, {"pt_PT", "0816"},
        {"pt", "0816"},    {"ru_RU", "0419"}, {"ru", "0419"},    {"ja_JP", "0411"}, {"ja", "0411"},
        {"ko_KR", "0412"}, {"ko", "0412"},    {"it_IT", "0410"}, {"it_CH", "0810"}, {"it", "0410"},
    };
    for (const Entry& e : kTable)
        if (name == e.name) return e.id;
    std::string language = name.substr(0, name.find('_'));
    for (const Entry& e : kTable)
        if (language == e.name) return e.id;
    return "";
}
