// Checks the shipped language files: every key the program looks up has a
// text in every file, texts fit the 127-character lookup buffer, no key is
// defined twice, and each file names the language it serves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/ini_file.h"
#include "runtime/lang.h"

namespace fs = std::filesystem;

namespace {

// The texts the dialogs look up; kept here so a lost key fails even before
// the code that uses it exists.
const std::set<std::string> kKnownKeys = {
    "IDS_1X_MAGNIFY", "IDS_5X_MAGNIFY", "IDS_ALL", "IDS_ALREADY_CURRENT_VERSION",
    "IDS_ALL_FINISH", "IDS_ALL_IP_CONFLICT", "IDS_AUTO",
    "IDS_AUTO_CONFIG", "IDS_AUTO_SHOW", "IDS_AUTO_TEST_ITEM",
    "IDS_BROWSE", "IDS_CHANGE_IP_FAIL", "IDS_CONFIGURATION_ITEM",
    "IDS_CUSTOM_TOOL", "IDS_DEFAULT_CHANNEL", "IDS_DEFAULT_PWD",
    "IDS_DEVICE_TYPE", "IDS_DHCP", "IDS_DISMATCH_UPGRADE_BOARD_TYPE",
    "IDS_DISMATCH_UPGRADE_VERSION", "IDS_DOUBLE_LIGHT", "IDS_ERROR",
    "IDS_FIRMWARE_DAMAGED", "IDS_JOB_REPORT_FAILED",
    "IDS_FORMAT_HINT", "IDS_HARD_LIGHT", "IDS_HINT",
    "IDS_ID_NUMBER", "IDS_INFRARED_LAMP", "IDS_INPUT_USER_NAME",
    "IDS_INSERT_VERSION", "IDS_INVALID_IP_ADDR", "IDS_INVALID_UPGRADE_FILE",
    "IDS_IPC_TEST", "IDS_IP_ADDR", "IDS_IP_ADDR_RANGE",
    "IDS_IP_CONFIG", "IDS_IP_DNS1", "IDS_IP_DNS2",
    "IDS_IP_END_ERROR_LESS_START", "IDS_IP_GATEWAY", "IDS_IP_RANGE_DISMATCH",
    "IDS_IP_SUBMASK", "IDS_IRCUT_CLOSE", "IDS_IRCUT_OPEN",
    "IDS_IS_LOGINING", "IDS_IS_UPGRADE", "IDS_LANGUAGE",
    "IDS_LANGUAGE_0", "IDS_LANGUAGE_1", "IDS_LANGUAGE_10",
    "IDS_LANGUAGE_11", "IDS_LANGUAGE_12", "IDS_LANGUAGE_13",
    "IDS_LANGUAGE_14", "IDS_LANGUAGE_15", "IDS_LANGUAGE_16",
    "IDS_LANGUAGE_17", "IDS_LANGUAGE_18", "IDS_LANGUAGE_19",
    "IDS_LANGUAGE_2", "IDS_LANGUAGE_20", "IDS_LANGUAGE_3",
    "IDS_LANGUAGE_4", "IDS_LANGUAGE_5", "IDS_LANGUAGE_6",
    "IDS_LANGUAGE_7", "IDS_LANGUAGE_8", "IDS_LANGUAGE_9",
    "IDS_LIVE_EROOR", "IDS_LIVE_NORMAL", "IDS_LOGIN_FAIL",
    "IDS_LOGIN_MAX_USER", "IDS_MANUAL_OPERATION", "IDS_MAX_CHANNEL_NUM",
    "IDS_MIC", "IDS_MODULE_CREATE_FILE_FAILED", "IDS_MODULE_DIRECTION_NOMARL",
    "IDS_MODULE_DIRECTION_REVERSE", "IDS_MODULE_GET_PARAM_FAILED", "IDS_NEED_UPDATE_FIRST",
    "IDS_NETWORK_CARD", "IDS_NETWORK_ERROR", "IDS_PASSWORD",
    "IDS_PROGRESS", "IDS_PROMPT", "IDS_QUIT_UPGRADE_CONFIRM",
    "IDS_REFRESH", "IDS_RESET", "IDS_RESET_PWD",
    "IDS_RESTORE_FACTORY_SETTINGS", "IDS_SELECT_ALL", "IDS_SELECT_INVERT",
    "IDS_SEND", "IDS_SEND_COMMAND", "IDS_SEND_COMMAND_FAILED",
    "IDS_SEND_COMMAND_SUCCESS", "IDS_SET", "IDS_SETTING_FAILED",
    "IDS_SETTING_SUCCESS", "IDS_SETTING_SUCCESS_REBOOT", "IDS_SET_DEFAULT_IPC",
    "IDS_SOFTWARE_VERSION", "IDS_SOFT_LIGHT", "IDS_SPEAKER",
    "IDS_START", "IDS_START_EXECUTION", "IDS_START_UPGRADE",
    "IDS_START_UPGRADE_FAIL", "IDS_STOP", "IDS_SUPPORT_DOUBLE_LIGHT",
    "IDS_SUPPORT_INFRARED_LAMP", "IDS_SUPPORT_MIC", "IDS_SUPPORT_PWM_DOUBLE_LIGHT",
    "IDS_SUPPORT_PWM_INFRARED_LAMP", "IDS_SUPPORT_PWM_WHITE_LIGHT", "IDS_SUPPORT_SPEAKER",
    "IDS_SUPPORT_WHITE_LIGHT", "IDS_SYNC", "IDS_TERVANE",
    "IDS_TEST_ITEM", "IDS_TIME_FMT", "IDS_TIME_FORMAT_0",
    "IDS_TIME_FORMAT_1", "IDS_TIME_FORMAT_2", "IDS_TIME_FORMAT_3",
    "IDS_TIME_SYNC", "IDS_TIME_SYNC_FAILED", "IDS_TIME_SYNC_SUCCESS",
    "IDS_TIME_ZONE", "IDS_UNSUPPORT_LIGHT", "IDS_UNSUPPORT_MIC",
    "IDS_UNSUPPORT_SPEAKER", "IDS_UPDATE_LOGO", "IDS_UPDATE_LOGO_FAILED",
    "IDS_UPDATE_LOGO_SUCCESS", "IDS_UPGRADE_FAIL_RETRY_LATER", "IDS_UPGRADE_FUNC",
    "IDS_UPGRADE_OK", "IDS_UPGRADE_VERSON", "IDS_USER_NAME",
    "IDS_USER_NAME_NOT_EXIST", "IDS_VERSION_CHECK", "IDS_VERSION_ERROR",
    "IDS_VERSION_NORMAL", "IDS_VIDEO_STANDARD", "IDS_WAIT_REBOOT",
    "IDS_WARNING", "IDS_WHITE_LIGHT", "UDS_INSERT_VERSION_LOW",
    // Accessible names of controls without a caption.
    "IDS_DEVICE_LIST", "IDS_LIVE_VIDEO", "IDS_LIGHT_MODE", "IDS_LIGHT_TYPE", "IDS_MODULE_DIRECTION",
};

// Folders whose sources may look texts up.
const char* const kSourceDirs[] = {"runtime", "discovery", "client", "batch", "ui", "factory_test", "app", "cli"};

constexpr std::size_t kMaxTextChars = 127;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A literal reading of one file: every key=value line of every section, in
// order, duplicates kept (the program's reader would silently take the first).
struct LangFileLines {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections;

    explicit LangFileLines(const std::string& text) {
        std::istringstream in(text);
        std::string line, section;
        while (std::getline(in, line)) {
            line = trim(line);
            if (line.empty() || line[0] == ';') continue;
            if (line.front() == '[' && line.back() == ']') {
                section = upper(trim(line.substr(1, line.size() - 2)));
                continue;
            }
            const auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            sections[section].emplace_back(upper(trim(line.substr(0, eq))), trim(line.substr(eq + 1)));
        }
    }

    std::set<std::string> keys(const std::string& section) const {
        std::set<std::string> out;
        auto it = sections.find(section);
        if (it != sections.end())
            for (const auto& kv : it->second) out.insert(kv.first);
        return out;
    }
};

std::size_t utf8_chars(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

bool is_valid_utf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > text.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

// Keys named in code as string literals: "IDS_X" is a key; a literal that
// stops right after a prefix ("IDS_LANGUAGE_" + index) is returned with its
// trailing '_' and stands for a family of keys.
std::set<std::string> keys_in_source(const std::string& code) {
    static const std::regex literal(R"re("((?:IDS|UDS)_[A-Z0-9_]*))re");
    std::set<std::string> keys;
    for (auto it = std::sregex_iterator(code.begin(), code.end(), literal); it != std::sregex_iterator(); ++it)
        keys.insert((*it)[1].str());
    return keys;
}

std::set<std::string> keys_in_source_tree(const fs::path& root) {
    std::set<std::string> keys;
    for (const char* dir : kSourceDirs) {
        if (!fs::is_directory(root / dir)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / dir)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            keys.merge(keys_in_source(read_file(entry.path())));
        }
    }
    return keys;
}

}  // namespace

TEST(LangKeyScan, FindsKeysAndKeyFamiliesInCode) {
    const auto keys = keys_in_source(R"(
        show(lang("IDS_ERROR"), lang("UDS_INSERT_VERSION_LOW"));
        combo.add(lang("IDS_LANGUAGE_" + std::to_string(i)));
        // "IDS_ERROR" twice is one key; IDS_WITHOUT_QUOTES is not a literal
    )");
    EXPECT_EQ(keys, (std::set<std::string>{"IDS_ERROR", "UDS_INSERT_VERSION_LOW", "IDS_LANGUAGE_"}));
}

struct LangFileCase {
    const char* name;
    const char* language_code;
};

void PrintTo(const LangFileCase& c, std::ostream* out) { *out << c.name; }

class LangFileTest : public ::testing::TestWithParam<LangFileCase> {
protected:
    fs::path path() const { return fs::path(TERVANE_LANG_SOURCE_DIR) / GetParam().name; }
    std::string bytes() const { return read_file(path()); }
};

TEST_P(LangFileTest, IsUtf8WithoutBom) {
    const std::string text = bytes();
    ASSERT_FALSE(text.empty()) << path();
    EXPECT_NE(text.rfind("\xEF\xBB\xBF", 0), 0u) << "byte order mark at the start";
    EXPECT_TRUE(is_valid_utf8(text));
}

TEST_P(LangFileTest, NamesItsLanguage) {
    EXPECT_EQ(ini_read_string(path().string(), "CharsetType", "LanguageCode", "", kMaxTextChars),
              GetParam().language_code);
}

TEST_P(LangFileTest, DefinesEveryKeyOnceWithAShortNonEmptyText) {
    const LangFileLines file(bytes());
    std::map<std::string, int> seen;
    for (const auto& [key, value] : file.sections.at("STRINGTABLE")) {
        EXPECT_EQ(++seen[key], 1) << key << " is defined more than once";
        EXPECT_FALSE(value.empty()) << key;
        EXPECT_LE(utf8_chars(value), kMaxTextChars) << key << " would be cut";
    }
    for (const std::string& key : kKnownKeys) EXPECT_TRUE(seen.count(key)) << key << " has no text";
}

TEST_P(LangFileTest, DefinesEveryKeyTheCodeLooksUp) {
    const auto defined = LangFileLines(bytes()).keys("STRINGTABLE");
    for (const std::string& key : keys_in_source_tree(TERVANE_SOURCE_DIR)) {
        if (key.back() == '_') {
            auto next = defined.lower_bound(key);
            EXPECT_TRUE(next != defined.end() && next->rfind(key, 0) == 0) << "no key of the family " << key;
        } else {
            EXPECT_TRUE(defined.count(key)) << key << " is used in the code but has no text";
        }
    }
}

TEST_P(LangFileTest, ProgramReadsEachTextAsWritten) {
    const LangFileLines file(bytes());
    for (const auto& [key, value] : file.sections.at("STRINGTABLE"))
        EXPECT_EQ(lang_string(path().string(), key), value) << key;
}

INSTANTIATE_TEST_SUITE_P(Shipped, LangFileTest,
                         ::testing::Values(LangFileCase{"vesmira_en.ini", "0409"},
                                           LangFileCase{"vesmira_cn.ini", "0804"}),
                         [](const auto& info) { return std::string(info.param.language_code); });

TEST(LangFiles, TranslationsDefineTheSameKeys) {
    const fs::path dir(TERVANE_LANG_SOURCE_DIR);
    EXPECT_EQ(LangFileLines(read_file(dir / "vesmira_en.ini")).keys("STRINGTABLE"),
              LangFileLines(read_file(dir / "vesmira_cn.ini")).keys("STRINGTABLE"));
}

// The build places the files beside the programs, where the dialogs look.
TEST(LangFiles, BuildCopiesThemBesideThePrograms) {
    const fs::path source(TERVANE_LANG_SOURCE_DIR);
    for (const char* name : {"vesmira_en.ini", "vesmira_cn.ini"})
        EXPECT_EQ(read_file(fs::path(exe_dir()) / name), read_file(source / name)) << name;
    EXPECT_EQ(lang_default_file(), exe_dir() + "/vesmira_en.ini");
    EXPECT_EQ(lang_file_for(exe_dir(), "0804"), exe_dir() + "/vesmira_cn.ini");
}
