#include <gtest/gtest.h>

#include "ppASDlg.h"
#include "ppEngineForms.h"
#include "ppFormsKit.h"
#include "ppMessages.h"
#include "rtlDateTime.h"
#include "uiTestSupport.h"

namespace {

class ppAutoSearchTest : public ::testing::Test {
protected:
  void SetUp() override { ppRegisterEngineForms(); }
  void TearDown() override { ppUnRegisterEngineForms(); }
  TKitReport kit{6};
  TMessageBoxes boxes;

  // The dialog as the report builds it, over the report's fields.
  std::unique_ptr<TppAutoSearchDialog> Dialog() {
    auto dialog = std::make_unique<TppAutoSearchDialog>();
    dialog->SetReport(kit.Report);
    for (int i = 0; i < kit.Report->AutoSearchFieldCount(); ++i)
      dialog->AutoSearchFields.push_back(kit.Report->AutoSearchFields(i));
    dialog->Init();
    dialog->Activated();
    return dialog;
  }
};

TEST_F(ppAutoSearchTest, FieldsConvertTheirValuesAndDescribeThemselves) {
  TppReport& report = *kit.Report;
  TppAutoSearchField* id = report.CreateAutoSearchCriteria("plRows", "ID", soInList, "1, 2000 ,x", false);
  TppAutoSearchField* day = report.CreateAutoSearchCriteria("plRows", "DAY", soLessThan, "2026-01-05", false);
  TppAutoSearchField* name = report.CreateAutoSearchCriteria("PLROWS", "NAME", soLike, "Ro", false);
  name->Wildcard = "%";
  EXPECT_EQ(report.AutoSearchCriteriaByName("plrows", "name"), name);
  EXPECT_EQ(report.AutoSearchCriteriaByName("plRows", "PAGES"), nullptr);
  EXPECT_EQ(id->ValueCount(), 3);
  EXPECT_EQ(id->Values(0).AsInteger(), 1);
  EXPECT_EQ(id->Values(1).AsInteger(), 2000);
  EXPECT_TRUE(id->Values(2).IsNull());
  EXPECT_EQ(name->Value().AsString(), "Ro%");
  EXPECT_EQ(day->OperatorCaption(), "is before");
  EXPECT_EQ(id->Description(), "Show all data where the ID matches one of the values in this list 1, 2000 ,x");
  name->SetShowAllValues(true);
  EXPECT_EQ(name->Description(), "and the NAME has any value.");
  TStringList lines;
  report.GetAutoSearchDescriptionLines(lines);
  EXPECT_EQ(lines.Count(), 3);
}

TEST_F(ppAutoSearchTest, OneTabPerPipelineInReportOrder) {
  auto* other = new TppDBPipeline(kit.Owner.get());
  other->SetUserName("plOther");
  kit.Report->CreateAutoSearchCriteria("plOther", "X", soEqual, "", false);
  kit.Report->CreateAutoSearchCriteria("plRows", "ID", soEqual, "3", false);
  auto dialog = Dialog();
  ASSERT_NE(dialog->Tabs(), nullptr);
  ASSERT_EQ(dialog->Tabs()->count(), 2);
  EXPECT_EQ(dialog->Tabs()->tabText(0), "plRows");
  EXPECT_EQ(dialog->Tabs()->tabText(1), "plOther");
  EXPECT_TRUE(dialog->lblMandatory->isHidden());
  EXPECT_EQ(dialog->windowIcon().pixmap(32, 32).toImage(), ppAutoSearchIcon().pixmap(32, 32).toImage());
  kit.Report->FreeAutoSearchField(kit.Report->AutoSearchFields(0));
  EXPECT_EQ(Dialog()->Tabs(), nullptr);
}

TEST_F(ppAutoSearchTest, EntriesAreCheckedByTheFieldsType) {
  struct Case {
    const char* field;
    const char* entry;
    bool mandatory;
    bool ok;
    int message;  // the error's message number, 0 for a conversion's own
  };
  const Case cases[] = {
      {"ACTIVE", "yes", false, true, 0},   {"ACTIVE", "maybe", false, false, 60},
      {"ACTIVE", "", false, true, 0},      {"ACTIVE", "", true, false, 61},
      {"ID", "1,234", false, true, 0},    {"ID", "1234", false, true, 0},
      {"ID", "abc", false, false, 0},      {"DAY", "not a day", false, false, 0},
  };
  for (const Case& c : cases) {
    while (kit.Report->AutoSearchFieldCount() > 0) kit.Report->FreeAutoSearchField(kit.Report->AutoSearchFields(0));
    TppAutoSearchField* field = kit.Report->CreateAutoSearchCriteria("plRows", c.field, soEqual, "", c.mandatory);
    auto dialog = Dialog();
    auto* panel = dynamic_cast<TppSimpleSearchPanel*>(dialog->Panels().at(0));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(dialog->lblMandatory->isHidden(), !c.mandatory);
    panel->edtValue->setText(c.entry);
    dialog->OKClick();
    EXPECT_EQ(dialog->ModalResult() == ppmrOK, c.ok) << c.field << " '" << c.entry << "'";
    EXPECT_EQ(panel->lblError->isHidden(), c.ok);
    if (c.message) {
      EXPECT_EQ(panel->lblError->text().toStdString(), ppLoadMessage(c.message));
    }
    EXPECT_EQ(field->SearchExpression(), c.ok ? c.entry : "");
  }
}

TEST_F(ppAutoSearchTest, MandatoryEmptyFieldMarksItsTab) {
  auto* other = new TppDBPipeline(kit.Owner.get());
  other->SetUserName("plOther");
  kit.Report->CreateAutoSearchCriteria("plRows", "ID", soEqual, "3", false);
  kit.Report->CreateAutoSearchCriteria("plOther", "X", soEqual, "", true);
  auto dialog = Dialog();
  dialog->OKClick();
  EXPECT_NE(dialog->ModalResult(), ppmrOK);
  EXPECT_TRUE(dialog->Tabs()->tabIcon(0).isNull());
  EXPECT_FALSE(dialog->Tabs()->tabIcon(1).isNull());
  EXPECT_EQ(dialog->Tabs()->currentIndex(), 1);
  EXPECT_FALSE(dialog->lblMandatory->isHidden());
}

// While the report is designed the tabs can be rearranged; an error still
// marks the tab of its field.
TEST_F(ppAutoSearchTest, DesignersMoveTabsAndErrorsFollowThem) {
  auto* other = new TppDBPipeline(kit.Owner.get());
  other->SetUserName("plOther");
  kit.Report->CreateAutoSearchCriteria("plRows", "ID", soEqual, "", true);
  kit.Report->CreateAutoSearchCriteria("plOther", "X", soEqual, "1", false);
  EXPECT_EQ(Dialog()->TabMenu(), nullptr);
  kit.Report->SetDesigning(true, TComponent::TDesignReach::ThisOnly);
  auto dialog = Dialog();
  kit.Report->SetDesigning(false, TComponent::TDesignReach::ThisOnly);
  ASSERT_NE(dialog->TabMenu(), nullptr);
  QTabWidget& tabs = *dialog->Tabs();
  EXPECT_EQ(dialog->actMoveTabLeft->text().toStdString(), ppLoadMessage(1025));
  tabs.setCurrentIndex(0);
  emit dialog->TabMenu()->aboutToShow();
  EXPECT_FALSE(dialog->actMoveTabLeft->isEnabled());
  EXPECT_TRUE(dialog->actMoveTabRight->isEnabled());
  dialog->actMoveTabRight->trigger();
  EXPECT_EQ(tabs.tabText(0), "plOther");
  EXPECT_EQ(tabs.tabText(1), "plRows");
  EXPECT_EQ(tabs.currentIndex(), 1);
  emit dialog->TabMenu()->aboutToShow();
  EXPECT_TRUE(dialog->actMoveTabLeft->isEnabled());
  EXPECT_FALSE(dialog->actMoveTabRight->isEnabled());
  tabs.setCurrentIndex(0);
  dialog->OKClick();
  EXPECT_NE(dialog->ModalResult(), ppmrOK);
  EXPECT_TRUE(tabs.tabIcon(0).isNull());
  EXPECT_FALSE(tabs.tabIcon(1).isNull());
  EXPECT_EQ(tabs.currentIndex(), 1);
}

TEST_F(ppAutoSearchTest, ListPanelAddsAndRemoves) {
  TppAutoSearchField* field = kit.Report->CreateAutoSearchCriteria("plRows", "ID", soInList, "4", false);
  auto dialog = Dialog();
  auto* panel = dynamic_cast<TppInListSearchPanel*>(dialog->Panels().at(0));
  ASSERT_NE(panel, nullptr);
  panel->lbxValues->clearSelection();
  panel->lbxValues->setCurrentRow(-1);
  panel->RemoveClick();  // nothing selected: nothing removed
  EXPECT_EQ(panel->lbxValues->count(), 1);
  for (const char* entry : {"7", "7", "x", "", "9"}) {
    panel->edtValue->setText(entry);
    panel->AddClick();
  }
  EXPECT_EQ(panel->Entries(), (std::vector<std::string>{"4", "7", "9"}));
  panel->lbxValues->setCurrentRow(1);
  panel->RemoveClick();
  EXPECT_EQ(panel->Entries(), (std::vector<std::string>{"4", "9"}));
  EXPECT_EQ(panel->lbxValues->currentRow(), 1);
  dialog->OKClick();
  EXPECT_EQ(field->SearchExpression(), "4,9");
}

TEST_F(ppAutoSearchTest, ReportPrintAsksFirstAndACancelPrintsNothing) {
  std::vector<std::string> events;
  TppReport& report = *kit.Report;
  report.BeforeAutoSearchDialogCreate = [&](TObject*) { events.push_back("before"); };
  report.AfterAutoSearchDialogCreate = [&](TObject*) { events.push_back("after"); };
  report.OnGetAutoSearchValues = [&](TObject*) { events.push_back("values"); };
  report.SetShowAutoSearchDialog(true);
  report.SetDeviceType("Nowhere");
  int dialogs = 0;
  int answer = ppmrCancel;
  TFormAnswers answers([&](TppForm& form) {
    dialogs += dynamic_cast<TppAutoSearchDialog*>(&form) != nullptr;
    return answer;
  });
  // No fields: both events, no dialog.
  report.Print();
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(dialogs, 0);
  report.CreateAutoSearchCriteria("plRows", "ID", soEqual, "3", false);
  events.clear();
  EXPECT_FALSE(report.Print());
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
  answer = ppmrOK;
  events.clear();
  report.Print();
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after", "values"}));
  EXPECT_EQ(dialogs, 2);
}

}  // namespace
