#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <atomic>
#include <thread>

#include "MDBPwView.h"
#include "MDBSession.h"
#include "MDBSessionList.h"
#include "engSession.h"
#include "uiTestSupport.h"

namespace {

class PasswordDialogTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { TestApplication(); }

  void TearDown() override {
    SetPasswordDialogRunner(nullptr);
    DefaultSession().Close();
  }

  static bool Known(const std::string& password) { return DefaultSession().GetHandle()->PasswordExists(password); }
};

TEST_F(PasswordDialogTest, TheWindowIsLaidOutAsDesigned) {
  TMDBPasswordDialogView view(DefaultSession());
  EXPECT_EQ(view.windowTitle(), "Enter password");
  EXPECT_EQ(view.size(), QSize(273, 132));
  EXPECT_EQ(view.AddButton()->geometry(), QRect(16, 46, 65, 25));
  EXPECT_EQ(view.RemoveAllButton()->text(), "Re&move all");
  EXPECT_EQ(view.OKButton()->geometry(), QRect(109, 98, 75, 25));
  EXPECT_EQ(view.Edit()->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(view.OKButton()->isDefault());
  EXPECT_FALSE(view.AddButton()->isEnabled());
  EXPECT_FALSE(view.RemoveButton()->isEnabled());
  EXPECT_TRUE(view.RemoveAllButton()->isEnabled());
  EXPECT_FALSE(view.OKButton()->isEnabled());
}

TEST_F(PasswordDialogTest, ClearingTheTextDisablesOKAgainUnlessAPasswordWasAdded) {
  TMDBPasswordDialogView view(DefaultSession());
  view.Edit()->setText("secret");
  EXPECT_TRUE(view.AddButton()->isEnabled());
  EXPECT_TRUE(view.OKButton()->isEnabled());
  view.Edit()->setText("");
  EXPECT_FALSE(view.OKButton()->isEnabled());
  view.Edit()->setText("first");
  view.AddButton()->click();
  EXPECT_TRUE(Known("first"));
  EXPECT_EQ(view.Edit()->text(), "");
  EXPECT_FALSE(view.AddButton()->isEnabled());
  EXPECT_TRUE(view.OKButton()->isEnabled());
}

TEST_F(PasswordDialogTest, OKAddsTheTypedPasswordAndCancelKeepsTheAddedOnes) {
  {
    TMDBPasswordDialogView view(DefaultSession());
    view.Edit()->setText("kept");
    view.AddButton()->click();
    view.Edit()->setText("dropped");
    view.CancelButton()->click();
    EXPECT_EQ(view.result(), QDialog::Rejected);
  }
  EXPECT_TRUE(Known("kept"));
  EXPECT_FALSE(Known("dropped"));
  TMDBPasswordDialogView view(DefaultSession());
  view.Edit()->setText("typed");
  view.OKButton()->click();
  EXPECT_EQ(view.result(), QDialog::Accepted);
  EXPECT_TRUE(Known("typed"));
  view.Edit()->setText("typed");
  view.RemoveButton()->click();
  EXPECT_FALSE(Known("typed"));
  view.RemoveAllButton()->click();
  EXPECT_FALSE(Known("kept"));
}

TEST_F(PasswordDialogTest, TheWindowIsShownOnlyOnTheMainThread) {
  int shown = 0;
  SetPasswordDialogRunner([&](TMDBSession& session) {
    ++shown;
    session.AddPassword("from dialog");
    return true;
  });
  EXPECT_TRUE(DefaultSession().PasswordRequest());
  EXPECT_EQ(shown, 1);
  std::atomic<bool> answer{true};
  std::thread worker([&] { answer = DefaultSession().PasswordRequest(); });
  worker.join();
  EXPECT_FALSE(answer);
  EXPECT_EQ(shown, 1);
  // A password event answers on any thread, and no window is shown.
  DefaultSession().OnPassword = [](TObject* sender, bool& continueOpen) {
    static_cast<TMDBSession*>(sender)->AddPassword("from handler");
    continueOpen = true;
  };
  std::thread handled([&] { answer = DefaultSession().PasswordRequest(); });
  handled.join();
  EXPECT_TRUE(answer);
  EXPECT_EQ(shown, 1);
  DefaultSession().OnPassword = nullptr;
}

}  // namespace
