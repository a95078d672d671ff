#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rtlClassesConsts.h"
#include "rtlDateTime.h"
#include "rtlParser.h"
#include "rtlReader.h"
#include "rtlStreamTestClasses.h"
#include "rtlStreamTestSupport.h"

namespace {

class ObjectStream : public StreamTestFixture {};

}  // namespace


// The report of MakeReport in its text form.
const char* const ReportText =
    "object Report1: TTestReport\r\n"
    "  Title = 'Jobs by printer'\r\n"
    "  Copies = 3\r\n"
    "  Landscape = True\r\n"
    "  Shape = tsEllipse\r\n"
    "  Scale = 0.10000000000000000555\r\n"
    "  Ratio = 0.25s\r\n"
    "  Precise = 0.33333333333333333334\r\n"
    "  Price = 12.345c\r\n"
    "  Printed = 45352.5d\r\n"
    "  Big = 10000000000\r\n"
    "  Letter = 'Z'\r\n"
    "  Value = 'any'\r\n"
    "  Color = clRed\r\n"
    "  Font.Name = 'Liberation Sans'\r\n"
    "  Font.Style = [fsBold, fsUnderline]\r\n"
    "  Pipeline = Pipe1\r\n"
    "  OnPrint = ReportPrint\r\n"
    "  Notes = (\r\n"
    "    'first'\r\n"
    "    'second')\r\n"
    "  Picture = {\r\n"
    "    01ABFF}\r\n"
    "  object Pipe1: TTestNode\r\n"
    "  end\r\n"
    "  object Band1: TTestBand\r\n"
    "    Height = 25\r\n"
    "    object Label1: TTestLabel\r\n"
    "      Caption = 'Pages'\r\n"
    "      Left = -300\r\n"
    "    end\r\n"
    "  end\r\n"
    "end\r\n";

TEST_F(ObjectStream, BinaryFormHasTheSignatureTagsAndLittleEndianNumbers) {
  TObjectPtr<TTestLabel> label(new TTestLabel(nullptr));
  label->SetName("Label1");
  label->caption = "Hi";
  label->left = 300;
  const std::string expected = std::string("TPF0") + "\x0ATTestLabel" + "\x06Label1" +
                               "\x07" "Caption" "\x06\x02Hi" + "\x04Left\x03\x2C\x01" +
                               std::string("\0\0", 2);
  EXPECT_EQ(ToBinary(label.get()), expected);

  // Integers take the smallest tag; floats by kind; defaults stay out.
  TObjectPtr<TTestReport> r(new TTestReport(nullptr));
  r->copies = 1;  // the default
  r->big = -129;
  r->scale = 1.0;
  const std::string binary = ToBinary(r.get());
  EXPECT_EQ(binary.find("Copies"), std::string::npos);
  EXPECT_NE(binary.find(std::string("\x03" "Big\x03\x7F\xFF", 7)), std::string::npos);
  EXPECT_NE(binary.find(std::string("\x05" "Scale\x05\0\0\0\0\0\0\0\x80\xFF\x3F", 17)), std::string::npos);
}

TEST_F(ObjectStream, TreeRoundTripsThroughTheBinaryForm) {
  auto original = MakeTestReport();
  const std::string binary = ToBinary(original.get());
  TObjectPtr<TComponent> copy(ReadRoot(binary));
  auto* r = dynamic_cast<TTestReport*>(copy.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Name(), "Report1");
  EXPECT_EQ(r->title, "Jobs by printer");
  EXPECT_EQ(r->copies, 3);
  EXPECT_TRUE(r->landscape);
  EXPECT_EQ(r->shape, tsEllipse);
  EXPECT_EQ(r->scale, 0.1);
  EXPECT_EQ(r->ratio, 0.25f);
  EXPECT_EQ(r->precise, 1.0L / 3);
  EXPECT_EQ(r->price.Scaled, 123450);
  EXPECT_EQ(r->printed, original->printed);
  EXPECT_EQ(r->big, 10000000000);
  EXPECT_EQ(r->letter, 'Z');
  EXPECT_EQ(r->value.AsString(), "any");
  EXPECT_EQ(r->hidden, 0);  // not stored
  EXPECT_EQ(r->color, 0xFF);
  EXPECT_EQ(r->Font()->name, "Liberation Sans");
  EXPECT_EQ(r->Font()->style, (TTestStyles{fsBold, fsUnderline}));
  EXPECT_EQ(r->notes, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(r->picture, (std::vector<uint8_t>{0x01, 0xAB, 0xFF}));
  ASSERT_TRUE(r->onPrint);
  r->onPrint(r);
  EXPECT_EQ(r->printCount, 1);

  // Children come back through the parent protocol, owned where their
  // parent's GetChildOwner says.
  ASSERT_EQ(r->ChildCount(), 2);
  EXPECT_EQ(r->Child(0)->Name(), "Pipe1");
  EXPECT_EQ(r->Pipeline(), r->Child(0));
  auto* band = dynamic_cast<TTestBand*>(r->Child(1));
  ASSERT_NE(band, nullptr);
  EXPECT_EQ(band->Owner(), r);
  EXPECT_EQ(band->height, 25);
  ASSERT_EQ(band->ChildCount(), 1);
  auto* label = dynamic_cast<TTestLabel*>(band->Child(0));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Owner(), band);
  EXPECT_EQ(label->caption, "Pages");
  EXPECT_EQ(label->left, -300);
  const TComponentState streaming{csLoading, csReading, csFixups, csWriting};
  for (TComponent* c : {static_cast<TComponent*>(r), static_cast<TComponent*>(band), static_cast<TComponent*>(label)})
    EXPECT_TRUE((c->ComponentState() * streaming).Empty()) << c->Name();

  EXPECT_EQ(ToBinary(r), binary);
}

TEST_F(ObjectStream, TextFormHasItsExactLayoutAndRoundTripsByteForByte) {
  auto original = MakeTestReport();
  const std::string binary = ToBinary(original.get());
  EXPECT_EQ(BinaryToText(binary), ReportText);
  EXPECT_EQ(TextToBinary(ReportText), binary);
  EXPECT_EQ(BinaryToText(TextToBinary(ReportText)), ReportText);
}

TEST_F(ObjectStream, ReferencesResolveAfterReadingThenLoadedRunsInCreationOrder) {
  auto original = MakeTestReport();
  TObjectPtr<TComponent> copy(ReadRoot(ToBinary(original.get())));
  // Pipe1 comes after the Pipeline property, yet Loaded already sees it;
  // nothing is read after csReading ended.
  EXPECT_EQ(TestLog(), (std::vector<std::string>{"Notes read while reading", "Pipeline at Loaded: Pipe1",
                                                 "Loaded Report1 loading", "Loaded Pipe1 loading",
                                                 "Loaded Band1 loading", "Loaded Label1 loading"}));
}

TEST_F(ObjectStream, ReferencesNameComponentsOfTheRootOrTheirOwners) {
  const std::string text =
      "object Report1: TTestReport\r\n"
      "  Color = clBlack\r\n"
      "  Font.Name = 'Arial'\r\n"
      "  Pipeline = Band1.Label1\r\n"
      "  object Band1: TTestBand\r\n"
      "    object Label1: TTestLabel\r\n"
      "      Left = 0\r\n"
      "    end\r\n"
      "  end\r\n"
      "end\r\n";
  TObjectPtr<TComponent> copy(ReadRoot(TextToBinary(text)));
  auto* r = static_cast<TTestReport*>(copy.get());
  EXPECT_EQ(r->Pipeline(), r->Child(0)->Child(0));
  // The writer names it the same way.
  EXPECT_EQ(BinaryToText(ToBinary(r)), text);

  // A name that finds nothing leaves the property as it was.
  const std::string dangling =
      "object Report1: TTestReport\r\n"
      "  Pipeline = Nowhere\r\n"
      "end\r\n";
  TObjectPtr<TComponent> other(ReadRoot(TextToBinary(dangling)));
  EXPECT_EQ(static_cast<TTestReport*>(other.get())->Pipeline(), nullptr);
}

TEST_F(ObjectStream, ReadComponentsReadsSignedComponentsIntoAnOwnerRenamingOnRequest) {
  TObjectPtr<TComponent> form(new TComponent(nullptr));
  form->SetName("Form1");
  auto* existing = new TTestReport(form.get());
  existing->SetName("Report1");
  auto original = MakeTestReport();
  // Methods belong to the root, here the form, which publishes none.
  original->onPrint.SetMethod({});
  const std::string binary = ToBinary(original.get());

  {
    TStringStream in(binary);
    TReader reader(in);
    try {
      reader.ReadComponents(form.get(), nullptr, nullptr);
      FAIL();
    } catch (const EComponentError& e) {
      EXPECT_EQ(e.Message, "A component named Report1 already exists");
    }
    EXPECT_EQ(form->ComponentCount(), 1);  // the half-read report is freed
  }

  TStringStream in(binary);
  TReader reader(in);
  reader.OnSetName = [&](TReader&, TComponent* c, std::string& name) {
    if (c->Owner() == form.get() && form->FindComponent(name) != nullptr) name = "Report2";
  };
  std::vector<TComponent*> read;
  reader.ReadComponents(form.get(), nullptr, [&](TComponent* c) { read.push_back(c); });
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0]->Name(), "Report2");
  EXPECT_EQ(read[0]->Owner(), form.get());
  // Children of a component read into an owner belong to that owner.
  EXPECT_NE(form->FindComponent("Band1"), nullptr);
  EXPECT_EQ(static_cast<TTestReport*>(read[0])->Pipeline(), form->FindComponent("Pipe1"));
}

TEST_F(ObjectStream, MethodsAreFoundByNameInTheRootsClassOrThroughTheEvent) {
  const auto text = [](const char* method) {
    return std::string("object Report1: TTestReport\r\n  OnPrint = ") + method +
           "\r\n  Title = 'after'\r\nend\r\n";
  };
  try {
    TObjectPtr<TComponent> r(ReadRoot(TextToBinary(text("Missing"))));
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Error reading Report1.OnPrint: Invalid property value");
  }
  // A published method of another signature is refused too.
  EXPECT_THROW(TObjectPtr<TComponent>(ReadRoot(TextToBinary(text("ReportCalc")))), EReadError);

  TStringStream in(TextToBinary(text("Missing")));
  TReader reader(in);
  std::string asked;
  reader.OnFindMethod = [&](TReader&, const std::string& name, TMethod& method, bool& error) {
    asked = name;
    method = {};
    error = false;
  };
  TObjectPtr<TComponent> r(reader.ReadRootComponent(nullptr));
  EXPECT_EQ(asked, "Missing");
  EXPECT_FALSE(static_cast<TTestReport*>(r.get())->onPrint);
  EXPECT_EQ(static_cast<TTestReport*>(r.get())->title, "after");
}

TEST_F(ObjectStream, TheErrorEventSkipsARefusedPropertyAndReadingGoesOn) {
  const std::string binary = TextToBinary(
      "object Report1: TTestReport\r\n"
      "  Nope = (\r\n"
      "    1\r\n"
      "    'two')\r\n"
      "  Shape = tsTriangle\r\n"
      "  Copies = 2\r\n"
      "end\r\n");
  try {
    TObjectPtr<TComponent> r(ReadRoot(binary));
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Error reading Report1.Nope: Property Nope does not exist");
  }
  TStringStream in(binary);
  TReader reader(in);
  std::vector<std::string> messages;
  reader.OnError = [&](TReader&, const std::string& message, bool& handled) {
    messages.push_back(message);
    handled = true;
  };
  TObjectPtr<TComponent> r(reader.ReadRootComponent(nullptr));
  EXPECT_EQ(messages, (std::vector<std::string>{"Error reading Report1.Nope: Property Nope does not exist",
                                                "Error reading Report1.Shape: Invalid property value"}));
  EXPECT_EQ(static_cast<TTestReport*>(r.get())->copies, 2);
}

TEST_F(ObjectStream, DamagedStreamsGiveStreamErrorsAndFreeWhatTheyCreated) {
  auto original = MakeTestReport();
  const std::string binary = ToBinary(original.get());
  // Every truncation fails as a stream error, never a crash or leak.
  for (size_t length = 0; length < binary.size(); ++length) {
    try {
      TObjectPtr<TComponent> r(ReadRoot(binary.substr(0, length)));
      ADD_FAILURE() << "read a stream cut at " << length;
    } catch (const EReadError&) {
    }
  }
  try {
    ReadRoot("TPF1" + binary.substr(4));
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Invalid stream format");
  }
  try {
    ReadRoot(TextToBinary("object X: TUnknownClass\r\nend\r\n"));
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message, "Class TUnknownClass not found");
  }
  // A string length beyond the stream is refused before anything is
  // allocated for it.
  std::string huge = binary;
  const size_t title = huge.find("Title") + 5;
  huge.replace(title, 6, std::string("\x0C\xFF\xFF\xFF\x7F", 5) + "J");
  try {
    ReadRoot(huge);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Error reading Report1.Title: Stream read error");
  }
}

TEST_F(ObjectStream, AFailedReadIntoAGivenRootLeavesWhatWasReadOutOfTheLoadingStates) {
  TObjectPtr<TTestReport> root(new TTestReport(nullptr));
  const std::string binary = TextToBinary(
      "object Report1: TTestReport\r\n"
      "  object Band1: TTestBand\r\n"
      "  end\r\n"
      "  object Band2: TTestBand\r\n"
      "    Height = 'tall'\r\n"
      "  end\r\n"
      "end\r\n");
  EXPECT_THROW(ReadRoot(binary, root.get()), EReadError);
  EXPECT_EQ(root->Name(), "Report1");
  ASSERT_EQ(root->ComponentCount(), 1);
  EXPECT_EQ(root->Components(0)->Name(), "Band1");
  EXPECT_TRUE(root->ComponentState().Empty());
  EXPECT_TRUE(root->Components(0)->ComponentState().Empty());
  EXPECT_TRUE(TestLog().empty());  // no Loaded after a failure
}

TEST_F(ObjectStream, DeepNestingIsRefused) {
  std::string text;
  for (int i = 0; i < MaxFilerNesting + 5; ++i) text += "object TTestNode\r\n";
  for (int i = 0; i < MaxFilerNesting + 5; ++i) text += "end\r\n";
  EXPECT_THROW(TextToBinary(text), EParserError);
  std::string lists = "object TTestNode\r\n  Nope = " + std::string(MaxFilerNesting + 5, '(') +
                      std::string(MaxFilerNesting + 5, ')') + "\r\nend\r\n";
  EXPECT_THROW(TextToBinary(lists), EParserError);
}

TEST_F(ObjectStream, StringListsStreamTheirLinesAsTheirStringsProperty) {
  TObjectPtr<TTestLabel> label(new TTestLabel(nullptr));
  label->SetName("Memo1");
  label->Lines()->Add("first line");
  label->Lines()->Add("");
  const std::string text =
      "object Memo1: TTestLabel\r\n"
      "  Left = 0\r\n"
      "  Lines.Strings = (\r\n"
      "    'first line'\r\n"
      "    '')\r\n"
      "end\r\n";
  EXPECT_EQ(BinaryToText(ToBinary(label.get())), text);
  TObjectPtr<TComponent> copy(ReadRoot(TextToBinary(text)));
  const TStringList* lines = static_cast<TTestLabel*>(copy.get())->Lines();
  ASSERT_EQ(lines->Count(), 2);
  EXPECT_EQ(lines->Get(0), "first line");
  EXPECT_EQ(lines->Get(1), "");
  EXPECT_EQ(lines->ClassName(), "TStringList");
  // Assignment through the persistent protocol copies lines too.
  TStringList other;
  other.Assign(static_cast<const TPersistent*>(lines));
  EXPECT_EQ(other.Text(), "first line\r\n\r\n");
}

TEST_F(ObjectStream, ComponentsPublishTagButStreamTheirNameOnlyInTheHeader) {
  TObjectPtr<TTestNode> node(new TTestNode(nullptr));
  node->SetName("Node1");
  node->SetTag(42);
  const std::string text = "object Node1: TTestNode\r\n  Tag = 42\r\nend\r\n";
  EXPECT_EQ(BinaryToText(ToBinary(node.get())), text);
  TObjectPtr<TComponent> copy(ReadRoot(TextToBinary(text)));
  EXPECT_EQ(copy->Tag(), 42);
  // Scripts rename through the same registry, with the same checks.
  SetPropValue(*copy, "Name", std::string("Renamed"));
  EXPECT_EQ(copy->Name(), "Renamed");
  EXPECT_THROW(SetPropValue(*copy, "Name", std::string("1st")), EComponentError);
}

TEST_F(ObjectStream, AStreamOfTooManyComponentsIsRefused) {
  // Bands own their labels, so the owners' notifications stay short.
  const int bands = 200;
  const int labelsPerBand = MaxStreamComponents / bands;
  std::string text = "object Report1: TTestReport\r\n";
  for (int b = 0; b < bands; ++b) {
    text += "  object TTestBand\r\n";
    for (int l = 0; l < labelsPerBand; ++l) text += "    object TTestLabel\r\n    end\r\n";
    text += "  end\r\n";
  }
  text += "end\r\n";
  const std::string binary = TextToBinary(text);
  try {
    ReadRoot(binary);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, Format(SStreamTooManyComponents, {MaxStreamComponents}));
  }
  // A reader bounded by the stream's size instead takes every component.
  TStringStream in(binary);
  TReader reader(in);
  reader.BoundComponentsByStreamSize();
  TObjectPtr<TComponent> report(reader.ReadRootComponent(nullptr));
  ASSERT_EQ(report->ComponentCount(), bands);
  EXPECT_EQ(report->Components(bands - 1)->ComponentCount(), labelsPerBand);
}
