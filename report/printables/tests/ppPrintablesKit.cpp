#include "ppPrintablesKit.h"

#include "dbField.h"
#include "ppGroup.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"

RTL_DEFINE_CLASS(TKeepingDevice)

void TKeepingDevice::ReceivePage(TppPage* page) {
  inherited::ReceivePage(page);
  if (SkipPage() || !PageRequested()) return;
  auto copy = std::make_unique<TppPage>(nullptr);
  copy->Assign(page);
  Pages.push_back(std::move(copy));
}

std::vector<TJobRow> Rows(int count, int groupSize) {
  std::vector<TJobRow> rows;
  for (int n = 1; n <= count; ++n)
    rows.push_back(TJobRow{"Owner" + std::to_string((n - 1) / groupSize + 1), n % 7 + 1, "Job " + std::to_string(n)});
  return rows;
}

TPrintablesFixture::TPrintablesFixture(const std::vector<TJobRow>& rows)
    : Data(new TMemoryDataSet()), Owner(new TComponent(nullptr)) {
  Data->DefineField("OWNER", ftString, 20);
  Data->DefineField("PAGES", ftInteger);
  Data->DefineField("NOTE", ftMemo);
  Data->DefineField("ZERO", ftFloat);
  Data->DefineField("ZEROTEXT", ftString, 5);
  Data->DefineField("ZEROINT", ftInteger);
  Data->DefineField("PICTURE", ftGraphic);
  Data->Open();
  for (const TJobRow& row : rows) {
    Data->Append();
    Data->FieldByName("OWNER")->SetAsString(row.Owner);
    Data->FieldByName("PAGES")->SetAsInteger(row.Pages);
    Data->FieldByName("NOTE")->SetAsString(row.Note);
    Data->FieldByName("ZERO")->SetAsFloat(0.0);
    Data->FieldByName("ZEROTEXT")->SetAsString("0");
    Data->FieldByName("ZEROINT")->SetAsInteger(0);
    if (!row.Picture.empty()) Data->FieldByName("PICTURE")->SetAsVariant(Variant::FromBytes(row.Picture));
    Data->Post();
  }
  Data->First();
  auto* source = new TDataSource(Owner.get());
  source->SetDataSet(Data.get());
  Pipeline = new TppDBPipeline(Owner.get());
  Pipeline->SetUserName("plJobs");
  Pipeline->SetDataSource(source);
  Report = new TppReport(Owner.get());
  TppPrinterSetup* setup = Report->PrinterSetup();
  setup->SetUnits(utMMThousandths);
  setup->SetPaperHeight(mm(297));
  setup->SetPaperWidth(mm(210));
  setup->SetMarginTop(mm(10));
  setup->SetMarginBottom(mm(10));
  setup->SetMarginLeft(mm(10));
  setup->SetMarginRight(mm(10));
  Report->SetShowPrintDialog(false);
  Report->Clock = [] { return EncodeDate(2026, 3, 14) + 0.5; };
  Report->CreateDefaultBands();
  Header = Report->GetBand(btHeader);
  Detail = Report->GetBand(btDetail);
  Footer = Report->GetBand(btFooter);
  Header->SetmmHeight(mm(20));
  Detail->SetmmHeight(mm(10));
  Footer->SetmmHeight(mm(20));
  Report->SetDataPipeline(Pipeline);
}

TPrintablesFixture::~TPrintablesFixture() { Report->Free(); }

TppGroup* TPrintablesFixture::AddGroup(const std::string& field, int headerHeight, int footerHeight) {
  auto* group = new TppGroup(Report);
  group->SetReport(Report);
  group->SetBreakName(field);
  group->HeaderBand()->SetmmHeight(headerHeight);
  group->FooterBand()->SetmmHeight(footerHeight);
  return group;
}

std::vector<std::unique_ptr<TppPage>> TPrintablesFixture::PrintAll() {
  TObjectPtr<TKeepingDevice> device(new TKeepingDevice(nullptr));
  device->SetPublisher(Report->Publisher());
  Report->PrintToDevices();
  device->SetPublisher(nullptr);
  return std::move(device->Pages);
}

std::vector<std::string> Texts(const TppPage& page) {
  std::vector<std::string> texts;
  page.ForEachDrawCommand([&](TppDrawCommand* c) {
    if (auto* t = dynamic_cast<TppDrawText*>(c)) texts.push_back(t->Text);
  });
  return texts;
}
