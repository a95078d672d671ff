#include "benchReportLayout.h"

#include "MDBTable.h"
#include "dbField.h"

#include "ppBands.h"
#include "ppDataPipeline.h"
#include "ppDrwCmd.h"
#include "ppEngine.h"
#include "ppGroup.h"
#include "ppPlainText.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "rtlStringList.h"

RTL_DEFINE_CLASS(TBenchField)
RTL_DEFINE_CLASS(TBenchMemo)
RTL_DEFINE_CLASS(TBenchPageOf)

namespace {
constexpr int mm(int value) { return value * 1000; }
}

TBenchField::TBenchField(TComponent* owner) : TppCustomComponent(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
}

void TBenchField::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  static_cast<TppDrawText*>(command)->Text =
      DataFieldReady() ? DataPipeline()->GetFieldAsString(DataField()) : Caption();
}

TBenchMemo::TBenchMemo(TComponent* owner) : TppComponent(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
}

void TBenchMemo::Generate() {
  TppBand* band = Band();
  TStringList wrapped;
  TppWrapOptions options;
  options.Rect = TRect{0, 0, mmWidth(), mm(1000)};
  int position = 0;
  const TppWrapResult result =
      TppPlainText::WrapText(DataPipeline()->GetFieldAsString(DataField()), options, Font()->Value(), Printer,
                             wrapped, position);
  const int height = std::max(result.LineHeight * wrapped.Count(), mmHeight());
  const int top = band->StartingPosition() + mmTop();
  if (top + height > band->PageBottom() + 1 && !band->ForceFit()) {
    SetOutOfSpace(true);
    SetGenerationComplete(false);
    return;
  }
  lines = wrapped.Text();
  SetDrawRect(TRect{band->PrintLeft() + mmLeft(), top, band->PrintLeft() + mmLeft() + mmWidth(), top + height});
  SetSpaceUsed(height);
  SetGenerationComplete(true);
}

void TBenchMemo::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* text = static_cast<TppDrawText*>(command);
  text->IsMemo = true;
  text->Text = lines;
}

TBenchPageOf::TBenchPageOf(TComponent* owner) : TppCustomComponent(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
}

void TBenchPageOf::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  const TppEngine& engine = GetReport()->Engine();
  static_cast<TppDrawText*>(command)->Text =
      "Page " + std::to_string(engine.AbsolutePageNo()) + " of " + std::to_string(engine.AbsolutePageCount());
}

void BuildUsageDetailsLayout(TppReport& report, TppDataPipeline& pipeline, TppCanvasPrinter& printer) {
  TppPrinterSetup* setup = report.PrinterSetup();
  setup->SetUnits(utMMThousandths);
  setup->SetPaperHeight(mm(297));
  setup->SetPaperWidth(mm(210));
  for (auto set : {&TppPrinterSetup::SetMarginTop, &TppPrinterSetup::SetMarginBottom,
                   &TppPrinterSetup::SetMarginLeft, &TppPrinterSetup::SetMarginRight})
    (setup->*set)(mm(10));
  report.SetPassSetting(psTwoPass);
  report.CreateDefaultBands();
  report.SetDataPipeline(&pipeline);
  auto place = [&](TppComponent* c, TppBand* band, int left, int top, int width, int height) {
    c->SetBand(band);
    c->SetBounds(left, top, width, height);
  };
  TppBand* header = report.GetBand(btHeader);
  header->SetmmHeight(mm(15));
  auto* title = new TBenchField(&report);
  place(title, header, 0, 0, mm(100), mm(6));
  title->SetDataPipeline(nullptr);
  place(new TBenchPageOf(&report), header, mm(150), 0, mm(40), mm(5));
  report.GetBand(btFooter)->SetmmHeight(mm(8));

  auto* group = new TppGroup(&report);
  group->SetReport(&report);
  group->SetBreakName("OWNER");
  group->HeaderBand()->SetmmHeight(mm(8));
  group->FooterBand()->SetmmHeight(mm(6));
  auto* owner = new TBenchField(&report);
  place(owner, group->HeaderBand(), 0, mm(1), mm(60), mm(5));
  owner->SetDataPipeline(&pipeline);
  owner->SetDataField("OWNER");

  TppBand* detail = report.GetBand(btDetail);
  detail->SetmmHeight(mm(5));
  detail->SetPrintHeight(phDynamic);
  const char* fields[] = {"ID", "PRINTER", "PAGES", "COPIES", "SUBMITTED", "SIZE", "STATUS", "COMPUTER"};
  const int widths[] = {12, 30, 10, 10, 30, 15, 20, 20};
  int left = 0;
  for (int i = 0; i < 8; ++i) {
    auto* field = new TBenchField(&report);
    place(field, detail, mm(left), 0, mm(widths[i]), mm(4));
    field->SetDataPipeline(&pipeline);
    field->SetDataField(fields[i]);
    left += widths[i];
  }
  auto* memo = new TBenchMemo(&report);
  place(memo, detail, mm(left), 0, mm(190 - left), mm(4));
  memo->SetDataPipeline(&pipeline);
  memo->SetDataField("DOCUMENT");
  memo->Printer = &printer;
  // The title text is a fixed caption, not a field.
  title->SetCaption("Usage details");
}

void CreateUsageJobs(const std::string& folder, int rows) {
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  table->SetDatabaseName(folder);
  table->SetTableName("JOBS.DAT");
  table->FieldDefs().Add("ID", ftInteger, 0, true);
  table->FieldDefs().Add("OWNER", ftString, 30);
  table->FieldDefs().Add("PRINTER", ftString, 40);
  table->FieldDefs().Add("COMPUTER", ftString, 30);
  table->FieldDefs().Add("DOCUMENT", ftString, 120);
  table->FieldDefs().Add("PAGES", ftInteger);
  table->FieldDefs().Add("COPIES", ftInteger);
  table->FieldDefs().Add("SIZE", ftInteger);
  table->FieldDefs().Add("STATUS", ftString, 20);
  table->FieldDefs().Add("SUBMITTED", ftDateTime);
  table->IndexDefs().Add("", "ID", TIndexOptions{ixPrimary, ixUnique});
  table->IndexDefs().Add("ByOwner", "OWNER;ID", TIndexOptions());
  table->CreateTable();
  table->Open();
  const char* words[] = {"quarterly", "report", "invoice", "draft", "minutes", "of", "the", "board", "meeting",
                         "summary", "final", "version", "slides", "budget", "plan"};
  for (int n = 1; n <= rows; ++n) {
    table->Append();
    table->FieldByName("ID")->SetAsInteger(n);
    table->FieldByName("OWNER")->SetAsString("user" + std::to_string(n * 7919 % 200));
    table->FieldByName("PRINTER")->SetAsString("\\\\PRINTSRV\\floor" + std::to_string(n % 9));
    table->FieldByName("COMPUTER")->SetAsString("PC-" + std::to_string(n % 350));
    std::string document;
    for (int w = 0; w < 3 + n % 9; ++w) document += std::string(words[(n + w * 7) % 15]) + " ";
    table->FieldByName("DOCUMENT")->SetAsString(document + std::to_string(n) + ".docx");
    table->FieldByName("PAGES")->SetAsInteger(1 + n % 40);
    table->FieldByName("COPIES")->SetAsInteger(1 + n % 3);
    table->FieldByName("SIZE")->SetAsInteger(20000 + n % 900000);
    table->FieldByName("STATUS")->SetAsString(n % 17 ? "Printed" : "Deleted");
    table->FieldByName("SUBMITTED")->SetAsDateTime(46000 + n / 500.0);
    table->Post();
  }
}
