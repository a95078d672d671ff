#include "MDBPw.h"
#include "MDBTableTestSupport.h"
#include "MDBTb.h"

namespace {

class PasswordTest : public TableTest {
protected:
  // PEOPLE, encrypted with "secret", and a session that knows no password.
  void SetUp() override {
    TableTest::SetUp();
    OpenPeople();
    TObjectPtr<TMDBTable> table = NewTable();
    table->RestructureIndexDefs().Update();
    TMDBRestructureOptions options;
    options.Encrypted = true;
    options.Password = "secret";
    table->RestructureTable(options);
    DefaultSession().RemoveAllPasswords();
    SetPasswordDialogRunner([this](TMDBSession& session) {
      ++dialogs;
      session.AddPassword(dialogPassword);
      return true;
    });
  }
  void TearDown() override {
    SetPasswordDialogRunner(nullptr);
    TableTest::TearDown();
  }

  int dialogs = 0;
  std::string dialogPassword = "secret";
};

TEST_F(PasswordTest, APasswordEventThatDeclinesFailsTheOpenWithoutADialog) {
  int asked = 0;
  DefaultSession().OnPassword = [&](TObject* sender, bool& continueOpen) {
    EXPECT_EQ(sender, &DefaultSession());
    EXPECT_FALSE(continueOpen);
    ++asked;
  };
  TObjectPtr<TMDBTable> table = NewTable();
  EXPECT_THROW(table->Open(), EMDBEngineError);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(dialogs, 0);
  DefaultSession().OnPassword = [](TObject* sender, bool& continueOpen) {
    static_cast<TMDBSession*>(sender)->AddPassword("secret");
    continueOpen = true;
  };
  table->Open();
  EXPECT_EQ(table->RecordCount(), 5);
}

TEST_F(PasswordTest, WithoutAnEventTheDialogIsAskedAndTheOpenTriedAgain) {
  TObjectPtr<TMDBTable> table = NewTable();
  table->Open();
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));
  table->Close();
  // A wrong password is tried once; the same one again ends the asking.
  DefaultSession().RemoveAllPasswords();
  dialogPassword = "wrong";
  EXPECT_THROW(table->Open(), EMDBEngineError);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(dialogs, 3);
}

}  // namespace
