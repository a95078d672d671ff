#include <gtest/gtest.h>

#include <functional>

#include "ppBarCode.h"
#include "ppMessages.h"
#include "ppPrintablesKit.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlWriter.h"
#include "uiDialogs.h"

namespace {

// Captures the information boxes the components show.
class MessageCapture {
public:
  MessageCapture() {
    SetMessageBoxRunner([this](const TMessageBoxRequest& request) {
      texts.push_back(request.Text);
      return mrOk;
    });
  }
  ~MessageCapture() { SetMessageBoxRunner(nullptr); }
  std::vector<std::string> texts;
};

constexpr int inch = 25400;

TEST(BarCodeComponent, EachSymbologyBringsItsSampleBarWidthAndSettings) {
  struct TCase {
    TppBarCodeType Type;
    const char* Sample;
    int BarWidth;
    bool AutoSize, PrintHumanReadable, AutoEncode;
  };
  const TCase cases[] = {
      {bcUPC_A, "01234567890", 330, true, true, false},  {bcUPC_E, "012345", 330, true, true, false},
      {bcEAN_13, "0012345678905", 330, true, true, false}, {bcEAN_8, "20123451", 330, true, true, false},
      {bcInt2of5, "0123456789", 381, true, true, false}, {bcCode39, "BarCode", 254, true, true, false},
      {bcPostnet, "012345678", 508, true, false, false}, {bcFIM, "A", 787, true, false, false},
      {bcCodabar, "A01234B", 254, true, true, false},    {bcMSI, "0139725", 254, true, true, false},
      {bcCode128, "\xD2" "1234\xCD abcd", 254, true, true, true},
  };
  // A type is switched to from another one.
  const auto switchTo = [](TppBarCode& code, TppBarCodeType type) {
    code.SetBarCodeType(type == bcCodabar ? bcCode39 : bcCodabar);
    code.SetBarCodeType(type);
  };
  for (const TCase& c : cases) {
    MessageCapture messages;
    TObjectPtr<TppBarCode> code(new TppBarCode(nullptr));
    switchTo(*code, c.Type);
    EXPECT_EQ(code->Data(), c.Sample) << c.Type;
    EXPECT_EQ(code->mmBarWidth(), c.BarWidth) << c.Type;
    EXPECT_EQ(code->AutoSize(), c.AutoSize) << c.Type;
    EXPECT_EQ(code->PrintHumanReadable(), c.PrintHumanReadable) << c.Type;
    if (c.AutoEncode) {
      EXPECT_TRUE(code->AutoEncode()) << c.Type;
    }
    // Every sample is valid, with and without the check digit computed.
    EXPECT_TRUE(code->CodeOK()) << c.Type;
    code->SetBarCodeType(bcCode128);
    code->SetCalcCheckDigit(false);
    switchTo(*code, c.Type);
    EXPECT_TRUE(code->CodeOK()) << c.Type << " " << code->Data();
    for (const std::string& text : messages.texts) ADD_FAILURE() << c.Type << ": " << text;
  }
  // UPC-E without the check digit computed: "012345" is 00123400005,
  // whose check digit is 7.
  TObjectPtr<TppBarCode> upcE(new TppBarCode(nullptr));
  upcE->SetCalcCheckDigit(false);
  switchTo(*upcE, bcUPC_E);
  EXPECT_EQ(upcE->Data(), "0123457");
  // Code 39 to Postnet: its sample, AutoSize on, no text, 0.02 inch bars.
  TObjectPtr<TppBarCode> postnet(new TppBarCode(nullptr));
  postnet->SetPrintHumanReadable(true);
  postnet->SetBarCodeType(bcPostnet);
  EXPECT_EQ(postnet->Data(), "012345678");
  EXPECT_FALSE(postnet->PrintHumanReadable());
  EXPECT_NEAR(postnet->BarWidth(), 0.02, 1e-4);
  // The data-aware component shows its own Code 39 sample without a field.
  TObjectPtr<TppDBBarCode> db(new TppDBBarCode(nullptr));
  EXPECT_EQ(db->BarCodeText(), "DBBarCode");
}

TEST(BarCodeComponent, RefusedSettingsAreShownAndLeaveTheValue) {
  struct TCase {
    const char* Name;
    TppBarCodeType Type;
    std::function<void(TppBarCode&)> Change;
    std::function<bool(const TppBarCode&)> Unchanged;
    std::string Message;
  };
  const TCase cases[] = {
      {"supplement on Code 39", bcCode39, [](TppBarCode& c) { c.SetAddOnCode("12"); },
       [](const TppBarCode& c) { return c.AddOnCode().empty(); }, ppLoadMessage(423)},
      {"supplement of 3 digits", bcEAN_13, [](TppBarCode& c) { c.SetAddOnCode("123"); },
       [](const TppBarCode& c) { return c.AddOnCode().empty(); }, ppLoadMessage(424)},
      {"Postnet without AutoSize", bcPostnet, [](TppBarCode& c) { c.SetAutoSize(false); },
       [](const TppBarCode& c) { return c.AutoSize(); }, ppLoadMessage(425)},
      {"FIM without AutoSize", bcFIM, [](TppBarCode& c) { c.SetAutoSize(false); },
       [](const TppBarCode& c) { return c.AutoSize(); }, ppLoadMessage(425)},
      {"UPC-A without AutoSizeFont", bcUPC_A, [](TppBarCode& c) { c.SetAutoSizeFont(false); },
       [](const TppBarCode& c) { return c.AutoSizeFont(); }, ppLoadMessage(426)},
      {"bars too thin", bcCode39, [](TppBarCode& c) { c.SetBarWidth(0.003); },
       [](const TppBarCode& c) { return c.mmBarWidth() == 254; }, ppFormatMessage(427, {"0.004"})},
      {"bars too wide", bcCode39, [](TppBarCode& c) { c.SetBarWidth(0.2); },
       [](const TppBarCode& c) { return c.mmBarWidth() == 254; }, ppFormatMessage(428, {"0.1"})},
      {"bearer bars on Code 39", bcCode39, [](TppBarCode& c) { c.SetBearerBars(true); },
       [](const TppBarCode& c) { return !c.BearerBars(); }, ppLoadMessage(429)},
  };
  for (const TCase& c : cases) {
    TObjectPtr<TppBarCode> code(new TppBarCode(nullptr));
    code->SetBarCodeType(c.Type);
    MessageCapture messages;
    c.Change(*code);
    EXPECT_TRUE(c.Unchanged(*code)) << c.Name;
    EXPECT_EQ(messages.texts, std::vector<std::string>{c.Message}) << c.Name;
    EXPECT_FALSE(c.Message.empty()) << c.Name;
  }
  // Accepted: a supplement of two digits on EAN-13, bars at the limits,
  // AutoEncode only on Code 128, a ratio of 0 ignored.
  MessageCapture messages;
  TObjectPtr<TppBarCode> code(new TppBarCode(nullptr));
  code->SetAutoEncode(true);
  EXPECT_FALSE(code->AutoEncode());
  code->SetBarCodeType(bcEAN_13);
  code->SetAddOnCode("12");
  EXPECT_EQ(code->AddOnCode(), "12");
  code->SetBarWidth(0.004);
  EXPECT_EQ(code->mmBarWidth(), 102);
  code->SetBarWidth(0.1);
  EXPECT_EQ(code->mmBarWidth(), 2540);
  code->SetWideBarRatio(0);
  EXPECT_EQ(code->WideBarRatio(), 3.0);
  EXPECT_TRUE(messages.texts.empty());
  // The limits follow the component's units.
  code->SetUnits(utMillimeters);
  code->SetBarWidth(0.05);
  EXPECT_EQ(messages.texts, std::vector<std::string>{ppFormatMessage(427, {"0.1016"})});
}

TEST(BarCodeComponent, TextsAreCheckedByTheRulesOfTheirSymbology) {
  struct TCase {
    TppBarCodeType Type;
    bool Calc;
    const char* Text;
    std::string Message;  // empty: valid
  };
  const TCase cases[] = {
      {bcUPC_A, true, "01234567890", ""},          {bcUPC_A, false, "01234567890", ppLoadMessage(439)},
      {bcUPC_A, true, "0123456789", ppLoadMessage(438)}, {bcUPC_A, true, "0123456789A", ppLoadMessage(440)},
      {bcUPC_E, false, "012345", ppLoadMessage(649)},  {bcUPC_E, true, "01234", ppLoadMessage(648)},
      {bcUPC_E, true, "01234x", ppLoadMessage(650)},   {bcEAN_13, false, "001234567890", ppLoadMessage(432)},
      {bcEAN_13, true, "00123456789", ppLoadMessage(431)}, {bcEAN_13, true, "00123456789x", ppLoadMessage(433)},
      {bcEAN_8, false, "2012345", ppLoadMessage(646)}, {bcEAN_8, true, "201234", ppLoadMessage(645)},
      {bcEAN_8, true, "201234x", ppLoadMessage(647)},  {bcInt2of5, true, "123", ""},
      {bcInt2of5, false, "123", ppLoadMessage(435)},   {bcInt2of5, true, "12a4", ppLoadMessage(434)},
      {bcCode39, true, "Job 12 $%+-./", ""},           {bcCode39, true, "Job#1", ppLoadMessage(430)},
      {bcPostnet, true, "1234-56789", ""},             {bcPostnet, true, "1234", ppLoadMessage(437)},
      {bcPostnet, true, "12345+", ppLoadMessage(436)}, {bcFIM, true, "c", ""},
      {bcFIM, true, "D", ppLoadMessage(651)},          {bcFIM, true, "AB", ppLoadMessage(651)},
      {bcCodabar, true, "a12:34d", ""},                {bcCodabar, true, "A12E4B", ppLoadMessage(652)},
      {bcCodabar, true, "1234B", ppLoadMessage(653)},
      {bcCodabar, true, "A12C4B", ppLoadMessage(654) + " " + ppLoadMessage(655)},
      {bcMSI, true, "1234", ""},                       {bcMSI, true, "12.4", "MSI Barcodes must be numeric"},
      {bcCode128, true, "anything", ""},               {bcUPC_A, true, "", ""},
  };
  for (const TCase& c : cases) {
    MessageCapture messages;
    TObjectPtr<TppBarCode> code(new TppBarCode(nullptr));
    code->SetBarCodeType(c.Type);
    code->SetCalcCheckDigit(c.Calc);
    code->SetData("");
    messages.texts.clear();
    code->SetData(c.Text);
    EXPECT_EQ(code->Data(), c.Text);
    EXPECT_EQ(code->CodeOK(), c.Message.empty()) << c.Type << " " << c.Text;
    EXPECT_EQ(messages.texts, c.Message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Message})
        << c.Type << " " << c.Text;
    if (!c.Message.empty()) {
      EXPECT_FALSE(messages.texts.front().empty());
    }
  }
}

std::string Stream(TComponent& component) {
  TMemoryStream stream;
  {
    TWriter writer(stream);
    writer.WriteRootComponent(&component);
  }
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

TEST(BarCodeComponent, WidthAndRatioAreStoredInThousandthsAndReadBack) {
  ppRegisterBarCodeClasses();
  TObjectPtr<TppBarCode> code(new TppBarCode(nullptr));
  code->SetUnits(utMillimeters);
  code->SetWideBarRatio(2.5);
  EXPECT_EQ(code->WideBarRatio(), 2.5);
  EXPECT_EQ(code->mmWideBarRatio(), 63500);
  code->SetBarWidth(0.5);
  EXPECT_EQ(code->mmBarWidth(), 500);
  EXPECT_NEAR(code->BarWidth(), 0.5, 1e-9);
  code->SetBarCodeType(bcEAN_8);
  code->SetAutoSize(false);
  code->SetAddOnCode("52495");
  const std::string bytes = Stream(*code);
  EXPECT_NE(bytes.find("mmWideBarRatio"), std::string::npos);
  // The values in units are never stored, only their thousandths.
  EXPECT_EQ(bytes.find("\x0C" "WideBarRatio"), std::string::npos);
  EXPECT_EQ(bytes.find("\x08" "BarWidth"), std::string::npos);

  TObjectPtr<TppBarCode> read(new TppBarCode(nullptr));
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  {
    TReader reader(stream);
    reader.ReadRootComponent(read.get());
  }
  EXPECT_EQ(read->BarCodeType(), bcEAN_8);
  EXPECT_EQ(read->mmBarWidth(), 330);
  EXPECT_EQ(read->mmWideBarRatio(), 63500);
  EXPECT_FALSE(read->AutoSize());
  EXPECT_EQ(read->AddOnCode(), "52495");
  EXPECT_EQ(read->Data(), "20123451");
  // An untouched one stores neither value.
  TObjectPtr<TppBarCode> plain(new TppBarCode(nullptr));
  const std::string plainBytes = Stream(*plain);
  EXPECT_EQ(plainBytes.find("mmBarWidth"), std::string::npos);
  EXPECT_EQ(plainBytes.find("mmWideBarRatio"), std::string::npos);
}

TEST(BarCodeComponent, PrintsItsDataOrItsFieldsValueAtTheMeasuredSize) {
  TPrintablesFixture f(Rows(2, 1));
  auto* fixed = f.Add<TppBarCode>(f.Detail, 0, 0, mm(40), mm(10));
  fixed->SetBarCodeType(bcUPC_A);
  auto* db = f.Add<TppDBBarCode>(f.Detail, mm(100), 0, mm(40), mm(10));
  db->SetDataPipeline(f.Pipeline);
  db->SetDataField("OWNER");
  f.Detail->SetmmHeight(mm(40));
  // With AutoSize the UPC-A takes the symbol's size: 95 modules and two
  // quiet zones of 9 at 0.013 inch.
  EXPECT_NEAR(fixed->mmWidth(), (95 + 18) * 330, 3 * 330);
  const auto pages = f.PrintAll();
  ASSERT_EQ(pages.size(), 1u);
  std::vector<std::string> texts;
  pages[0]->ForEachDrawCommand([&](TppDrawCommand* c) {
    if (auto* b = dynamic_cast<TppDrawBarCode*>(c)) {
      EXPECT_TRUE(b->CodeOK) << b->Data;
      texts.push_back(b->Data);
      if (b->BarCodeType == bcUPC_A) {
        EXPECT_EQ(b->BarWidth, 330);
      }
    }
  });
  EXPECT_EQ(texts, (std::vector<std::string>{"01234567890", "Owner1", "01234567890", "Owner2"}));
}

}  // namespace
