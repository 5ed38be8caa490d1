// Qt's own texts (message-box buttons) follow the language of the dialog
// that is open: Chinese while a dialog in the Chinese file of a Chinese user
// is open, Qt's English otherwise.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <optional>
#include <string>

#include "temp_lang_file.h"
#include "ui/dialog_base.h"

using namespace ui;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (m_old) setenv(m_name, m_old->c_str(), 1);
        else unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

QString ok_button_text() { return QCoreApplication::translate("QPlatformTheme", "OK"); }

}  // namespace

TEST(QtTranslationsTest, FollowTheLanguageOfTheOpenDialog) {
    const ScopedEnv locale("LC_ALL", "zh_CN.UTF-8");
    const TempLangFile chinese("IDS_TITLE=x\n", "0804"), english("IDS_TITLE=x\n", "0409");
    ASSERT_EQ(ok_button_text(), "OK");
    DialogBase bench, batch;
    bench.set_lang_file(chinese.path());
    batch.set_lang_file(english.path());

    batch.show();
    EXPECT_EQ(ok_button_text(), "OK");  // the English file of a Chinese user: Qt's English
    batch.reject();
    bench.show();
    EXPECT_EQ(ok_button_text(), QString::fromUtf8("\xE7\xA1\xAE\xE5\xAE\x9A"));  // 确定
    bench.reject();
    EXPECT_EQ(ok_button_text(), "OK");
}

TEST(QtTranslationsTest, AFileForAnotherLocaleInstallsNothing) {
    const ScopedEnv locale("LC_ALL", "de_DE.UTF-8");
    const TempLangFile chinese("IDS_TITLE=x\n", "0804");
    QtTranslations texts;
    texts.follow(chinese.path());
    EXPECT_FALSE(texts.installed());
    EXPECT_EQ(ok_button_text(), "OK");
}
