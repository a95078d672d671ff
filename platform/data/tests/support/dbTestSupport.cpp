#include "dbTestSupport.h"

#include "rtlDateTime.h"

std::unique_ptr<TMemoryDataSet, TObjectFree> MakePeople(int rows) {
  std::unique_ptr<TMemoryDataSet, TObjectFree> dataSet(new TMemoryDataSet());
  dataSet->DefineField("ID", ftInteger, 0, true);
  dataSet->DefineField("NAME", ftString, 20);
  dataSet->DefineField("AMOUNT", ftFloat);
  dataSet->DefineField("PRICE", ftBCD, 2);
  dataSet->DefineField("BORN", ftDate);
  dataSet->DefineField("NOTE", ftMemo);
  dataSet->DefineField("ACTIVE", ftBoolean);
  dataSet->Open();
  for (int n = 1; n <= rows; ++n) AppendPerson(*dataSet, n);
  dataSet->First();
  return dataSet;
}

void AppendPerson(TDataSet& dataSet, int n) {
  dataSet.Append();
  dataSet.FieldByName("ID")->SetAsInteger(n);
  dataSet.FieldByName("NAME")->SetAsString("Name" + std::to_string(n));
  dataSet.FieldByName("AMOUNT")->SetAsFloat(n * 1.5);
  dataSet.FieldByName("PRICE")->SetAsCurrency(Currency::FromScaled(n * 10000 + 2500));
  dataSet.FieldByName("BORN")->SetAsDateTime(EncodeDate(2000, 1, n % 28 + 1));
  dataSet.FieldByName("ACTIVE")->SetAsBoolean(n % 2 == 0);
  dataSet.Post();
}

std::vector<int> WalkIds(TDataSet& dataSet) {
  std::vector<int> ids;
  for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) ids.push_back(dataSet.FieldByName("ID")->AsInteger());
  return ids;
}
