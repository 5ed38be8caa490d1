#include "app/screenshots.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>

#include "app/guide_menu.h"

namespace {

// Lets the dialog's discovery and queued list updates run for a while.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool grab_into(QWidget& window, const QString& path, int settle_ms) {
    window.show();
    settle(settle_ms);
    return window.grab().save(path, "PNG");
}

}  // namespace

ScreenshotResult write_screenshots(CGuideMenu& menu, const std::string& dir, int settle_ms) {
    ScreenshotResult result;
    const QDir out(QString::fromStdString(dir));
    if (!QDir().mkpath(out.path())) {
        result.error = "cannot create " + dir;
        return result;
    }
    struct Shot {
        ui::DialogBase& window;
        const char* name;
        int settle_ms;
    } shots[] = {
        {menu, "launcher.png", 0},
        {menu.batch_dialog(), "batch-dialog.png", settle_ms},
        {menu.test_dialog(), "test-bench.png", settle_ms},
    };
    for (Shot& shot : shots) {
        const QString path = out.filePath(shot.name);
        const bool saved = grab_into(shot.window, path, shot.settle_ms);
        // The dialogs close the way a user closes them, which stops their work.
        if (&shot.window != &menu) shot.window.reject();
        if (!saved) {
            result.error = "cannot write " + path.toStdString();
            return result;
        }
        result.files.push_back(path.toStdString());
    }
    menu.reject();
    result.ok = true;
    return result;
}
