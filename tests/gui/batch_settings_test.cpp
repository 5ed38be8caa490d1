// The batch dialog's stored fields: what is written, what is read back.
#include <sys/stat.h>

#include <QFile>

#include "batch/dialog/batch_settings.h"
#include "batch_dlg_fixture.h"

namespace {

QSettings store() { return QSettings(QStringLiteral("vesmira"), QStringLiteral("velquist")); }

}  // namespace

TEST_F(BatchDialogTest, FirstRunShowsDefaultsAndTheFirstJobStoresAllValues) {
    CtervaneDlg& dlg = open_silent_dialog();
    EXPECT_EQ(dlg.text(IDC_EDIT_USER), "Admin");
    for (int id : {IDC_EDIT_PASSWORD, IDC_EDIT_FW_PATH, IDC_EDIT_LOGO_PATH, IDC_IP_RANGE_START, IDC_IP_NEW_ADDRESS})
        EXPECT_EQ(dlg.text(id), "") << id;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(settings_file())));

    dlg.set_text(IDC_EDIT_PASSWORD, "tovik");
    dlg.set_text(IDC_IP_SUBMASK, "255.255.255.0");
    click(IDC_BTN_RESET_PWD);
    dlg.wait_for_saved_fields();
    QSettings stored = store();
    std::vector<std::string> names;
    for (const batch_settings::StoredValue& value : batch_settings::stored_values()) {
        names.push_back(value.name);
        EXPECT_TRUE(stored.contains(value.name)) << value.name;
    }
    EXPECT_EQ(names.size(), 18u);
    EXPECT_EQ(stored.value("user").toString(), "Admin");
    EXPECT_EQ(stored.value("pass").toString(), "tovik");
    EXPECT_EQ(stored.value("submask").toString(), "255.255.255.0");
    EXPECT_EQ(stored.value("timezone").toString(), "UTC:+08:00");
    EXPECT_EQ(stored.value("videostd").toString(), "NTSC");
    EXPECT_EQ(stored.value("maxch").toString(), "14");
    EXPECT_EQ(stored.value("ipb").toString(), "");

    struct stat info {};
    ASSERT_EQ(::stat(settings_file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // it holds the login password
}

TEST_F(BatchDialogTest, StoredFieldsComeBackButNotTheCombos) {
    {
        QSettings stored = store();
        stored.setValue("pass", "secret");
        stored.setValue("path", "/srv/fw/a.update");
        stored.setValue("pathlogo", "/srv/logo.jpg");
        stored.setValue("ipb", "192.168.1.10");
        stored.setValue("ipe", "192.168.1.40");
        stored.setValue("defaultpwd", "newpw");
        stored.setValue("newipaddr", "10.0.0.5");
        stored.setValue("gateway", "not an address");
        stored.setValue("timezone", "UTC:-05:00");
        stored.setValue("maxch", "11");
    }
    CtervaneDlg& dlg = open_silent_dialog();
    EXPECT_EQ(dlg.text(IDC_EDIT_USER), "Admin");  // missing: the start-up value stays
    EXPECT_EQ(dlg.text(IDC_EDIT_PASSWORD), "secret");
    EXPECT_EQ(dlg.text(IDC_EDIT_FW_PATH), "/srv/fw/a.update");
    EXPECT_EQ(dlg.text(IDC_EDIT_LOGO_PATH), "/srv/logo.jpg");
    EXPECT_EQ(dlg.text(IDC_IP_RANGE_START), "192.168.1.10");
    EXPECT_EQ(dlg.text(IDC_IP_RANGE_END), "192.168.1.40");
    EXPECT_EQ(dlg.text(IDC_EDIT_DEFAULT_PWD), "newpw");
    EXPECT_EQ(dlg.text(IDC_IP_NEW_ADDRESS), "10.0.0.5");
    EXPECT_EQ(dlg.text(IDC_IP_GATEWAY), "");  // not an address: the field stays empty
    EXPECT_EQ(dlg.text(IDC_COMBO_TIME_ZONE), "UTC:+08:00");
    EXPECT_EQ(dlg.text(IDC_COMBO_MAX_CH), "14");
}

TEST_F(BatchDialogTest, AnEmptyStoredUserEmptiesTheField) {
    store().setValue("user", "");
    CtervaneDlg& dlg = open_silent_dialog();
    EXPECT_EQ(dlg.text(IDC_EDIT_USER), "");
    click(IDC_BTN_RESET);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, text_of("IDS_INPUT_USER_NAME"));
}

TEST_F(BatchDialogTest, TextsOf128CharactersOrMoreAreNotRestored) {
    const std::string kept = "/" + std::string(126, 'k');
    store().setValue("path", QString::fromStdString(kept));
    store().setValue("pathlogo", QString::fromStdString(std::string(128, 'x')));
    store().setValue("defaultpwd", QString::fromStdString(std::string(130, 'y')));
    store().setValue("pass", QString::fromUtf8(std::string(127, 'p').append("\xC3\xA9").c_str()));
    CtervaneDlg& dlg = open_silent_dialog();
    EXPECT_EQ(dlg.text(IDC_EDIT_FW_PATH), kept);
    EXPECT_EQ(dlg.text(IDC_EDIT_LOGO_PATH), "");
    EXPECT_EQ(dlg.text(IDC_EDIT_DEFAULT_PWD), "");
    EXPECT_EQ(dlg.text(IDC_EDIT_PASSWORD), "");  // 128 characters, of 129 bytes
}
