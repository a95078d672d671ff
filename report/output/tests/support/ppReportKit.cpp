#include "ppReportKit.h"

#include "ppDrwCmd.h"
#include "ppGroup.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "rtlDateTime.h"
#include "rtlStreams.h"
#include "rtlWriter.h"

RTL_DEFINE_CLASS(TRecordingDevice)

void TRecordingDevice::ReceivePage(TppPage* page) {
  inherited::ReceivePage(page);
  if (SkipPage() || !PageRequested()) return;
  auto copy = std::make_unique<TppPage>(nullptr);
  copy->Assign(page);
  Pages.push_back(std::move(copy));
}

TppDBPipeline* AddDataPipeline(TComponent* owner, TDataSet* data, const std::string& name) {
  auto* source = new TDataSource(owner);
  source->SetDataSet(data);
  auto* pipeline = new TppDBPipeline(owner);
  pipeline->SetUserName(name);
  pipeline->SetDataSource(source);
  return pipeline;
}

void SetPage(TppPrinterSetup& setup, int width, int height, int topAndBottom, int leftAndRight) {
  setup.SetUnits(utMMThousandths);
  setup.SetPaperWidth(width);
  setup.SetPaperHeight(height);
  setup.SetMarginTop(topAndBottom);
  setup.SetMarginBottom(topAndBottom);
  setup.SetMarginLeft(leftAndRight);
  setup.SetMarginRight(leftAndRight);
}

TA4ReportFixture::TA4ReportFixture(std::unique_ptr<TMemoryDataSet, TObjectFree> data)
    : Data(std::move(data)), Owner(new TComponent(nullptr)) {
  Pipeline = AddDataPipeline(Owner.get(), Data.get(), "plJobs");
  Source = Pipeline->DataSource();
  Report = new TppReport(Owner.get());
  SetPage(*Report->PrinterSetup(), mm(210), mm(297), mm(10), mm(10));
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

TA4ReportFixture::~TA4ReportFixture() {
  // The report goes first: it holds links to the pipeline.
  Report->Free();
}

TppGroup* TA4ReportFixture::AddGroup(const std::string& field, int headerHeight, int footerHeight) {
  auto* group = new TppGroup(Report);
  group->SetReport(Report);
  group->SetBreakName(field);
  group->HeaderBand()->SetmmHeight(headerHeight);
  group->FooterBand()->SetmmHeight(footerHeight);
  return group;
}

std::vector<std::unique_ptr<TppPage>> TA4ReportFixture::Request(TppPageSettingType setting, int page,
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

std::vector<std::unique_ptr<TppPage>> TA4ReportFixture::PrintAll() {
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
