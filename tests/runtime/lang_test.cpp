#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/ini_file.h"
#include "runtime/lang.h"

namespace fs = std::filesystem;

namespace {

class LangDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tervane-lang-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string lang_file(const std::string& name, const std::string& code, const std::string& text) {
        return write(name, "[CharsetType]\nLanguageCode=" + code + "\n[StringTable]\nIDS_OK=" + text + "\n");
    }

    std::string dir;
};

std::string utf16le_with_bom(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

}  // namespace

TEST_F(LangDir, LocaleChoosesTheMatchingFileAndTheDefaultOtherwise) {
    std::string en = lang_file("vesmira_en.ini", "0409", "OK");
    std::string cn = lang_file("vesmira_cn.ini", "0804", "\xE7\xA1\xAE\xE5\xAE\x9A");
    EXPECT_EQ(lang_file_for(dir, "0804"), cn);
    EXPECT_EQ(lang_file_for(dir, "0409"), en);
    EXPECT_EQ(lang_file_for(dir, "0407"), en);  // no German file: the default
    EXPECT_EQ(lang_string(cn, "IDS_OK"), "\xE7\xA1\xAE\xE5\xAE\x9A");
}

TEST_F(LangDir, LanguageCodeListMatchesEachIdentifier) {
    std::string uk = lang_file("vesmira_uk.ini", "0409,0809", "OK");
    EXPECT_EQ(lang_file_for(dir, "0809"), uk);
    EXPECT_EQ(lang_file_for(dir, "0409"), uk);
}

TEST_F(LangDir, DirectoriesAndOtherNamesAreSkipped) {
    fs::create_directory(dir + "/vesmira.ini");
    lang_file("other.ini", "0804", "x");
    lang_file("vesmira_cn.txt", "0804", "x");
    EXPECT_EQ(lang_file_for(dir, "0804"), dir + "/vesmira_en.ini");
    EXPECT_EQ(lang_file_for(dir + "/missing", "0804"), dir + "/missing/vesmira_en.ini");
}

// Copies that editors and backups leave beside a language file sort before
// it ("vesmira_cn.ini.bak" < "vesmira_cn.ini~"); only a name ending in ".ini"
// is a language file.
TEST_F(LangDir, BackupAndEditorCopiesAreNoLanguageFiles) {
    for (const char* copy : {".vesmira_cn.ini.swp", "vesmira_cn.ini.bak", "vesmira_cn.ini~", "vesmira_a.ini.orig"})
        lang_file(copy, "0804", "stale");
    EXPECT_EQ(lang_file_for(dir, "0804"), dir + "/vesmira_en.ini");
    const std::string cn = lang_file("vesmira_cn.ini", "0804", "fresh");
    EXPECT_EQ(lang_file_for(dir, "0804"), cn);
}

TEST_F(LangDir, LookupRules) {
    std::string path = write("vesmira_en.ini",
                             "; comment\n"
                             "[stringtable]\n"
                             "  ids_a  =  first value  \r\n"
                             "IDS_A=second\n"
                             "IDS_EMPTY=\n"
                             "IDS_SEMI=a ; not a comment\n"
                             "IDS_LONG=" + std::string(200, 'x') + "\n"
                             "IDS_WIDE=" + std::string(126, 'x') + "\xE4\xB8\xAD\xE6\x96\x87\n"
                             "[StringTable]\nIDS_LATER=no\n");
    EXPECT_EQ(lang_string(path, "IDS_A"), "first value");
    EXPECT_EQ(lang_string(path, "IDS_EMPTY"), "");
    EXPECT_EQ(lang_string(path, "IDS_SEMI"), "a ; not a comment");
    EXPECT_EQ(lang_string(path, "IDS_LONG"), std::string(127, 'x'));
    EXPECT_EQ(lang_string(path, "IDS_WIDE"), std::string(126, 'x') + "\xE4\xB8\xAD");
    EXPECT_EQ(lang_string(path, "IDS_MISSING"), "");
    EXPECT_EQ(lang_string(path, "IDS_LATER"), "");  // only the first section of that name counts
    EXPECT_EQ(lang_string(dir + "/nope.ini", "IDS_A"), "");
}

TEST_F(LangDir, FileIsReadAfreshAtEachLookup) {
    std::string path = lang_file("vesmira_en.ini", "0409", "before");
    EXPECT_EQ(lang_string(path, "IDS_OK"), "before");
    lang_file("vesmira_en.ini", "0409", "after");
    EXPECT_EQ(lang_string(path, "IDS_OK"), "after");
}

TEST_F(LangDir, EncodingsAndBom) {
    std::string bom = write("a.ini", "\xEF\xBB\xBF[StringTable]\nIDS_OK=yes\n");
    EXPECT_EQ(lang_string(bom, "IDS_OK"), "yes");
    std::string wide = write("b.ini", utf16le_with_bom(u"[StringTable]\r\nIDS_OK=\u4E2D\U0001F600\r\n"));
    EXPECT_EQ(lang_string(wide, "IDS_OK"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
}

TEST_F(LangDir, BadFilesGiveEmptyTextsAndNeverCrash) {
    EXPECT_EQ(lang_string(write("empty.ini", ""), "IDS_OK"), "");
    EXPECT_EQ(lang_string(write("nosection.ini", "IDS_OK=x\n"), "IDS_OK"), "");
    std::string garbage;
    for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
    EXPECT_NO_FATAL_FAILURE(lang_string(write("garbage.ini", garbage), "IDS_OK"));
    std::string longline = "[StringTable]\nIDS_X=" + std::string(10000, 'y') + "\nIDS_OK=z\n";
    EXPECT_EQ(lang_string(write("long.ini", longline), "IDS_OK"), "z");
    // Invalid UTF-8 comes back as replacement characters, never as raw bytes.
    EXPECT_EQ(lang_string(write("bad.ini", "[StringTable]\nIDS_OK=a\xFF" "b\xC3\n"), "IDS_OK"),
              "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    // An odd-length UTF-16 file and a lone surrogate.
    std::string odd = utf16le_with_bom(u"[StringTable]\nIDS_OK=\xD800x\n") + "\x41";
    EXPECT_EQ(lang_string(write("odd.ini", odd), "IDS_OK"), "\xEF\xBF\xBDx");
}

TEST(LangLocale, IdentifiersFromLocaleNames) {
    EXPECT_EQ(lang_id_for_locale("en_US.UTF-8"), "0409");
    EXPECT_EQ(lang_id_for_locale("en_GB.UTF-8"), "0809");
    EXPECT_EQ(lang_id_for_locale("zh_CN.UTF-8"), "0804");
    EXPECT_EQ(lang_id_for_locale("zh_TW.Big5"), "0404");
    EXPECT_EQ(lang_id_for_locale("de_DE@euro"), "0407");
    EXPECT_EQ(lang_id_for_locale("fr_CA"), "0c0c");
    EXPECT_EQ(lang_id_for_locale("pt_BR.UTF-8"), "0416");
    EXPECT_EQ(lang_id_for_locale("ru_UA.UTF-8"), "0419");  // by language
    EXPECT_EQ(lang_id_for_locale("C"), "0409");
    EXPECT_EQ(lang_id_for_locale("xx_YY"), "");
}

TEST(LangLocale, EnvironmentOrder) {
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", "zh_CN.UTF-8", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(user_lang_id(), "0804");
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(user_lang_id(), "0411");
    setenv("LC_ALL", "klingon", 1);
    EXPECT_EQ(user_lang_id(), "0409");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
    EXPECT_EQ(user_lang_id(), "0409");
}
