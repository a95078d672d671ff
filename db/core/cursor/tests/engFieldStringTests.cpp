#include "engFieldTestSupport.h"
#include "engFieldText.h"

namespace {

constexpr uint16_t German = 0x0407;  // code page 1252

TEST_F(FieldAccessTest, StringsLoseTrailingBlanksAndBlankTextsAreNull) {
  Open();
  PutText(fName, "abc   ");
  EXPECT_EQ(GetText(fName), "abc");
  EXPECT_EQ(NullByte(fName), 1);
  for (const char* empty : {"", "     "}) {
    PutText(fName, empty);
    EXPECT_TRUE(Blank(fName)) << '"' << empty << '"';
    EXPECT_EQ(GetText(fName), "");
  }
  PutText(fName, "  lead");
  EXPECT_EQ(GetText(fName), "  lead");
}

TEST_F(FieldAccessTest, StringsAreCutToTheDeclaredSizeAndCased) {
  Open();
  PutText(fName, "abcdefghijKLMNOP");
  EXPECT_EQ(GetText(fName), "abcdefghij");
  PutText(fName, "abcdefghi        x");  // blanks left at the cut go too
  EXPECT_EQ(GetText(fName), "abcdefghi");
  PutText(fUpName, "Abc");
  EXPECT_EQ(GetText(fUpName), "ABC");
  PutText(fLowName, "Abc");
  EXPECT_EQ(GetText(fLowName), "abc");
}

TEST_F(FieldAccessTest, Utf8TextIsNeverCutInsideACharacter) {
  Open();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"aaaaaaaa\u00e9", "aaaaaaaa\u00e9"},        // ends exactly at the limit
      {"aaaaaaaaa\u00e9", "aaaaaaaaa"},            // the cut falls inside the last letter
      {"aaaaaaaa\u20ac", "aaaaaaaa"},              // inside a three-byte character
      {"aaaaaaa \U0001F600", "aaaaaaa"},           // inside a four-byte one, blank before it
      {"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", "\u00e9\u00e9\u00e9\u00e9\u00e9"}};
  for (const auto& [text, stored] : cases) {
    PutText(fName, text);
    EXPECT_EQ(GetText(fName), stored) << text;
  }
  PutText(fUpName, "stra\u00dfe \u00e9t\u00e9");  // cut after ten bytes, then cased
  EXPECT_EQ(GetText(fUpName), "STRA\u00dfE \u00c9");
}

TEST_F(FieldAccessTest, LanguageTablesStoreTheirCodePageAtFullLength) {
  Open(German);
  PutText(fName, FieldTextFromUtf8(German, "Gr\u00f6\u00dfenordnung"));
  EXPECT_EQ(GetText(fName), "Gr\xF6\xDF" "enordn");  // ten single-byte characters
  EXPECT_EQ(FieldTextToUtf8(German, GetText(fName)), "Gr\u00f6\u00dfenordn");
  PutText(fUpName, FieldTextFromUtf8(German, "\u00e4rger"));
  EXPECT_EQ(FieldTextToUtf8(German, GetText(fUpName)), "\u00c4RGER");
  PutText(fName, FieldTextFromUtf8(German, "\u0416\u0443\u043a"));
  EXPECT_EQ(GetText(fName), "???");

  EXPECT_EQ(FieldTextFromUtf8(0, "\u0416\u0443\u043a"), "\u0416\u0443\u043a");
  EXPECT_EQ(RaisedCode([] { FieldTextToUtf8(0x7FFF, "x", "ORDERS.DAT"); }), 15878);
  EXPECT_EQ(GetErrorContextName(ecTableName), "ORDERS.DAT");
}

}  // namespace
