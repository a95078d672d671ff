#include "ppGenerationKit.h"

#include <cstring>

#include "dbField.h"
#include "ppDrwCmd.h"

RTL_DEFINE_CLASS(TTestText)
RTL_DEFINE_CLASS(TTestStretch)

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

TReportFixture::TReportFixture(int rows, int groupSize) : TA4ReportFixture(MakeJobs(rows, groupSize)) {}

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
