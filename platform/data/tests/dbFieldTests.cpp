#include <gtest/gtest.h>

#include "dbTestSupport.h"
#include "rtlDateTime.h"

namespace {

TFormatSettings CommaSettings() {
  TFormatSettings settings;
  settings.DecimalSeparator = ',';
  settings.ThousandSeparator = ".";
  settings.ShortDateFormat = "dd/mm/yyyy";
  settings.DateSeparator = '/';
  return settings;
}

}  // namespace

TEST(Fields, DefaultFieldsTakeTheirClassesFromTheDefinitions) {
  auto people = MakePeople(1);
  EXPECT_TRUE(people->DefaultFields());
  ASSERT_EQ(people->FieldCount(), 7);
  EXPECT_NE(dynamic_cast<TIntegerField*>(people->FieldByName("ID")), nullptr);
  EXPECT_NE(dynamic_cast<TStringField*>(people->FieldByName("name")), nullptr);
  EXPECT_NE(dynamic_cast<TBCDField*>(people->FieldByName("PRICE")), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(people->FieldByName("BORN")), nullptr);
  EXPECT_NE(dynamic_cast<TMemoField*>(people->FieldByName("NOTE")), nullptr);
  EXPECT_EQ(people->FieldByName("NAME")->Size(), 20);
  EXPECT_EQ(people->FieldByName("NAME")->DataSize(), 21);
  EXPECT_TRUE(people->FieldByName("ID")->Required());
  EXPECT_EQ(people->FieldByName("PRICE")->FieldNo(), 4);
  EXPECT_EQ(people->FieldByName("AMOUNT")->Alignment(), taRightJustify);
  EXPECT_EQ(ErrorOf([&] { people->FieldByName("Nope"); }), "Field 'Nope' not found");
  EXPECT_EQ(people->FindField("Nope"), nullptr);
  people->Close();
  EXPECT_EQ(people->FieldCount(), 0);  // default fields go with the data

  // A persistent field whose type differs from the data's is refused.
  auto* wrong = new TStringField(people.get());
  wrong->SetFieldName("ID");
  wrong->SetDataSet(people.get());
  EXPECT_EQ(ErrorOf([&] { people->Open(); }), "Type mismatch for field 'ID', expecting: ftString actual: ftInteger");
  EXPECT_FALSE(people->Active());
}

TEST(Fields, TextAndNumbers) {
  auto people = MakePeople(1);
  people->Edit();
  TField* name = people->FieldByName("NAME");
  name->SetAsString("Ångström café and a rather long tail");
  // Cut to 20 bytes, never inside a character.
  EXPECT_EQ(name->AsString(), "Ångström café and");
  name->SetAsString("abc");
  EXPECT_EQ(name->AsVariant().AsString(), "abc");
  name->SetAsVariant(Variant::Null());
  EXPECT_TRUE(name->IsNull());
  EXPECT_TRUE(name->AsVariant().IsNull());
  EXPECT_EQ(name->AsInteger(), 0);

  TField* id = people->FieldByName("ID");
  id->SetAsString(" 42 ");
  EXPECT_EQ(id->AsInteger(), 42);
  EXPECT_EQ(ErrorOf([&] { id->SetAsString("4x"); }), "'4x' is not a valid integer value for field 'ID'");
  EXPECT_EQ(ErrorOf([&] { id->SetAsFloat(1e12); }),
            "1000000000000 is not a valid value for field 'ID'. The allowed range is -2147483648 to 2147483647");
  auto* limited = static_cast<TIntegerField*>(id);
  limited->SetMaxValue(10);
  limited->SetMinValue(1);
  EXPECT_EQ(ErrorOf([&] { id->SetAsInteger(11); }),
            "11 is not a valid value for field 'ID'. The allowed range is 1 to 10");
  id->SetAsFloat(2.5);
  EXPECT_EQ(id->AsInteger(), 2);
  EXPECT_EQ(ErrorOf([&] { id->AsDateTime(); }), "Cannot access field 'ID' as type DateTime");
  static_cast<TNumericField*>(id)->SetDisplayFormat("000");
  EXPECT_EQ(id->DisplayText(), "002");
  EXPECT_EQ(id->Text(), "002");

  TField* amount = people->FieldByName("AMOUNT");
  amount->SetFormatSettings(CommaSettings());
  amount->SetAsString("1234,5");
  EXPECT_EQ(amount->AsFloat(), 1234.5);
  EXPECT_EQ(amount->AsString(), "1234,5");
  static_cast<TNumericField*>(amount)->SetDisplayFormat("#,##0.00");
  EXPECT_EQ(amount->DisplayText(), "1.234,50");
  EXPECT_EQ(ErrorOf([&] { amount->SetAsString("1.5"); }), "'1.5' is not a valid floating point value for field 'AMOUNT'");
  amount->SetAsString("");
  EXPECT_TRUE(amount->IsNull());

  TField* price = people->FieldByName("PRICE");
  price->SetAsString("12.349");
  EXPECT_EQ(price->AsCurrency(), Currency::FromScaled(123500));  // stored at scale 2
  EXPECT_EQ(price->AsString(), "12.35");
  EXPECT_EQ(price->AsVariant().VarType(), varCurrency);
  people->Cancel();
}

TEST(Fields, BooleansDatesAndMemos) {
  auto people = MakePeople(1);
  people->Edit();
  auto* active = static_cast<TBooleanField*>(people->FieldByName("ACTIVE"));
  EXPECT_EQ(active->AsString(), "False");
  active->SetAsString("t");
  EXPECT_TRUE(active->AsBoolean());
  active->SetDisplayValues("Yes;No");
  EXPECT_EQ(active->AsString(), "Yes");
  active->SetAsString("n");
  EXPECT_FALSE(active->AsBoolean());
  EXPECT_EQ(ErrorOf([&] { active->SetAsString("maybe"); }), "'maybe' is not a valid boolean value for field 'ACTIVE'");
  EXPECT_EQ(ErrorOf([&] { active->SetDisplayValues(";"); }), "\";\" is not a valid DisplayValues text");
  active->SetAsString("");
  EXPECT_TRUE(active->IsNull());

  auto* born = static_cast<TDateField*>(people->FieldByName("BORN"));
  born->SetFormatSettings(CommaSettings());
  born->SetAsString("29/02/2024");
  EXPECT_EQ(born->AsDateTime(), EncodeDate(2024, 2, 29));
  born->SetAsDateTime(EncodeDate(2024, 3, 1) + 0.75);  // the time part is not kept
  EXPECT_EQ(born->AsDateTime(), EncodeDate(2024, 3, 1));
  EXPECT_EQ(born->Text(), "01/03/2024");
  born->SetDisplayFormat("mmm dd, yyyy");
  EXPECT_EQ(born->DisplayText(), "Mar 01, 2024");
  EXPECT_EQ(born->AsVariant().VarType(), varDate);
  EXPECT_THROW(born->SetAsString("31/02/2024"), EConvertError);

  TField* note = people->FieldByName("NOTE");
  EXPECT_TRUE(note->IsNull());
  EXPECT_EQ(note->DisplayText(), "(Memo)");
  note->SetAsString("A long note");
  EXPECT_FALSE(note->IsNull());
  EXPECT_EQ(note->DisplayText(), "(MEMO)");
  EXPECT_EQ(static_cast<TBlobField*>(note)->BlobSize(), 11);
  people->Post();
  EXPECT_EQ(note->AsString(), "A long note");
  EXPECT_EQ(ErrorOf([&] { note->SetAsString("x"); }), "Dataset not in edit or insert mode");
  people->Edit();
  note->Clear();
  people->Post();
  EXPECT_TRUE(note->IsNull());
  EXPECT_EQ(note->AsString(), "");
}

TEST(Fields, ValidationAndChangeEvents) {
  auto people = MakePeople(1);
  TField* name = people->FieldByName("NAME");
  std::string seenWhileValidating;
  int changes = 0;
  name->OnValidate = [&](TField* f) {
    seenWhileValidating = f->AsString();
    if (seenWhileValidating == "bad") throw EDatabaseError("Refused");
  };
  name->OnChange = [&](TField*) { ++changes; };
  people->Edit();
  name->SetAsString("good");
  EXPECT_EQ(seenWhileValidating, "good");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(ErrorOf([&] { name->SetAsString("bad"); }), "Refused");
  EXPECT_EQ(name->AsString(), "good");
  EXPECT_EQ(changes, 1);
  name->OnGetText = [](TField* f, std::string& text, bool display) {
    text = (display ? "<" : "[") + f->AsString() + (display ? ">" : "]");
  };
  EXPECT_EQ(name->DisplayText(), "<good>");
  EXPECT_EQ(name->Text(), "[good]");
  name->OnSetText = [](TField* f, const std::string& text) { f->SetAsString(text + "!"); };
  name->SetText("hi");
  EXPECT_EQ(name->AsString(), "hi!");
  people->Post();
}

TEST(Fields, SmallNumbersTimesAndBytes) {
  TObjectPtr<TMemoryDataSet> data(new TMemoryDataSet());
  data->DefineField("S", ftSmallint);
  data->DefineField("W", ftWord);
  data->DefineField("L", ftLargeint);
  data->DefineField("T", ftTime);
  data->DefineField("DT", ftDateTime);
  data->DefineField("B", ftBytes, 4);
  data->DefineField("VB", ftVarBytes, 4);
  data->DefineField("C", ftCurrency);
  data->Open();
  data->Append();
  TField* s = data->FieldByName("S");
  EXPECT_EQ(ErrorOf([&] { s->SetAsInteger(40000); }),
            "40000 is not a valid value for field 'S'. The allowed range is -32768 to 32767");
  s->SetAsInteger(-5);
  EXPECT_EQ(s->AsInteger(), -5);
  TField* w = data->FieldByName("W");
  EXPECT_EQ(ErrorOf([&] { w->SetAsInteger(-1); }),
            "-1 is not a valid value for field 'W'. The allowed range is 0 to 65535");
  w->SetAsInteger(65535);
  EXPECT_EQ(w->AsInteger(), 65535);
  TField* l = data->FieldByName("L");
  l->SetAsLargeInt(INT64_C(1) << 40);
  EXPECT_EQ(l->AsVariant().VarType(), varInt64);
  EXPECT_EQ(ErrorOf([&] { l->AsInteger(); }), "Value of field 'L' is out of range");

  TField* t = data->FieldByName("T");
  t->SetAsString("13:05:07");
  EXPECT_EQ(t->AsDateTime(), EncodeTime(13, 5, 7, 0));
  EXPECT_EQ(t->Text(), "13:05:07");
  TField* dt = data->FieldByName("DT");
  const TDateTime when = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  dt->SetAsDateTime(when);
  EXPECT_EQ(dt->AsDateTime(), when);
  EXPECT_EQ(dt->AsString(), "1899-12-29 06:00:00");

  TField* b = data->FieldByName("B");
  b->SetAsString(std::string("\x01\x02", 2));
  EXPECT_EQ(b->AsString(), std::string("\x01\x02\x00\x00", 4));  // fixed width
  TField* vb = data->FieldByName("VB");
  vb->SetAsVariant(Variant::FromBytes({9, 8, 7, 6, 5}));
  EXPECT_EQ(vb->AsString(), "\x09\x08\x07\x06");  // cut to its size
  EXPECT_EQ(vb->DisplayText(), "(VarBytes)");
  EXPECT_TRUE(vb->AsVariant().IsBytes());

  TField* c = data->FieldByName("C");
  TFormatSettings dollars;
  dollars.CurrencyString = "$";
  c->SetFormatSettings(dollars);
  c->SetAsFloat(1234.5);
  EXPECT_EQ(c->DisplayText(), "$1,234.50");
  EXPECT_EQ(c->Text(), "1234.5");
  data->Post();
  EXPECT_EQ(data->StoredCount(), 1);
}

TEST(Fields, AValueIsReadOnceWithWhetherItIsSet) {
  std::unique_ptr<TMemoryDataSet, TObjectFree> data(new TMemoryDataSet());
  const struct {
    const char* Name;
    TFieldType Type;
    Variant Value;
  } cases[] = {
      {"TEXT", ftString, Variant(std::string("Ångström"))},
      {"WHOLE", ftInteger, Variant(-42)},
      {"SMALL", ftSmallint, Variant(7)},
      {"LARGE", ftLargeint, Variant(int64_t{1} << 40)},
      {"REAL", ftFloat, Variant(2.5)},
      {"MONEY", ftCurrency, Variant(1.25)},
      {"FLAG", ftBoolean, Variant(true)},
      {"WHEN", ftDateTime, Variant::FromDate(EncodeDate(2024, 2, 29) + 0.5)},
      {"DAY", ftDate, Variant::FromDate(EncodeDate(1999, 12, 31))},
  };
  for (const auto& c : cases) data->DefineField(c.Name, c.Type, c.Type == ftString ? 20 : 0);
  data->Open();
  data->Append();
  for (const auto& c : cases) data->FieldByName(c.Name)->SetAsVariant(c.Value);
  data->Post();
  data->Append();
  data->Post();
  data->First();
  for (const bool blank : {false, true}) {
    for (const auto& c : cases) {
      TField* field = data->FieldByName(c.Name);
      Variant value(std::string("untouched"));
      const int before = data->FieldReads;
      EXPECT_EQ(field->ReadValue(value), !blank) << c.Name;
      EXPECT_EQ(data->FieldReads - before, 1) << c.Name << (blank ? " blank" : " set");
      if (blank) {
        EXPECT_EQ(value.AsString(), "untouched") << c.Name;
        EXPECT_TRUE(field->AsVariant().IsNull()) << c.Name;
      } else {
        EXPECT_EQ(value.VarType(), c.Value.VarType()) << c.Name;
        EXPECT_EQ(value.AsString(), c.Value.AsString()) << c.Name;
        EXPECT_EQ(field->AsVariant().AsString(), value.AsString()) << c.Name;
      }
    }
    data->Next();
  }
}
