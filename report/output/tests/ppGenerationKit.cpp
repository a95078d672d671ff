#include "ppGenerationKit.h"

#include <cstring>

#include "dbField.h"
#include "ppDrwCmd.h"
#include "ppGroup.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "rtlDateTime.h"
#include "rtlStreams.h"
#include "rtlWriter.h"

RTL_DEFINE_CLASS(TTestText)
RTL_DEFINE_CLASS(TTestStretch)
RTL_DEFINE_CLASS(TRecordingDevice)

TTestText::TTestText(TComponent* owner) : TppCustomComponent(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
}

void TTestText::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* text = static_cast<TppDrawText*>(command);
  text->Text = DataFieldReady() ? DataPipeline()->GetFieldAsString(DataField()) : Caption();
}

TTestStretch::TTestStretch(TComponent* owner) : TppComponent(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
  SetCacheRecordSize(sizeof(int32_t) * 2 + 8);
}

void TTestStretch::InitGeneration() {
  inherited::InitGeneration();
  printed = 0;
}

void TTestStretch::Generate() {
  TppBand* band = Band();
  if (printed >= TotalHeight) printed = 0;
  const int top = band->StartingPosition() + (band->PartialGeneration() ? 0 : mmTop());
  const int room = band->PageBottom() - top;
  int piece = std::min(TotalHeight - printed, std::max(room, 0));
  if (piece <= 0 && !band->ForceFit()) {
    SetOutOfSpace(true);
    SetGenerationComplete(false);
    return;
  }
  if (piece <= 0) piece = TotalHeight - printed;  // clipped: never fits
  segment = piece;
  printed += piece;
  SetDrawRect(TRect{band->PrintLeft() + mmLeft(), top, band->PrintLeft() + mmLeft() + mmWidth(), top + piece});
  SetSpaceUsed(piece);
  SetGenerationComplete(printed >= TotalHeight || band->ForceFit());
  if (band->ForceFit()) printed = TotalHeight;
}

// The base record takes the first 8 bytes.
void TTestStretch::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  const int32_t value = printed;
  std::memcpy(record + 8, &value, sizeof value);
}

void TTestStretch::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  int32_t value;
  std::memcpy(&value, record + 8, sizeof value);
  printed = value;
}

void TRecordingDevice::ReceivePage(TppPage* page) {
  inherited::ReceivePage(page);
  if (SkipPage() || !PageRequested()) return;
  auto copy = std::make_unique<TppPage>(nullptr);
  copy->Assign(page);
  Pages.push_back(std::move(copy));
}

std::unique_ptr<TMemoryDataSet, TObjectFree> MakeJobs(int rows, int groupSize) {
  std::unique_ptr<TMemoryDataSet, TObjectFree> data(new TMemoryDataSet());
  data->DefineField("OWNER", ftString, 20);
  data->DefineField("PRINTER", ftString, 20);
  data->DefineField("ID", ftInteger);
  data->DefineField("PAGES", ftInteger);
  data->Open();
  for (int n = 1; n <= rows; ++n) {
    const int owner = (n - 1) / groupSize + 1;
    data->Append();
    data->FieldByName("OWNER")->SetAsString("Owner" + std::to_string(owner));
    data->FieldByName("PRINTER")->SetAsString("P" + std::to_string(owner) + "-" + std::to_string(((n - 1) % groupSize) * 2 / groupSize));
    data->FieldByName("ID")->SetAsInteger(n);
    data->FieldByName("PAGES")->SetAsInteger(n % 7 + 1);
    data->Post();
  }
  data->First();
  return data;
}

TReportFixture::TReportFixture(int rows, int groupSize)
    : Data(MakeJobs(rows, groupSize)), Owner(new TComponent(nullptr)) {
  Source = new TDataSource(Owner.get());
  Source->SetDataSet(Data.get());
  Pipeline = new TppDBPipeline(Owner.get());
  Pipeline->SetUserName("plJobs");
  Pipeline->SetDataSource(Source);
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

TReportFixture::~TReportFixture() {
  // The report goes first: it holds links to the pipeline.
  Report->Free();
}

TTestText* TReportFixture::AddText(TppBand* band, const std::string& text, bool isField, int top, int height) {
  auto* c = new TTestText(Report);
  c->SetBand(band);
  c->SetmmTop(top);
  c->SetmmHeight(height);
  c->SetmmWidth(mm(50));
  if (isField) {
    c->SetDataPipeline(Pipeline);
    c->SetDataField(text);
  } else {
    c->SetCaption(text);
  }
  return c;
}

TppGroup* TReportFixture::AddGroup(const std::string& field, int headerHeight, int footerHeight) {
  auto* group = new TppGroup(Report);
  group->SetReport(Report);
  group->SetBreakName(field);
  group->HeaderBand()->SetmmHeight(headerHeight);
  group->FooterBand()->SetmmHeight(footerHeight);
  return group;
}

TppSubReport* TReportFixture::AddSubReport(TppBand* band, TppDBPipeline* pipeline, int left, int top, int width,
                                           int height) {
  auto* sub = new TppSubReport(Report);
  sub->SetBand(band);
  sub->SetBounds(left, top, width, height);
  sub->SetDataPipeline(pipeline ? pipeline : Pipeline);
  sub->Report()->GetBand(btDetail)->SetmmHeight(mm(10));
  return sub;
}

TppDBPipeline* TReportFixture::AddPipeline(TDataSet* data) {
  auto* source = new TDataSource(Owner.get());
  source->SetDataSet(data);
  auto* pipeline = new TppDBPipeline(Owner.get());
  pipeline->SetDataSource(source);
  return pipeline;
}

std::vector<std::unique_ptr<TppPage>> TReportFixture::Request(TppPageSettingType setting, int page,
                                                              const std::string& list) {
  TObjectPtr<TRecordingDevice> device(new TRecordingDevice(nullptr));
  device->PageRequest().SetPageSetting(setting);
  device->PageRequest().SetPageRequested(page);
  if (!list.empty()) {
    TStringList pages;
    pages.SetCommaText(list);
    device->PageRequest().SetPageList(&pages);
  }
  device->SetPublisher(Report->Publisher());
  device->RequestPage();
  device->SetPublisher(nullptr);
  return std::move(device->Pages);
}

std::vector<std::unique_ptr<TppPage>> TReportFixture::PrintAll() {
  TObjectPtr<TRecordingDevice> device(new TRecordingDevice(nullptr));
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

std::vector<int> Tops(const TppPage& page) {
  std::vector<int> tops;
  page.ForEachDrawCommand([&](TppDrawCommand* c) { tops.push_back(c->Top()); });
  return tops;
}

std::string PageBytes(TppPage& page) {
  TMemoryStream stream;
  {
    TWriter writer(stream);
    writer.WriteRootComponent(&page);
  }
  std::string bytes(static_cast<size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  stream.Read(bytes.data(), stream.Size());
  return bytes;
}
