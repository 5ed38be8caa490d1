// Every way out of a dialog goes through its close hook; Enter never closes
// a dialog by itself.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "ui/dialog_base.h"

using namespace ui;

namespace {

enum : int { kEdit = 1, kButton = 2 };

class ClosingDialog : public DialogBase {
public:
    explicit ClosingDialog(unsigned button_flags = kShown) {
        const ControlSpec table[] = {
            {kEdit, ControlKind::Edit, "", nullptr, {7, 7, 80, 12}},
            {kButton, ControlKind::Button, "go", nullptr, {7, 30, 50, 14}, button_flags},
        };
        build({nullptr, 120, 60, 9}, table);
        on_clicked(kButton, [this] { ++button_clicks; });
    }
    bool allow_close = true;
    int close_requests = 0;
    int inits = 0;
    int button_clicks = 0;

protected:
    void on_init() override { ++inits; }
    bool on_close_request() override {
        ++close_requests;
        return allow_close;
    }
};

void press(QWidget* target, Qt::Key key) {
    QTest::keyClick(target, key);
    QCoreApplication::processEvents();
}

}  // namespace

TEST(DialogCloseTest, EscapeAsksTheHookAndClosesOnlyWhenAllowed) {
    ClosingDialog dialog;
    dialog.show();
    dialog.allow_close = false;
    press(dialog.control(kEdit), Qt::Key_Escape);
    EXPECT_EQ(dialog.close_requests, 1);
    EXPECT_TRUE(dialog.isVisible());

    dialog.allow_close = true;
    press(dialog.control(kEdit), Qt::Key_Escape);
    EXPECT_EQ(dialog.close_requests, 2);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(DialogCloseTest, WindowCloseAcceptAndRejectTakeTheSamePath) {
    ClosingDialog dialog;
    dialog.allow_close = false;
    dialog.show();
    EXPECT_FALSE(dialog.close());  // the window's close button
    dialog.accept();
    dialog.reject();
    EXPECT_EQ(dialog.close_requests, 3);
    EXPECT_TRUE(dialog.isVisible());
    dialog.allow_close = true;
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
}

TEST(DialogCloseTest, EnterWithoutADefaultButtonDoesNotClose) {
    ClosingDialog dialog;
    dialog.show();
    dialog.set_focus(kEdit);
    press(dialog.control(kEdit), Qt::Key_Return);
    press(dialog.control(kEdit), Qt::Key_Enter);
    EXPECT_EQ(dialog.close_requests, 0);
    EXPECT_EQ(dialog.button_clicks, 0);  // not even the next button in the tab order
    EXPECT_TRUE(dialog.isVisible());
}

TEST(DialogCloseTest, EnterPressesTheFocusedButton) {
    ClosingDialog dialog;
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.set_focus(kButton);
    press(dialog.control(kButton), Qt::Key_Return);
    EXPECT_EQ(dialog.button_clicks, 1);
    EXPECT_EQ(dialog.close_requests, 0);
}

TEST(DialogCloseTest, EnterPressesTheDefaultButtonInsteadOfClosing) {
    ClosingDialog dialog(kDefaultButton);
    dialog.show();
    dialog.set_focus(kEdit);
    press(dialog.control(kEdit), Qt::Key_Return);
    EXPECT_EQ(dialog.button_clicks, 1);
    EXPECT_EQ(dialog.close_requests, 0);
    EXPECT_TRUE(dialog.isVisible());
}

TEST(DialogCloseTest, EveryOpeningInitialisesAgain) {
    ClosingDialog dialog;
    dialog.show();
    dialog.show();  // already open: no second start
    EXPECT_EQ(dialog.inits, 1);
    dialog.reject();
    QTimer::singleShot(0, &dialog, [&] { dialog.reject(); });
    dialog.exec();  // a modal opening, closed from inside
    EXPECT_EQ(dialog.inits, 2);
    EXPECT_EQ(dialog.close_requests, 2);
}

TEST(DialogCloseTest, ACloseRequestDuringTheHookIsNotNested) {
    // The hook of a real dialog may open a confirmation box whose event loop
    // delivers another close request; that one must not run the hook again.
    struct Reentrant : ClosingDialog {
        bool on_close_request() override {
            ++close_requests;
            reject();
            return true;
        }
    } dialog;
    dialog.show();
    dialog.reject();
    EXPECT_EQ(dialog.close_requests, 1);
    EXPECT_FALSE(dialog.isVisible());
}
