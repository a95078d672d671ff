#include "ppFormsKit.h"

#include <algorithm>

#include "ppDrwCmd.h"
#include "ppPrinterInfo.h"
#include "ppPrinterSetup.h"
#include "uiTestSupport.h"

RTL_DEFINE_CLASS(TKitText)

TKitText::TKitText(TComponent* owner) : TppCustomComponent(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
}

void TKitText::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  static_cast<TppDrawText*>(command)->Text =
      DataFieldReady() ? DataPipeline()->GetFieldAsString(DataField()) : Caption();
}

TKitReport::TKitReport(int rows, int rowsPerPage)
    : Data(new TMemoryDataSet()), Owner(new TComponent(nullptr)) {
  TestApplication();
  Data->DefineField("ID", ftInteger);
  Data->DefineField("NAME", ftString, 20);
  Data->DefineField("ACTIVE", ftBoolean);
  Data->DefineField("DAY", ftDate);
  Data->Open();
  for (int n = 1; n <= rows; ++n) {
    Data->Append();
    Data->FieldByName("ID")->SetAsInteger(n);
    Data->FieldByName("NAME")->SetAsString("Row " + std::to_string(n));
    Data->FieldByName("ACTIVE")->SetAsBoolean(n % 2 == 0);
    Data->FieldByName("DAY")->SetAsDateTime(46000 + n);
    Data->Post();
  }
  Data->First();
  Pipeline = AddDataPipeline(Owner.get(), Data.get(), "plRows");
  Report = new TppReport(Owner.get());
  TppPrinterSetup* setup = Report->PrinterSetup();
  SetPage(*setup, 215900, 279400, 0, mm(10));
  setup->SetDocumentName("Kit");
  Report->SetShowPrintDialog(false);
  Report->SetShowCancelDialog(false);
  Report->CreateDefaultBands();
  Report->GetBand(btHeader)->SetmmHeight(0);
  Report->GetBand(btFooter)->SetmmHeight(0);
  TppBand* detail = Report->GetBand(btDetail);
  detail->SetmmHeight(279400 / rowsPerPage - 10);
  Report->SetDataPipeline(Pipeline);
  Text = new TKitText(Report);
  Text->SetBand(detail);
  Text->SetmmTop(mm(5));
  Text->SetmmLeft(mm(20));
  Text->SetmmWidth(mm(60));
  Text->SetmmHeight(mm(10));
  Text->SetDataPipeline(Pipeline);
  Text->SetDataField("ID");
  Text->OnDrawCommandClick = [this](TObject*, TObject*) { ++Clicks; };
}

TKitReport::~TKitReport() { Free(); }

void TKitReport::Free() {
  if (Report) Report->Free();
  Report = nullptr;
  Owner.reset();
}

TFormAnswers::TFormAnswers(std::function<int(TppForm&)> act) : previous(ppSetFormRunner(std::move(act))) {}
TFormAnswers::~TFormAnswers() { ppSetFormRunner(std::move(previous)); }

TMessageBoxes::TMessageBoxes(TModalResult answer) {
  SetMessageBoxRunner([this, answer](const TMessageBoxRequest& request) {
    Texts.push_back(request.Text);
    return answer;
  });
}

TMessageBoxes::~TMessageBoxes() { SetMessageBoxRunner(nullptr); }

namespace {

class TOfficePrinter : public TppPrinterSource {
public:
  explicit TOfficePrinter(std::vector<std::string> network) : network(std::move(network)) {}
  std::vector<std::string> PrinterNames() override {
    std::vector<std::string> names{"Office"};
    names.insert(names.end(), network.begin(), network.end());
    return names;
  }
  std::string DefaultPrinterName() override { return "Office"; }
  TppDriverCapabilities Capabilities(const std::string&) override {
    TppDriverCapabilities caps;
    caps.PaperNames = {"Letter", "A4"};
    caps.PaperCodes = {1, 9};
    caps.PaperSizes = {{2159, 2794}, {2100, 2970}};
    caps.BinNames = {"Upper"};
    caps.BinCodes = {1};
    caps.MaxCopies = 99;
    return caps;
  }
  int Resolution(const std::string&) override { return 600; }
  bool IsColor(const std::string&) override { return true; }
  bool IsNetwork(const std::string& device) override {
    return std::find(network.begin(), network.end(), device) != network.end();
  }

private:
  std::vector<std::string> network;
};

}  // namespace

TKitPrinters::TKitPrinters(std::vector<std::string> networkPrinters) {
  ppSetPrinterSource(std::make_unique<TOfficePrinter>(std::move(networkPrinters)));
}
TKitPrinters::~TKitPrinters() { ppSetPrinterSource(nullptr); }
