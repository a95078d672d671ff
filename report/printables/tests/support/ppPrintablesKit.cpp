#include "ppPrintablesKit.h"

#include "dbField.h"

std::vector<TJobRow> Rows(int count, int groupSize) {
  std::vector<TJobRow> rows;
  for (int n = 1; n <= count; ++n)
    rows.push_back(TJobRow{"Owner" + std::to_string((n - 1) / groupSize + 1), n % 7 + 1, "Job " + std::to_string(n)});
  return rows;
}

namespace {

std::unique_ptr<TMemoryDataSet, TObjectFree> MakeRows(const std::vector<TJobRow>& rows) {
  std::unique_ptr<TMemoryDataSet, TObjectFree> data(new TMemoryDataSet());
  data->DefineField("OWNER", ftString, 20);
  data->DefineField("PAGES", ftInteger);
  data->DefineField("NOTE", ftMemo);
  data->DefineField("ZERO", ftFloat);
  data->DefineField("ZEROTEXT", ftString, 5);
  data->DefineField("ZEROINT", ftInteger);
  data->DefineField("PICTURE", ftGraphic);
  data->Open();
  for (const TJobRow& row : rows) {
    data->Append();
    data->FieldByName("OWNER")->SetAsString(row.Owner);
    data->FieldByName("PAGES")->SetAsInteger(row.Pages);
    data->FieldByName("NOTE")->SetAsString(row.Note);
    data->FieldByName("ZERO")->SetAsFloat(0.0);
    data->FieldByName("ZEROTEXT")->SetAsString("0");
    data->FieldByName("ZEROINT")->SetAsInteger(0);
    if (!row.Picture.empty()) data->FieldByName("PICTURE")->SetAsVariant(Variant::FromBytes(row.Picture));
    data->Post();
  }
  data->First();
  return data;
}

}  // namespace

TPrintablesFixture::TPrintablesFixture(const std::vector<TJobRow>& rows) : TA4ReportFixture(MakeRows(rows)) {}
