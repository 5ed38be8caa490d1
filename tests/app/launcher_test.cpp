// The launcher offscreen: captions, the picture and its place, the buttons
// and the dialogs they open, and the client library's init and release.
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QtTest/QTest>

#include "app/logo_placement.h"
#include "runtime/lang.h"
#include "launcher_fixture.h"

int g_client_inits = 0;
int g_client_uninits = 0;

extern "C" {
std::int32_t __real_Network_ClientInit(void);
std::int32_t __real_Network_ClientUnInit(void);
std::int32_t __wrap_Network_ClientInit(void) {
    ++g_client_inits;
    return __real_Network_ClientInit();
}
std::int32_t __wrap_Network_ClientUnInit(void) {
    ++g_client_uninits;
    return __real_Network_ClientUnInit();
}
}

namespace {

QLabel& logo_of(CGuideMenu& menu) { return *menu.control_as<QLabel>(IDC_LOGO); }

void expect_placed_by_rule(CGuideMenu& menu, QSize picture_size) {
    const QRect rect = menu.control_rect(IDC_LOGO);
    EXPECT_EQ(rect.size(), picture_size);
    const LogoPosition at = logo_position(menu.width(), menu.height(), rect.width(), rect.height());
    EXPECT_EQ(rect.topLeft(), QPoint(at.left, at.top));
}

}  // namespace

TEST(LogoPosition, CentresAcrossAndPutsTopAtAQuarterOfTheFreeHeight) {
    constexpr LogoPosition at = logo_position(500, 300, 390, 150);
    static_assert(at.left == 55 && at.top == 37);
    // Odd free space is cut by integer division, never rounded up.
    EXPECT_EQ(logo_position(391, 153, 390, 150).left, 0);
    EXPECT_EQ(logo_position(391, 153, 390, 150).top, 0);
    // A picture wider than the window sticks out on both sides alike.
    EXPECT_EQ(logo_position(300, 150, 390, 150).left, -45);
}

TEST_F(LauncherTest, TemplateStateBeforeAndCaptionsAfterTheLanguageIsApplied) {
    CGuideMenu& m = make_menu();
    EXPECT_EQ(m.windowTitle().toStdString(), "guide_menu");
    EXPECT_EQ(m.text(IDC_BTN_TERVANE), "upgrade");
    EXPECT_EQ(m.text(IDC_BTN_IPC_TEST), "ipctest");

    m.set_lang_file(write_lang_file("lang.ini", "IDS_CUSTOM_TOOL=Tools\nIDS_TERVANE=Batch\nIDS_IPC_TEST=Bench\n"));
    m.show();
    EXPECT_EQ(m.windowTitle().toStdString(), "Tools");
    EXPECT_EQ(m.text(IDC_BTN_TERVANE), "Batch");
    EXPECT_EQ(m.text(IDC_BTN_IPC_TEST), "Bench");
    EXPECT_TRUE(m.is_shown(IDC_BTN_TERVANE));
    EXPECT_TRUE(m.is_enabled(IDC_BTN_TERVANE));
    EXPECT_FALSE(m.is_shown(IDC_BTN_IPC_TEST));
    EXPECT_FALSE(m.is_enabled(IDC_BTN_IPC_TEST));
}

TEST_F(LauncherTest, MissingKeysGiveEmptyCaptions) {
    CGuideMenu& m = make_menu();
    m.set_lang_file(write_lang_file("lang.ini", "IDS_TERVANE=Batch\n"));
    m.show();
    EXPECT_EQ(m.windowTitle().toStdString(), "");
    EXPECT_EQ(m.text(IDC_BTN_TERVANE), "Batch");
    EXPECT_EQ(m.text(IDC_BTN_IPC_TEST), "");
}

TEST_F(LauncherTest, DefaultLanguageFileIsFoundBesideTheProgram) {
    CGuideMenu& m = open_menu();
    EXPECT_EQ(m.lang_file(), lang_default_file());
    EXPECT_EQ(m.windowTitle().toStdString(), lang_string(lang_default_file(), "IDS_CUSTOM_TOOL"));
    EXPECT_FALSE(m.windowTitle().isEmpty());
}

TEST_F(LauncherTest, PictureFromTheWorkingDirectoryIsStretchedAndPlacedByTheRule) {
    QImage small(20, 10, QImage::Format_RGB32);
    small.fill(Qt::red);
    ASSERT_TRUE(small.save("logo.bmp", "BMP"));
    CGuideMenu& m = open_menu();
    const QPixmap shown = logo_of(m).pixmap();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(kLogoWidth, kLogoHeight));
    EXPECT_EQ(shown.toImage().pixelColor(200, 75), QColor(Qt::red));
    expect_placed_by_rule(m, QSize(kLogoWidth, kLogoHeight));
}

TEST_F(LauncherTest, WithoutAReadablePictureTheEmptyControlIsPlacedByTheSameRule) {
    for (bool garbage : {false, true}) {
        SCOPED_TRACE(garbage ? "file that is no bitmap" : "no file");
        if (garbage) std::ofstream("logo.bmp") << "BM not really a bitmap";
        CGuideMenu& m = open_menu();
        const QSize table_size = m.units().to_px({29, 18, 247, 75}).size();
        EXPECT_TRUE(logo_of(m).pixmap().isNull());
        expect_placed_by_rule(m, table_size);
        // The launcher still works: its button opens the batch dialog.
        auto opened = when_shown(m.batch_dialog());
        QTest::mouseClick(m.control_as<QPushButton>(IDC_BTN_TERVANE), Qt::LeftButton);
        EXPECT_TRUE(*opened);
    }
}

TEST_F(LauncherTest, EnterOpensTheBatchDialogAndTheLauncherIsActiveAfterwards) {
    CGuideMenu& m = open_menu();
    bool launcher_hidden_behind = false;
    auto opened = when_shown(m.batch_dialog(), [&] { launcher_hidden_behind = m.isVisible(); });
    EXPECT_TRUE(m.control_as<QPushButton>(IDC_BTN_TERVANE)->isDefault());
    QTest::keyClick(&m, Qt::Key_Return);
    EXPECT_TRUE(*opened);
    EXPECT_TRUE(launcher_hidden_behind);  // the launcher stays open beneath
    EXPECT_FALSE(m.batch_dialog().isVisible());
    EXPECT_TRUE(m.isVisible());
    EXPECT_FALSE(m.test_dialog().isVisible());
}

TEST_F(LauncherTest, EscapeClosesTheLauncher) {
    CGuideMenu& m = open_menu();
    QTest::keyClick(&m, Qt::Key_Escape);
    EXPECT_FALSE(m.isVisible());
    EXPECT_FALSE(m.batch_dialog().isVisible());
}

TEST_F(LauncherTest, ReopenedBatchDialogIsTheSameObjectWithItsState) {
    CGuideMenu& m = open_menu();
    CtervaneDlg* first = &m.batch_dialog();
    const std::string own_texts = write_lang_file("batch.ini", "IDS_TERVANE=Own title\n");
    first->set_lang_file(own_texts);
    for (int opening = 0; opening < 2; ++opening) {
        std::string title;
        auto opened = when_shown(m.batch_dialog(), [&] { title = m.batch_dialog().windowTitle().toStdString(); });
        m.OnBnClickedButtonTervane();
        ASSERT_TRUE(*opened);
        EXPECT_EQ(&m.batch_dialog(), first);
        EXPECT_EQ(m.batch_dialog().lang_file(), own_texts);
        EXPECT_EQ(title, "Own title");
    }
}

TEST_F(LauncherTest, HiddenButtonsHandlerOpensTheTestBench) {
    CGuideMenu& m = open_menu();
    auto by_handler = when_shown(m.test_dialog());
    m.OnBnClickedButtonIpcTest();
    EXPECT_TRUE(*by_handler);
    // Made available, the button itself opens it too.
    m.set_shown(IDC_BTN_IPC_TEST, true);
    m.set_enabled(IDC_BTN_IPC_TEST, true);
    auto by_click = when_shown(m.test_dialog());
    QTest::mouseClick(m.control_as<QPushButton>(IDC_BTN_IPC_TEST), Qt::LeftButton);
    EXPECT_TRUE(*by_click);
    EXPECT_FALSE(m.batch_dialog().isVisible());
}

TEST_F(LauncherTest, ClientLibraryIsInitialisedTwiceAndReleasedTwicePerLauncher) {
    g_client_inits = g_client_uninits = 0;
    CGuideMenu& m = open_menu();
    EXPECT_EQ(g_client_inits, 2);
    EXPECT_EQ(g_client_uninits, 0);
    // Opening and closing the dialogs neither initialises nor releases it.
    when_shown(m.batch_dialog());
    m.OnBnClickedButtonTervane();
    when_shown(m.test_dialog());
    m.OnBnClickedButtonIpcTest();
    EXPECT_EQ(g_client_inits, 2);
    EXPECT_EQ(g_client_uninits, 0);
    menu.reset();
    EXPECT_EQ(g_client_inits, 2);
    EXPECT_EQ(g_client_uninits, 2);
    // Balanced: the library is no longer initialised.
    EXPECT_NE(__real_Network_ClientUnInit(), 0);
}
