#include <gtest/gtest.h>

#include <random>

#include "ppDrwCmd.h"
#include "ppPage.h"
#include "rtlObjectText.h"
#include "rtlParser.h"
#include "rtlReader.h"
#include "rtlWriter.h"
#include "uiGraphicsBitmap.h"

namespace {

TppPage* MakePage() {
  ppRegisterDrawCommandClasses();
  auto* page = new TppPage(nullptr);
  page->SetName("Page1");
  page->AbsolutePageNo = 3;
  page->AbsolutePageCount = 12;
  page->PageNo = 3;
  page->PageCount = 12;
  page->Final = true;
  page->DocumentName = "Usage by printer";
  page->PrintDateTime = 46000.5;
  page->PrinterSetup()->SetNotifications(false);
  page->PrinterSetup()->SetDocumentName("Usage");
  page->PrinterSetup()->SetCopies(2);

  auto* text = new TppDrawText(page);
  text->SetName("Text1");
  text->SetLeft(6350);
  text->SetTop(12700);
  text->SetWidth(50000);
  text->SetHeight(4000);
  text->Text = "Printer: it's \"Office\"";
  text->SetTextAlignment(taCentered);
  text->Font()->SetName("Times New Roman");
  text->Font()->SetSize(12);
  text->Font()->SetStyle(fsBold);
  text->WrappedText()->Add("first line");
  text->WrappedText()->Add("second line");
  text->TabStopPositions()->Add("12700");
  text->SetClickable(true);
  text->SetPage(page);

  auto* var = new TppDrawVar(page);
  var->SetName("Var1");
  var->VarType = vtPageSetDesc;
  var->SetPage(page);

  auto* shape = new TppDrawShape(page);
  shape->SetName("Shape1");
  shape->ShapeType = stRoundRect;
  shape->Brush()->SetColor(clYellow);
  shape->Pen()->SetWidth(3);
  shape->SetPage(page);

  auto* line = new TppDrawLine(page);
  line->SetName("Line1");
  line->Weight = 1.5f;
  line->LineStyle = lsDouble;
  line->SetPage(page);

  auto* rich = new TppDrawRichText(page);
  rich->SetName("Rich1");
  const std::string rtf = "{\\rtf1 hello}";
  rich->RichTextStream().WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
  rich->StartCharPos = 0;
  rich->SetPage(page);

  auto* image = new TppDrawImage(page);
  image->SetName("Image1");
  TBitmap& bitmap = image->Picture()->NewBitmap();
  bitmap.SetSize(4, 3);
  bitmap.SetPixel(1, 1, clRed);
  image->SetPage(page);
  return page;
}

std::string ToBinary(TComponent* root) {
  TStringStream out;
  TWriter writer(out);
  writer.WriteRootComponent(root);
  return out.DataString();
}

std::string BinaryToText(const std::string& binary) {
  TStringStream in(binary), out;
  ObjectBinaryToText(in, out);
  return out.DataString();
}

std::string TextToBinary(const std::string& text) {
  TStringStream in(text), out;
  ObjectTextToBinary(in, out);
  return out.DataString();
}

TObjectPtr<TppPage> ReadPage(const std::string& binary) {
  TStringStream in(binary);
  TReader reader(in);
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  reader.ReadRootComponent(page.get());
  return page;
}

}  // namespace

TEST(PageStream, APageWithItsCommandsReadsBackWhole) {
  TObjectPtr<TppPage> page(MakePage());
  const std::string binary = ToBinary(page.get());
  TObjectPtr<TppPage> back = ReadPage(binary);
  EXPECT_EQ(back->AbsolutePageNo, 3);
  EXPECT_EQ(back->AbsolutePageCount, 12);
  EXPECT_TRUE(back->Final);
  EXPECT_EQ(back->DocumentName, "Usage by printer");
  EXPECT_DOUBLE_EQ(back->PrintDateTime, 46000.5);
  EXPECT_EQ(back->PrinterSetup()->Copies(), 2);
  EXPECT_EQ(back->PageDef()->mmWidth(), page->PageDef()->mmWidth());
  ASSERT_EQ(back->GetDrawCommandCount(), 6);
  EXPECT_EQ(back->GetClickableCount(), 1);
  EXPECT_EQ(back->GetLookAheadCount(), 1);

  auto* text = dynamic_cast<TppDrawText*>(back->GetDrawCommand(0));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Owner(), back.get());
  EXPECT_EQ(text->Text, "Printer: it's \"Office\"");
  EXPECT_EQ(text->TextAlignment(), taCentered);
  EXPECT_EQ(text->Alignment(), taCenter);
  EXPECT_EQ(text->Font()->Name(), "Times New Roman");
  EXPECT_EQ(text->Font()->Style(), fsBold);
  EXPECT_EQ(text->WrappedText()->Count(), 2);
  EXPECT_EQ(text->Left(), 6350);
  auto* shape = dynamic_cast<TppDrawShape*>(back->GetDrawCommand(2));
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->ShapeType, stRoundRect);
  EXPECT_EQ(shape->Brush()->Color(), clYellow);
  EXPECT_EQ(shape->DataType(), dtGraphic);
  auto* line = dynamic_cast<TppDrawLine*>(back->GetDrawCommand(3));
  ASSERT_NE(line, nullptr);
  EXPECT_FLOAT_EQ(line->Weight, 1.5f);
  auto* rich = dynamic_cast<TppDrawRichText*>(back->GetDrawCommand(4));
  ASSERT_NE(rich, nullptr);
  ASSERT_EQ(rich->RichTextStream().Size(), 13);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rich->RichTextStream().Memory()), 13), "{\\rtf1 hello}");
  EXPECT_EQ(rich->EndCharPos, -1);
  auto* image = dynamic_cast<TppDrawImage*>(back->GetDrawCommand(5));
  ASSERT_NE(image, nullptr);
  ASSERT_NE(image->AsBitmap(), nullptr);
  EXPECT_EQ(image->AsBitmap()->Width(), 4);
  EXPECT_EQ(image->AsBitmap()->Pixel(1, 1), clRed);
}

TEST(PageStream, BinaryAndTextFormsRoundTripByteForByte) {
  TObjectPtr<TppPage> page(MakePage());
  const std::string binary = ToBinary(page.get());
  const std::string text = BinaryToText(binary);
  EXPECT_NE(text.find("object Page1: TppPage"), std::string::npos);
  EXPECT_NE(text.find("RTFStream = {"), std::string::npos);
  EXPECT_EQ(TextToBinary(text), binary);
  EXPECT_EQ(BinaryToText(TextToBinary(text)), text);
  // Reading and writing again changes nothing.
  TObjectPtr<TppPage> back = ReadPage(binary);
  EXPECT_EQ(ToBinary(back.get()), binary);
}

TEST(PageStream, OverAnAncestorTheSetupWritesTheSizesThatDiffer) {
  TObjectPtr<TppPage> ancestor(MakePage());
  TObjectPtr<TppPage> page = ReadPage(ToBinary(ancestor.get()));
  page->PrinterSetup()->SetUnits(utMillimeters);
  page->PrinterSetup()->SetMarginLeft(20);
  TStringStream out;
  {
    TWriter writer(out);
    writer.WriteDescendent(page.get(), ancestor.get());
  }
  const std::string text = BinaryToText(out.DataString());
  EXPECT_NE(text.find("PrinterSetup.mmMarginLeft = 20000"), std::string::npos) << text;
  for (const char* same : {"mmMarginBottom", "mmMarginRight", "mmMarginTop", "mmPaperHeight", "mmPaperWidth"})
    EXPECT_EQ(text.find(same), std::string::npos) << same;
  // Read over a copy of the ancestor, the page is the changed one again.
  TObjectPtr<TppPage> rebuilt = ReadPage(ToBinary(ancestor.get()));
  TStringStream in(out.DataString());
  TReader reader(in);
  reader.ReadRootComponent(rebuilt.get());
  EXPECT_EQ(rebuilt->PrinterSetup()->PageDef().mmMarginLeft(), 20000);
  EXPECT_EQ(ToBinary(rebuilt.get()), ToBinary(page.get()));
}

TEST(PageStream, ARichTextLengthPastTheEndIsRefused) {
  TObjectPtr<TppPage> page(MakePage());
  std::string binary = ToBinary(page.get());
  const size_t at = binary.find("{\\rtf1");
  ASSERT_NE(at, std::string::npos);
  // The command's own length field sits just before its bytes.
  binary.replace(at - 4, 4, std::string("\xFF\xFF\x00\x00", 4));
  EXPECT_THROW(ReadPage(binary), EReadError);
}

TEST(PageStream, OlderAlignmentAndLegacyChildTypeAreRead) {
  ppRegisterDrawCommandClasses();
  const std::string text =
      "object Page1: TppPage\r\n"
      "  object Text1: TppDrawText\r\n"
      "    Alignment = taRightJustify\r\n"
      "    Text = 'x'\r\n"
      "  end\r\n"
      "end\r\n";
  TObjectPtr<TppPage> page = ReadPage(TextToBinary(text));
  auto* command = dynamic_cast<TppDrawText*>(page->GetDrawCommand(0));
  ASSERT_NE(command, nullptr);
  EXPECT_EQ(command->TextAlignment(), taRightJustified);
  // Never written back.
  EXPECT_EQ(BinaryToText(ToBinary(page.get())).find(" Alignment = "), std::string::npos);
}

TEST(PageStream, OlderPaperSizesInUnitsAreConverted) {
  ppRegisterDrawCommandClasses();
  const std::string text =
      "object Page1: TppPage\r\n"
      "  PrinterSetup.PaperHeight = 11\r\n"
      "  PrinterSetup.PaperWidth = 8.5\r\n"
      "  PrinterSetup.mmMarginTop = 1000\r\n"
      "end\r\n";
  TObjectPtr<TppPage> page = ReadPage(TextToBinary(text));
  EXPECT_EQ(page->PageDef()->mmHeight(), 279401);
  EXPECT_EQ(page->PageDef()->mmWidth(), 215900);
  EXPECT_EQ(page->PageDef()->mmMarginTop(), 1000);
  const std::string back = BinaryToText(ToBinary(page.get()));
  EXPECT_EQ(back.find(".PaperHeight"), std::string::npos);
  EXPECT_NE(back.find("PrinterSetup.mmPaperHeight = 279401"), std::string::npos);
}

TEST(Page, AssignCopiesCommandsAndClearKeepsTheSetup) {
  TObjectPtr<TppPage> page(MakePage());
  TObjectPtr<TppPage> copy(new TppPage(nullptr));
  copy->Assign(page.get());
  ASSERT_EQ(copy->GetDrawCommandCount(), 6);
  EXPECT_NE(copy->GetDrawCommand(0), page->GetDrawCommand(0));
  EXPECT_EQ(copy->GetDrawCommand(0)->Owner(), copy.get());
  EXPECT_EQ(copy->GetDrawCommand(0)->Page(), copy.get());
  EXPECT_EQ(copy->PageOfCaption(), "Page 3 of 12");
  EXPECT_EQ(copy->FindDrawCommand(TppDrawLine::StaticClassType()), copy->GetDrawCommand(3));
  EXPECT_EQ(copy->FindOutline(), nullptr);  // no outline class in this program
  EXPECT_THROW(copy->Assign(copy->PrinterSetup()), EConvertError);

  copy->FirstPage = true;
  copy->Clear();
  EXPECT_EQ(copy->GetDrawCommandCount(), 0);
  EXPECT_EQ(copy->GetClickableCount(), 0);
  EXPECT_EQ(copy->AbsolutePageNo, 0);
  EXPECT_TRUE(copy->FirstPage);
  EXPECT_EQ(copy->PrinterSetup()->Copies(), 2);

  // A command moved to another page leaves the first.
  TppDrawCommand* moved = page->GetDrawCommand(1);
  moved->SetPage(copy.get());
  EXPECT_EQ(page->GetDrawCommandCount(), 5);
  EXPECT_EQ(page->GetLookAheadCount(), 0);
  EXPECT_EQ(moved->Owner(), copy.get());
}

TEST(DrawCommands, LookAheadTextsArriveLater) {
  TObjectPtr<TppPage> page(MakePage());
  auto* var = dynamic_cast<TppDrawVar*>(page->GetDrawCommand(1));
  ASSERT_NE(var, nullptr);
  EXPECT_TRUE(var->LookAheadPending());
  EXPECT_EQ(var->Text, "Page 3 of 12");

  TObjectPtr<TppCommunicator> sender(new TppCommunicator(nullptr));
  auto* variable = new TppDrawVariable(page.get());
  variable->SetLookAheadKey("Total");
  variable->SetLookAhead(true);
  variable->SetPage(page.get());
  sender->AddEventNotify(variable->LookAheadLink());
  EXPECT_TRUE(variable->LookAheadPending());
  TppEventParams first{Variant("Total"), Variant(2), Variant("1,234")};
  sender->SendEventNotify(sender.get(), ppevLookAheadValue, &first);
  EXPECT_EQ(variable->Text, "1,234");
  TppEventParams stale{Variant("Total"), Variant(1), Variant("old")};
  sender->SendEventNotify(sender.get(), ppevLookAheadValue, &stale);
  EXPECT_EQ(variable->Text, "1,234");

  auto* copy = new TppDrawVariable(page.get());
  copy->Assign(variable);
  EXPECT_EQ(copy->LookAheadKey(), "Total");
  TppEventParams second{Variant("Total"), Variant(3), Variant("2,000")};
  sender->SendEventNotify(sender.get(), ppevLookAheadValue, &second);
  EXPECT_EQ(copy->Text, "2,000");

  TppEventParams other{Variant("Other"), Variant(9), Variant("x")};
  sender->SendEventNotify(sender.get(), ppevLookAheadValue, &other);
  EXPECT_FALSE(variable->LookAheadPending());  // final now
  variable->SetLookAhead(false);
  EXPECT_EQ(variable->LookAheadLink(), nullptr);
}
