// Message boxes and file dialogs: what a dialog asks for, and the real boxes'
// answers.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "temp_lang_file.h"
#include "ui/dialog_base.h"
#include "ui/scripted_services.h"

using namespace ui;

namespace {

class ServicesTest : public ::testing::Test {
protected:
    ServicesTest() : lang("IDS_ERROR=Error\nIDS_PROMPT=Message\nIDS_INPUT_USER_NAME=Please enter the user name.\n") {
        dialog.build({nullptr, 100, 50, 9}, {});
        dialog.set_lang_file(lang.path());
        dialog.set_ui_services({&boxes, &files});
    }
    TempLangFile lang;
    ScriptedMessageBoxes boxes;
    ScriptedFileDialogs files;
    DialogBase dialog;
};

}  // namespace

TEST_F(ServicesTest, MessageBoxTextsComeFromTheLanguageFile) {
    EXPECT_EQ(dialog.message_box("IDS_INPUT_USER_NAME", "IDS_ERROR"), MsgResult::Ok);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error");
    EXPECT_EQ(boxes.shown()[0].text, "Please enter the user name.");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(boxes.shown()[0].icon, MsgIcon::Exclamation);
}

TEST_F(ServicesTest, ScriptedAnswersComeInOrderThenTheFirstButton) {
    boxes.answer_next(MsgResult::Cancel);
    EXPECT_EQ(dialog.message_box("IDS_X", "IDS_PROMPT", MsgButtons::OkCancel), MsgResult::Cancel);
    EXPECT_EQ(dialog.message_box("IDS_X", "IDS_PROMPT", MsgButtons::OkCancel), MsgResult::Ok);
    EXPECT_EQ(dialog.message_box("IDS_X", "IDS_PROMPT", MsgButtons::YesNo), MsgResult::Yes);
    EXPECT_EQ(boxes.shown()[0].text, "");  // a missing key gives an empty text
}

TEST_F(ServicesTest, WorkCanRunWhileABoxIsOpen) {
    std::vector<std::string> seen;
    boxes.while_open([&](const ShownMessageBox& box) {
        seen.push_back(box.title);
        if (seen.size() == 1) dialog.message_box("IDS_X", "IDS_ERROR");  // a report handled meanwhile
    });
    dialog.message_box("IDS_X", "IDS_PROMPT");
    EXPECT_EQ(seen, (std::vector<std::string>{"Message", "Error"}));
    EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST_F(ServicesTest, NewDialogsTakeTheDefaultServicesATestInstalled) {
    set_default_ui_services({&boxes, &files});
    DialogBase created_elsewhere;
    set_default_ui_services({});
    created_elsewhere.message_box("IDS_X", "IDS_ERROR");
    EXPECT_EQ(boxes.shown().size(), 1u);
    DialogBase later;
    EXPECT_NE(later.ui_services().message_boxes, &boxes);
}

TEST_F(ServicesTest, FileDialogGetsTheFilterAndAnswersPathOrCancel) {
    files.answer_next("/tmp/fw/IPC_V1.2.3.update");
    EXPECT_EQ(dialog.choose_file("update files(*.update)|*.update||", "update"), "/tmp/fw/IPC_V1.2.3.update");
    EXPECT_EQ(dialog.choose_file("update files(*.jpg)|*.jpg||", "logo"), std::nullopt);
    ASSERT_EQ(files.shown().size(), 2u);
    EXPECT_EQ(files.shown()[1].filter, "update files(*.jpg)|*.jpg||");
    EXPECT_EQ(files.shown()[1].default_suffix, "logo");
}

TEST(FileFilterTest, ClassicFiltersBecomeQtNameFilters) {
    EXPECT_EQ(qt_name_filters("update files(*.update)|*.update||"), "update files (*.update)");
    EXPECT_EQ(qt_name_filters("Pictures|*.jpg;*.jpeg|All files (*.*)|*.*||"),
              "Pictures (*.jpg *.jpeg);;All files (*.*)");
    EXPECT_EQ(qt_name_filters("|*.bin||"), "*.bin (*.bin)");
    EXPECT_EQ(qt_name_filters(""), "");
    EXPECT_EQ(qt_name_filters("no pattern|"), "");
}

// The real box: pressing a button or Escape gives the matching answer.
class QtMessageBoxTest : public ::testing::Test {
protected:
    MsgResult show_and(MsgButtons buttons, std::function<void(QMessageBox*)> act) {
        QTimer::singleShot(0, [act] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            act(box);
        });
        return QtMessageBoxService().show(nullptr, "Message", "A job is still running.", buttons,
                                          MsgIcon::Exclamation);
    }
};

TEST_F(QtMessageBoxTest, AnswersTheButtonPressed) {
    EXPECT_EQ(show_and(MsgButtons::OkCancel, [](QMessageBox* b) { b->button(QMessageBox::Ok)->click(); }),
              MsgResult::Ok);
    EXPECT_EQ(show_and(MsgButtons::YesNo, [](QMessageBox* b) { b->button(QMessageBox::No)->click(); }),
              MsgResult::No);
}

TEST_F(QtMessageBoxTest, EscapeMeansCancel) {
    EXPECT_EQ(show_and(MsgButtons::OkCancel, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }),
              MsgResult::Cancel);
    EXPECT_EQ(show_and(MsgButtons::Ok, [](QMessageBox* b) {
                  EXPECT_EQ(b->icon(), QMessageBox::Warning);
                  EXPECT_EQ(b->windowTitle(), "Message");
                  QTest::keyClick(b, Qt::Key_Escape);
              }),
              MsgResult::Ok);
}

// The real file dialog: it offers the converted filter and answers the chosen
// file's full path, or nothing on Cancel.
TEST(QtFileDialogTest, OffersTheFilterAndAnswersThePath) {
    QTemporaryDir dir;
    const QString firmware = dir.filePath("IPC_V1.2.3.update");
    QFile(firmware).open(QIODevice::WriteOnly);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->nameFilters(), QStringList{"update files (*.update)"});
        EXPECT_EQ(dialog->defaultSuffix(), "update");
        dialog->setDirectory(dir.path());
        dialog->selectFile(firmware);
        static_cast<QDialog*>(dialog)->accept();  // public in the base, so the path a user's OK takes
    });
    EXPECT_EQ(QtFileDialogService().open_file(nullptr, "update files(*.update)|*.update||", "update"),
              firmware.toStdString());

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(QtFileDialogService().open_file(nullptr, "update files(*.jpg)|*.jpg||", "logo"), std::nullopt);
}
