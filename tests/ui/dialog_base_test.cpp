// Building a dialog from its control table and reaching the controls by id.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "temp_lang_file.h"
#include "ui/clickable_frame.h"
#include "ui/dialog_base.h"
#include "ui/ip_address_edit.h"
#include "ui/report_list.h"

using namespace ui;

namespace {

enum : int {
    kLabel = 1001, kEdit, kButton, kCheck, kGroup, kCombo, kList, kLines, kSortedLines, kIp, kBar, kFrame, kNoKey,
    kMissingKey, kDefault
};

const ControlSpec kTable[] = {
    {kLabel, ControlKind::Label, "label", "IDS_LABEL", {7, 9, 46, 8}},
    {kEdit, ControlKind::Edit, "", nullptr, {60, 7, 80, 12}, kHidden},
    {kButton, ControlKind::Button, "button", "IDS_BUTTON", {7, 30, 50, 14}, kDisabled},
    {kCheck, ControlKind::CheckBox, "check", "IDS_CHECK", {7, 50, 60, 10}},
    {kGroup, ControlKind::GroupBox, "group", "IDS_GROUP", {2, 2, 200, 100}},
    {kCombo, ControlKind::Combo, "", nullptr, {80, 30, 60, 80}},
    {kList, ControlKind::ReportList, "", nullptr, {7, 110, 200, 80}, kCheckBoxes},
    {kLines, ControlKind::ListBox, "", nullptr, {210, 7, 80, 60}},
    {kSortedLines, ControlKind::ListBox, "", nullptr, {210, 70, 80, 60}, kSorted},
    {kIp, ControlKind::IpAddress, "", nullptr, {80, 50, 70, 12}},
    {kBar, ControlKind::ProgressBar, "", nullptr, {7, 200, 200, 10}},
    {kFrame, ControlKind::Frame, "", nullptr, {210, 140, 80, 60}},
    {kNoKey, ControlKind::Label, "resource text", nullptr, {7, 215, 60, 8}},
    {kMissingKey, ControlKind::Label, "resource text", "IDS_NOT_IN_FILE", {70, 215, 60, 8}},
    {kDefault, ControlKind::Button, "ok", nullptr, {150, 215, 40, 14}, kDefaultButton},
};
const DialogSpec kDialog{"IDS_TITLE", 300, 240, 9};

class DialogBaseTest : public ::testing::Test {
protected:
    DialogBaseTest() : lang("IDS_TITLE=Test dialog\nIDS_LABEL=Network card\nIDS_BUTTON=Refresh\n"
                            "IDS_CHECK=DHCP\nIDS_GROUP=Upgrade\n") {
        dialog.build(kDialog, kTable);
        dialog.set_lang_file(lang.path());
    }
    TempLangFile lang;
    DialogBase dialog;
};

}  // namespace

TEST(DialogUnitsTest, ScalesByQuarterCharacterWidthAndEighthLineHeight) {
    const DialogUnits units(8, 16);
    EXPECT_EQ(units.to_px({10, 20, 40, 12}), QRect(20, 40, 80, 24));
    // Halves round away from zero, as templates do: 1 * 6 / 4 = 1.5.
    const DialogUnits odd(6, 12);
    EXPECT_EQ(odd.to_px_x(1), 2);
    EXPECT_EQ(odd.to_px_y(1), 2);
    EXPECT_EQ(odd.to_px_x(-1), -2);
    // Unusable metrics never divide by zero or collapse to nothing.
    EXPECT_EQ(DialogUnits(0, 0).to_px({4, 8, 4, 8}), QRect(1, 1, 1, 1));
}

TEST(DialogUnitsTest, FollowTheFontSoLargerTextGetsLargerControls) {
    QFont small = QApplication::font(), large = QApplication::font();
    small.setPointSize(9);
    large.setPointSize(18);
    const DialogUnits a(small), b(large);
    EXPECT_GT(a.base_x(), 2);
    EXPECT_GT(a.base_y(), 6);
    EXPECT_NEAR(double(b.to_px_x(825)) / a.to_px_x(825), 2.0, 0.35);
    EXPECT_NEAR(double(b.to_px_y(452)) / a.to_px_y(452), 2.0, 0.35);
}

TEST_F(DialogBaseTest, BuildsEveryControlAtItsScaledRectangleWithItsStartState) {
    for (const ControlSpec& control : kTable) {
        ASSERT_NE(dialog.control(control.id), nullptr) << control.id;
        const QRect expected = dialog.units().to_px(control.rect);
        EXPECT_EQ(dialog.control_rect(control.id).topLeft(), expected.topLeft()) << control.id;
        EXPECT_EQ(dialog.control_rect(control.id).width(), expected.width()) << control.id;
        EXPECT_EQ(dialog.is_shown(control.id), !(control.flags & kHidden)) << control.id;
        EXPECT_EQ(dialog.is_enabled(control.id), !(control.flags & kDisabled)) << control.id;
    }
    EXPECT_EQ(dialog.size(), QSize(dialog.units().to_px_x(300), dialog.units().to_px_y(240)));
    // A combo's table height is its dropped-down height; closed it is one line.
    EXPECT_LT(dialog.control_rect(kCombo).height(), dialog.units().to_px_y(80));
    EXPECT_NE(dialog.ip_field(kIp), nullptr);
    EXPECT_NE(dialog.report_list(kList), nullptr);
    EXPECT_TRUE(dialog.control_as<QPushButton>(kDefault)->isDefault());
}

TEST_F(DialogBaseTest, AccessibleNamesFollowTheLabelsAndTheLanguage) {
    const NameSpec names[] = {
        {kEdit, kLabel, nullptr}, {kIp, kCheck, nullptr}, {kList, 0, "IDS_GROUP"}, {kFrame, 0, "IDS_NOT_IN_FILE"}};
    dialog.name_controls(names);
    auto name = [&](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).toStdString();
    };
    // Named at once, from the captions the table gives.
    EXPECT_EQ(name(dialog.control(kEdit)), "label");
    dialog.apply_language();
    EXPECT_EQ(name(dialog.control(kEdit)), "Network card");
    EXPECT_EQ(name(dialog.control(kList)), "Upgrade");
    EXPECT_EQ(name(dialog.control(kFrame)), "");  // a missing text names nothing, as captions do
    // Each octet of an address field is named too: that is where the focus goes.
    EXPECT_EQ(name(dialog.ip_field(kIp)), "DHCP");
    EXPECT_EQ(name(dialog.ip_field(kIp)->focus_chain()[1]), "DHCP 2/4");
    // A label that changes renames its field, without its mnemonic marker.
    dialog.set_text(kLabel, "&Gateway");
    EXPECT_EQ(name(dialog.control(kEdit)), "Gateway");
}

TEST_F(DialogBaseTest, GroupBoxesLieBeneathTheControlsTheyFrame) {
    const QObjectList& z = dialog.children();  // back to front
    const auto index_of = [&](int id) { return z.indexOf(dialog.control(id)); };
    EXPECT_LT(index_of(kGroup), index_of(kLabel));
    EXPECT_LT(index_of(kGroup), index_of(kCheck));
}

TEST_F(DialogBaseTest, LanguageReplacesKeyedCaptionsOnly) {
    EXPECT_EQ(dialog.text(kLabel), "label");
    dialog.apply_language();
    EXPECT_EQ(dialog.windowTitle(), "Test dialog");
    EXPECT_EQ(dialog.text(kLabel), "Network card");
    EXPECT_EQ(dialog.text(kButton), "Refresh");
    EXPECT_EQ(dialog.text(kCheck), "DHCP");
    EXPECT_EQ(dialog.text(kGroup), "Upgrade");
    EXPECT_EQ(dialog.text(kNoKey), "resource text");
    EXPECT_EQ(dialog.text(kMissingKey), "");  // a key the file lacks shows an empty caption
}

TEST_F(DialogBaseTest, TextEnableShowCheckAndFocusById) {
    dialog.set_text(kEdit, "Admin");
    EXPECT_EQ(dialog.text(kEdit), "Admin");
    EXPECT_EQ(dialog.control_as<QLineEdit>(kEdit)->text(), "Admin");
    dialog.set_text(kIp, "192.168.1.50");
    EXPECT_EQ(dialog.text(kIp), "192.168.1.50");
    dialog.set_text(kLabel, "中文 ×√—");
    EXPECT_EQ(dialog.text(kLabel), "中文 ×√—");

    dialog.set_enabled(kButton, true);
    EXPECT_TRUE(dialog.is_enabled(kButton));
    dialog.set_shown(kEdit, true);
    dialog.set_shown(kLabel, false);
    EXPECT_TRUE(dialog.is_shown(kEdit));
    EXPECT_FALSE(dialog.is_shown(kLabel));
    dialog.set_checked(kCheck, true);
    EXPECT_TRUE(dialog.is_checked(kCheck));
    EXPECT_FALSE(dialog.is_checked(kButton));  // not a check box

    dialog.show();
    dialog.set_focus(kIp);
    EXPECT_TRUE(dialog.has_focus(kIp));  // focus sits in one of its octets
    dialog.hide();
}

TEST_F(DialogBaseTest, UnknownIdsAndWrongKindsAreHarmless) {
    EXPECT_EQ(dialog.control(9999), nullptr);
    dialog.set_text(9999, "x");
    dialog.set_enabled(9999, false);
    dialog.combo_insert(kButton, 0, "x");
    dialog.set_progress(kLabel, 50);
    EXPECT_EQ(dialog.text(9999), "");
    EXPECT_FALSE(dialog.is_enabled(9999));
    EXPECT_EQ(dialog.combo_selection(kButton), -1);
    EXPECT_EQ(dialog.list_box_count(kCombo), 0);
    EXPECT_EQ(dialog.ip_field(kEdit), nullptr);
    EXPECT_EQ(dialog.control_rect(9999), QRect());
}

TEST_F(DialogBaseTest, ComboEntriesAtExplicitPositionsAndSelection) {
    dialog.combo_insert(kCombo, 0, "UTC:-12:00");
    EXPECT_EQ(dialog.combo_selection(kCombo), -1);  // filling selects nothing
    dialog.combo_insert(kCombo, 1, "UTC:+08:00");
    dialog.combo_insert(kCombo, 1, "UTC:-00:00");
    dialog.combo_insert(kCombo, 99, "last");
    ASSERT_EQ(dialog.combo_count(kCombo), 4);
    EXPECT_EQ(dialog.combo_item(kCombo, 1), "UTC:-00:00");
    EXPECT_EQ(dialog.combo_item(kCombo, 3), "last");
    dialog.combo_select(kCombo, 2);
    EXPECT_EQ(dialog.text(kCombo), "UTC:+08:00");
    dialog.combo_select(kCombo, 7);
    EXPECT_EQ(dialog.combo_selection(kCombo), -1);
    EXPECT_EQ(dialog.text(kCombo), "");
    dialog.set_text(kCombo, "last");
    EXPECT_EQ(dialog.combo_selection(kCombo), 3);
    dialog.combo_clear(kCombo);
    EXPECT_EQ(dialog.combo_count(kCombo), 0);
}

TEST_F(DialogBaseTest, ComboHandlerRunsOnTheUsersChoiceOnly) {
    for (const char* entry : {"All", "Other"}) dialog.combo_insert(kCombo, -1, entry);
    int calls = 0;
    dialog.on_selection_changed(kCombo, [&] { ++calls; });
    dialog.combo_select(kCombo, 1);
    EXPECT_EQ(calls, 0);
    emit dialog.control_as<QComboBox>(kCombo)->activated(0);
    EXPECT_EQ(calls, 1);
}

TEST_F(DialogBaseTest, ProgressBarStaysWithinZeroToHundred) {
    dialog.set_progress(kBar, 42);
    EXPECT_EQ(dialog.progress(kBar), 42);
    dialog.set_progress(kBar, 250);
    EXPECT_EQ(dialog.progress(kBar), 100);
    dialog.set_progress(kBar, -5);
    EXPECT_EQ(dialog.progress(kBar), 0);
}

TEST_F(DialogBaseTest, ListBoxAddsInOrderAndIgnoresInsertsPastTheEnd) {
    EXPECT_EQ(dialog.list_box_add(kSortedLines, "Speaker supported"), 0);
    EXPECT_EQ(dialog.list_box_add(kSortedLines, "Live video OK"), 0);
    EXPECT_EQ(dialog.list_box_add(kSortedLines, "No microphone"), 1);
    EXPECT_EQ(dialog.list_box_line(kSortedLines, 2), "Speaker supported");

    EXPECT_FALSE(dialog.list_box_insert(kLines, 1, "beyond the end"));
    EXPECT_EQ(dialog.list_box_count(kLines), 0);
    EXPECT_TRUE(dialog.list_box_insert(kLines, 0, "b"));
    EXPECT_TRUE(dialog.list_box_insert(kLines, 0, "a"));
    EXPECT_EQ(dialog.list_box_add(kLines, "0 unsorted"), 2);  // an unsorted box appends
    EXPECT_EQ(dialog.list_box_line(kLines, 0), "a");
    dialog.list_box_clear(kLines);
    EXPECT_EQ(dialog.list_box_count(kLines), 0);
}

TEST_F(DialogBaseTest, ClickHandlersFollowTheUsersClicks) {
    int clicks = 0, frame_clicks = 0, presses = 0, releases = 0;
    dialog.set_enabled(kButton, true);
    dialog.on_clicked(kButton, [&] { ++clicks; });
    dialog.on_clicked(kFrame, [&] { ++frame_clicks; });
    dialog.on_pressed(kDefault, [&] { ++presses; });
    dialog.on_released(kDefault, [&] { ++releases; });
    dialog.show();
    QTest::mouseClick(dialog.control(kButton), Qt::LeftButton);
    QTest::mouseClick(dialog.control(kFrame), Qt::LeftButton);
    QTest::mousePress(dialog.control(kDefault), Qt::LeftButton);
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(releases, 0);
    QTest::mouseRelease(dialog.control(kDefault), Qt::LeftButton);
    dialog.set_enabled(kButton, false);
    QTest::mouseClick(dialog.control(kButton), Qt::LeftButton);  // a disabled button does nothing
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(frame_clicks, 1);
    EXPECT_EQ(releases, 1);
    dialog.hide();
}

TEST_F(DialogBaseTest, AFrameShowsItsPictureFittedAndSharp) {
    // A 2x2 checkerboard must come out as four solid quarters, not a blur.
    QImage board(2, 2, QImage::Format_RGB32);
    board.setPixel(0, 0, qRgb(0, 0, 0));
    board.setPixel(1, 1, qRgb(0, 0, 0));
    board.setPixel(1, 0, qRgb(255, 255, 255));
    board.setPixel(0, 1, qRgb(255, 255, 255));
    dialog.move_control(kFrame, QRect(0, 0, 82, 42));  // 80x40 inside the 1-pixel frame
    dialog.set_picture(kFrame, QPixmap::fromImage(board));
    const QImage shown = dialog.control(kFrame)->grab().toImage();
    // The picture fits the height (40x40), centred: x from 21 to 60, y from 1 to 40.
    EXPECT_EQ(shown.pixelColor(30, 10), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(50, 10), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(30, 30), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(50, 30), QColor(Qt::black));
}

TEST_F(DialogBaseTest, ListsItsControlIds) {
    const std::vector<int> ids = dialog.control_ids();
    EXPECT_EQ(ids.size(), std::size(kTable));
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
}

TEST_F(DialogBaseTest, ReportsCaptionsThatDoNotFit) {
    dialog.apply_language();
    EXPECT_TRUE(dialog.clipped_controls().empty());
    dialog.set_text(kButton, "A caption far too long for a button fifty units wide");
    EXPECT_EQ(dialog.clipped_controls(), std::vector<int>{kButton});
    dialog.set_shown(kButton, false);  // hidden controls do not count
    EXPECT_TRUE(dialog.clipped_controls().empty());
}

TEST_F(DialogBaseTest, TabWalksThroughTheFourOctetsOfAnAddressField) {
    dialog.set_shown(kEdit, true);
    dialog.set_tab_order({kEdit, kIp, kCheck});
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.set_focus(kEdit);
    for (int octet = 0; octet < 4; ++octet) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_TRUE(dialog.has_focus(kIp)) << octet;
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(dialog.has_focus(kCheck));
    dialog.hide();
}

TEST(DialogScalingTest, CaptionsStillFitWithTwiceTheFontSize) {
    const ControlSpec table[] = {
        {1, ControlKind::Label, "Network card", nullptr, {7, 9, 46, 8}},
        {2, ControlKind::CheckBox, "Upgrade firmware", nullptr, {7, 30, 80, 10}},
        {3, ControlKind::Button, "Reset password", nullptr, {7, 50, 70, 14}},
    };
    for (int points : {9, 18}) {
        DialogBase dialog;
        dialog.build({nullptr, 120, 80, points}, table);
        EXPECT_TRUE(dialog.clipped_controls().empty()) << points << " pt";
    }
}

TEST_F(DialogBaseTest, TabOrderFollowsTheGivenIds) {
    dialog.set_enabled(kButton, true);
    dialog.set_tab_order({kCheck, kButton, kDefault});
    EXPECT_EQ(dialog.control(kCheck)->nextInFocusChain(), dialog.control(kButton));
    EXPECT_EQ(dialog.control(kButton)->nextInFocusChain(), dialog.control(kDefault));
}

// A dialog too large for the room its screen has is laid out again with a
// smaller font, text and rectangles alike, until all of it fits; one that
// fits keeps the table's font. The size is fixed either way.
TEST(DialogFitTest, ShrinksTheFontUntilTheWholeDialogFitsTheRoom) {
    DialogBase dialog;
    dialog.build({"IDS_TITLE", 825, 452, 9}, kTable);
    const QSize natural = dialog.size();
    dialog.fit_to(natural + QSize(100, 100));
    EXPECT_EQ(dialog.font_scale(), 1.0);
    EXPECT_EQ(dialog.size(), natural);
    for (const QSize room : {natural - QSize(1, 1), natural * 0.8, QSize(natural.width(), natural.height() / 2)}) {
        dialog.fit_to(room);
        EXPECT_LE(dialog.width(), room.width());
        EXPECT_LE(dialog.height(), room.height());
        // Not needlessly small: within a step of whole-pixel dialog units.
        EXPECT_GT(std::max(double(dialog.width()) / room.width(), double(dialog.height()) / room.height()), 0.8);
        EXPECT_DOUBLE_EQ(dialog.font().pointSizeF(), 9 * dialog.font_scale());
        EXPECT_EQ(dialog.control_rect(kBar), dialog.units().to_px({7, 200, 200, 10}));
        EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    }
}

TEST(DialogFitTest, RoomLeavesAWindowFrameAndAPanel) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen->availableGeometry();
    const int panel = work.height() == screen->geometry().height() ? 48 : 0;
    EXPECT_EQ(DialogBase::room_on(screen), QSize(work.width() - 16, work.height() - 40 - panel));
}

// From the second opening on, every control is as the table makes it, as in
// a new window: no text, entry, row, line, mark, picture or state of the
// last session.
TEST_F(DialogBaseTest, ReopeningPutsEveryControlBackAsTheTableMakesIt) {
    dialog.show();
    dialog.set_text(kNoKey, "changed");
    dialog.set_shown(kEdit, true);
    dialog.set_text(kEdit, "typed");
    dialog.set_enabled(kButton, true);
    dialog.set_checked(kCheck, true);
    dialog.combo_insert(kCombo, 0, "entry");
    dialog.report_list(kList)->add_column("Index", 50);
    dialog.report_list(kList)->insert_row("01");
    dialog.list_box_add(kLines, "line");
    dialog.ip_field(kIp)->set_text("10.0.0.1");
    dialog.set_progress(kBar, 50);
    dialog.set_picture(kFrame, QPixmap(8, 8));
    dialog.reject();
    dialog.show();
    EXPECT_EQ(dialog.text(kNoKey), "resource text");
    EXPECT_FALSE(dialog.is_shown(kEdit));
    EXPECT_EQ(dialog.text(kEdit), "");
    EXPECT_FALSE(dialog.is_enabled(kButton));
    EXPECT_FALSE(dialog.is_checked(kCheck));
    EXPECT_EQ(dialog.combo_count(kCombo), 0);
    EXPECT_EQ(dialog.report_list(kList)->row_count(), 0);
    EXPECT_EQ(dialog.report_list(kList)->columnCount(), 1);  // columns are the dialog's own, made once
    EXPECT_EQ(dialog.list_box_count(kLines), 0);
    EXPECT_EQ(dialog.text(kIp), "");
    EXPECT_EQ(dialog.progress(kBar), 0);
    EXPECT_TRUE(dialog.control_as<ClickableFrame>(kFrame)->picture().isNull());
}

TEST_F(DialogBaseTest, CarriesTheProgramIcon) {
    EXPECT_FALSE(dialog.windowIcon().isNull());
    EXPECT_FALSE(dialog.windowIcon().pixmap(32, 32).isNull());
}
