// Message boxes and the input question, through the Qt dialogs and
// through a replaced runner: the answer the user clicks is the answer the
// caller gets.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <functional>

#include "uiDialogs.h"
#include "uiTestSupport.h"

namespace {

class DialogTest : public ::testing::Test {
protected:
  void SetUp() override { TestApplication(); }
  void TearDown() override {
    SetMessageBoxRunner(nullptr);
    SetInputQueryRunner(nullptr);
  }
};

TEST_F(DialogTest, TheQtMessageBoxShowsTheRequestAndReturnsTheButtonClicked) {
  TMessageBoxRequest request{"Delete the printer?", "Orvelle", mtConfirmation, true};
  QString shownText, shownTitle;
  QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    shownText = box.text();
    shownTitle = box.windowTitle();
    shownIcon = box.icon();
    box.button(QMessageBox::No)->click();
  });
  EXPECT_EQ(ShowMessageBox(request), mrNo);
  EXPECT_EQ(shownText.toStdString(), "Delete the printer?");
  EXPECT_EQ(shownTitle.toStdString(), "Orvelle");
  EXPECT_EQ(shownIcon, QMessageBox::Question);

  WhenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
  EXPECT_EQ(ShowMessageBox(request), mrYes);

  request = {"The table is damaged.", "Orvelle", mtError, false};
  bool hasNo = true;
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    hasNo = box.button(QMessageBox::No) != nullptr;
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    box.button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(ShowMessageBox(request), mrOk);
  EXPECT_FALSE(hasNo) << "a plain message offers only OK";
}

TEST_F(DialogTest, TheQtInputQueryStartsFromTheValueAndChangesItOnlyWhenConfirmed) {
  std::string value = "cups.example";
  WhenShown<QInputDialog>([](QInputDialog& dialog) {
    EXPECT_EQ(dialog.labelText().toStdString(), "Server name:");
    EXPECT_EQ(dialog.textValue().toStdString(), "cups.example");
    dialog.setTextValue("print.example");
    dialog.accept();
  });
  EXPECT_TRUE(InputQuery("Add Server", "Server name:", value));
  EXPECT_EQ(value, "print.example");

  WhenShown<QInputDialog>([](QInputDialog& dialog) {
    dialog.setTextValue("other.example");
    dialog.reject();
  });
  EXPECT_FALSE(InputQuery("Add Server", "Server name:", value));
  EXPECT_EQ(value, "print.example") << "a cancelled question leaves the value alone";
}

TEST_F(DialogTest, AReplacedRunnerAnswersWithoutAWindowAndAnEmptyOneRestoresTheDialogs) {
  int asked = 0;
  SetMessageBoxRunner([&](const TMessageBoxRequest& request) {
    ++asked;
    EXPECT_EQ(request.Type, mtWarning);
    return mrYes;
  });
  SetInputQueryRunner([&](const TInputQueryRequest& request, std::string& value) {
    EXPECT_EQ(request.Caption, "Caption");
    value += "!";
    return true;
  });
  EXPECT_EQ(ShowMessageBox({"Careful", "Orvelle", mtWarning, true}), mrYes);
  std::string value = "a";
  EXPECT_TRUE(InputQuery("Caption", "Prompt", value));
  EXPECT_EQ(value, "a!");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(QApplication::topLevelWidgets().count(), 0) << "no window was made";

  SetMessageBoxRunner(nullptr);
  WhenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); });
  EXPECT_EQ(ShowMessageBox({"Back to Qt", "Orvelle", mtInformation, false}), mrOk);
  EXPECT_EQ(asked, 1);
}

}  // namespace
