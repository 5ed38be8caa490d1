#include "batch/dialog/batch_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "batch/dialog/batch_dlg_controls.h"
#include "batch/dialog/batch_dlg_rules.h"
#include "runtime/trace.h"
#include "ui/dialog_base.h"
#include "ui/qt_text.h"

namespace batch_settings {

namespace {

using namespace batch_dlg;

constexpr StoredValue kValues[] = {
    {"user", IDC_EDIT_USER, true},
    {"pass", IDC_EDIT_PASSWORD, true},
    {"ipb", IDC_IP_RANGE_START, true},
    {"ipe", IDC_IP_RANGE_END, true},
    {"path", IDC_EDIT_FW_PATH, true},
    {"pathlogo", IDC_EDIT_LOGO_PATH, true},
    {"timezone", IDC_COMBO_TIME_ZONE, false},
    {"timeformat", IDC_COMBO_TIME_FORMAT, false},
    {"videostd", IDC_COMBO_VIDEO_STD, false},
    {"language", IDC_COMBO_LANGUAGE, false},
    {"defaultpwd", IDC_EDIT_DEFAULT_PWD, true},
    {"maxch", IDC_COMBO_MAX_CH, false},
    {"defaultch", IDC_COMBO_DEFAULT_CH, false},
    {"newipaddr", IDC_IP_NEW_ADDRESS, true},
    {"submask", IDC_IP_SUBMASK, true},
    {"gateway", IDC_IP_GATEWAY, true},
    {"dns1", IDC_IP_DNS1, true},
    {"dns2", IDC_IP_DNS2, true},
};

QSettings open_store() { return QSettings(QStringLiteral("vesmira"), QStringLiteral("velquist")); }

// The store holds the login password, so its file is created readable by
// the user alone; the writer replaces the file keeping its permissions.
void make_private(const QString& file_name) {
    const QByteArray path = QFile::encodeName(file_name);
    QDir().mkpath(QFileInfo(file_name).absolutePath());
    int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    ::chmod(path.constData(), 0600);
}

}  // namespace

std::span<const StoredValue> stored_values() { return kValues; }

StoredTexts collect_cfg_param(const ui::DialogBase& dialog) {
    StoredTexts texts;
    for (const StoredValue& value : kValues) texts.push_back(dialog.text(value.control_id));
    return texts;
}

int write_cfg_param(const StoredTexts& texts) {
    QSettings store = open_store();
    make_private(store.fileName());
    for (std::size_t i = 0; i < std::size(kValues) && i < texts.size(); ++i)
        store.setValue(QString::fromLatin1(kValues[i].name), ui::to_q(texts[i]));
    store.sync();
    ::chmod(QFile::encodeName(store.fileName()).constData(), 0600);
    if (store.status() != QSettings::NoError) {
        TRACE_POS("CtervaneDlg::save_cfg_param");
        return 1;
    }
    return 0;
}

BackgroundSaver::~BackgroundSaver() { wait(); }

void BackgroundSaver::save(StoredTexts texts) {
    wait();
    m_thread = std::thread([texts = std::move(texts)] { write_cfg_param(texts); });
}

void BackgroundSaver::wait() {
    if (m_thread.joinable()) m_thread.join();
}

int load_cfg_param(ui::DialogBase& dialog) {
    QSettings store = open_store();
    if (store.status() != QSettings::NoError) {
        TRACE_POS("CtervaneDlg::load_cfg_param");
        return 1;
    }
    for (const StoredValue& value : kValues) {
        const QString name = QString::fromLatin1(value.name);
        if (!value.restored || !store.contains(name)) continue;
        const std::string text = ui::from_q(store.value(name).toString());
        if (utf8_length(text) >= static_cast<std::size_t>(kMaxRestoredChars)) continue;
        dialog.set_text(value.control_id, text);
    }
    return 0;
}

}  // namespace batch_settings
