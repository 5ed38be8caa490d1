// The offscreen rendering the demo and the user guide use.
#include <QImage>

#include "app/screenshots.h"
#include "launcher_fixture.h"

TEST_F(LauncherTest, ScreenshotsOfEveryDialogAreWrittenAndTheDialogsClosed) {
    CGuideMenu& m = make_menu();
    const std::string dir = m_dir.filePath("shots").toStdString();
    const ScreenshotResult result = write_screenshots(m, dir, 20);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.files.size(), 3u);
    const QSize sizes[] = {m.size(), m.batch_dialog().size(), m.test_dialog().size()};
    for (std::size_t i = 0; i < result.files.size(); ++i) {
        QImage image(QString::fromStdString(result.files[i]));
        EXPECT_FALSE(image.isNull()) << result.files[i];
        EXPECT_EQ(image.size() / image.devicePixelRatio(), sizes[i]) << result.files[i];
    }
    EXPECT_FALSE(m.isVisible());
    EXPECT_FALSE(m.batch_dialog().isVisible());
    EXPECT_FALSE(m.test_dialog().isVisible());
}

TEST_F(LauncherTest, ScreenshotsIntoAnUnwritablePlaceSayWhy) {
    std::ofstream("not-a-dir") << "file";
    const ScreenshotResult result = write_screenshots(make_menu(), m_dir.filePath("not-a-dir/x").toStdString(), 0);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("not-a-dir"), std::string::npos);
    EXPECT_TRUE(result.files.empty());
}
