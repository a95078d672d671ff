#include <gtest/gtest.h>

#include "ppFormsKit.h"
#include "uiTestSupport.h"

namespace {

struct TFirstPrintDialog : TppCustomPrintDialog {
  static constexpr const char* FormName = "TFirstPrintDialog";
  using TppCustomPrintDialog::TppCustomPrintDialog;
};
struct TSecondPrintDialog : TppCustomPrintDialog {
  static constexpr const char* FormName = "TSecondPrintDialog";
  using TppCustomPrintDialog::TppCustomPrintDialog;
};
struct TNoDataForm : TppCustomNoDataDialog {
  static constexpr const char* FormName = "TNoDataForm";
  using TppCustomNoDataDialog::TppCustomNoDataDialog;
};

// The registry is the process's: each test leaves it as it found it.
class ppFormRegistry : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    saved = ppRegisteredFormClasses();
    for (const std::string& name : saved) kept.push_back(*ppGetFormClass(name));
  }
  void TearDown() override {
    for (const std::string& name : ppRegisteredFormClasses()) ppUnRegisterFormClass(name);
    for (size_t i = 0; i < saved.size(); ++i) ppRegisterFormClass(saved[i], kept[i]);
  }
  std::vector<std::string> saved;
  std::vector<TppFormClass> kept;
};

TEST_F(ppFormRegistry, LaterRegistrationReplacesAndNamesIgnoreCase) {
  for (const std::string& name : ppRegisteredFormClasses()) ppUnRegisterFormClass(name);
  EXPECT_EQ(ppGetFormClass("TppCustomPrintDialog"), nullptr);
  EXPECT_EQ(ppCreateForm<TppCustomPrintDialog>(), nullptr);
  ppRegisterFormClass<TppCustomPrintDialog, TFirstPrintDialog>();
  ppRegisterFormClass<TppCustomNoDataDialog, TNoDataForm>();
  ppRegisterFormClass<TppCustomPrintDialog, TSecondPrintDialog>();
  EXPECT_EQ(ppRegisteredFormClasses(), (std::vector<std::string>{"TppCustomNoDataDialog", "TppCustomPrintDialog"}));
  ASSERT_NE(ppGetFormClass("tppcustomprintdialog"), nullptr);
  EXPECT_EQ(ppGetFormClass("TPPCUSTOMPRINTDIALOG")->Name, "TSecondPrintDialog");
  auto form = ppCreateForm<TppCustomPrintDialog>();
  EXPECT_NE(dynamic_cast<TSecondPrintDialog*>(form.get()), nullptr);
  ppUnRegisterFormClass("TppCustomPrintDialog");
  ppUnRegisterFormClass("TppCustomPrintDialog");  // not registered: nothing
  EXPECT_EQ(ppGetFormClass("TppCustomPrintDialog"), nullptr);
  EXPECT_NE(ppGetFormClass("TppCustomNoDataDialog"), nullptr);
}

TEST_F(ppFormRegistry, FormEventsFireInOrderWithTheFormAsSender) {
  std::vector<std::string> calls;
  TppForm* seen = nullptr;
  {
    auto* form = new TppForm;
    auto record = [&](const char* name) {
      return [&, name](TppForm* sender) {
        calls.push_back(name);
        seen = sender;
      };
    };
    form->OnDialogActivate = record("activate");
    form->OnDialogCancel = record("cancel");
    form->OnDialogClose = record("close");
    form->OnDialogDestroy = record("destroy");
    TFormAnswers answers([](TppForm& f) { return ppmrOK; });
    EXPECT_EQ(form->ShowModal(), ppmrOK);
    form->DoCancel();
    EXPECT_EQ(seen, form);
    delete form;
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"activate", "cancel", "close", "destroy"}));
}

TEST_F(ppFormRegistry, DialogRequestsReachTheRegisteredForm) {
  // Without a form the no-data request is answered, with one it is shown.
  for (const std::string& name : ppRegisteredFormClasses()) ppUnRegisterFormClass(name);
  int shown = 0;
  TFormAnswers answers([&](TppForm& form) {
    shown += dynamic_cast<TNoDataForm*>(&form) != nullptr;
    return ppmrOK;
  });
  TppDialogRequest request;
  request.Kind = dkNoData;
  EXPECT_EQ(ppRunDialog(request), drOK);
  EXPECT_EQ(shown, 0);
  ppRegisterFormClass<TppCustomNoDataDialog, TNoDataForm>();
  EXPECT_EQ(ppRunDialog(request), drOK);
  EXPECT_EQ(shown, 1);
  // The dialog runner comes before any form.
  const TppDialogRunner previous = ppSetDialogRunner([](TppDialogRequest&) { return drCancel; });
  EXPECT_EQ(ppRunDialog(request), drCancel);
  ppSetDialogRunner(previous);
  EXPECT_EQ(shown, 1);
}

}  // namespace
