#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "ppComm.h"
#include "ppPropAccess.h"
#include "ppRelatv.h"
#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlStringList.h"
#include "rtlWriter.h"

namespace {

enum TppTestKind : uint8_t { tkFirst, tkSecond };
RTL_ENUM_TYPE(TppTestKind, "tkFirst", "tkSecond")

// A relative that publishes its position and a number, as bands do.
class TppTestBand : public TppRelative {
  RTL_DECLARE_CLASS(TppTestBand, TppRelative)
  using TppRelative::TppRelative;
  int Number = 0;
  TppTestKind Kind = tkFirst;
  int Prints = 0;
  void BandPrint(TObject*) { ++Prints; }
  void GetChildren(const TGetChildProc& proc, TComponent*) override {
    for (int i = 0; i < ChildCount(); ++i) proc(GetChild(i));
  }
  void DefineProperties(TFiler& filer) override {
    TppRelative::DefineProperties(filer);
    filer.DefineProperty("OldNumber", [this](TReader& r) { Number = ppReadIntegerOrFloat(r); }, nullptr, false);
  }
};

const TClassInfo& TppTestBand::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppTestBand>("TppTestBand")
                                     .Property("Kind", &TppTestBand::Kind, &TppTestBand::Kind)
                                     .Default(tkFirst)
                                     .Property("Number", &TppTestBand::Number, &TppTestBand::Number)
                                     .Default(0)
                                     .Property("Position", &TppTestBand::Position, &TppTestBand::SetPosition)
                                     .Method("BandPrint", &TppTestBand::BandPrint)
                                     .Build();
  return info;
}

TObjectPtr<TppTestBand> ReadText(const std::string& text) {
  RegisterClass(TppTestBand::StaticClassType());
  TStringStream in(text), binary;
  ObjectTextToBinary(in, binary);
  binary.SetPosition(0);
  TReader reader(binary);
  TObjectPtr<TppTestBand> root(new TppTestBand(nullptr));
  reader.ReadRootComponent(root.get());
  return root;
}

}  // namespace

TEST(PropAccess, OrdinalsMethodsAndEnumsByName) {
  TObjectPtr<TppTestBand> band(new TppTestBand(nullptr));
  EXPECT_TRUE(ppSetOrdPropByName(band.get(), "number", 42));
  EXPECT_EQ(ppGetOrdPropByName(band.get(), "Number"), 42);
  EXPECT_EQ(ppGetOrdPropByName(band.get(), "Missing"), 0);
  EXPECT_EQ(ppGetOrdPropByName(nullptr, "Number"), 0);
  EXPECT_FALSE(ppSetOrdPropByName(band.get(), "UserName", 1));  // not ordinal
  EXPECT_TRUE(ppHasProperty(band.get(), "UserName"));
  const TMethod print = ppGetMethodByName(band.get(), "BandPrint");
  ASSERT_TRUE(print);
  EXPECT_FALSE(ppGetMethodByName(band.get(), "Nothing"));

  const TEnumTypeInfo& kinds = EnumTypeInfo(TppTestKind{});
  EXPECT_EQ(ppEnumOrdinalByName(kinds, "tkSecond"), 1);
  EXPECT_EQ(ppEnumOrdinalByName(kinds, "tkThird"), 255);
  EXPECT_EQ(ppEnumNameOf(kinds, 0), "tkFirst");
  TStringList names;
  ppListEnumNames(kinds, names);
  EXPECT_EQ(names.Count(), 2);
}

TEST(RelativeStream, ChildrenStandInTheirStoredOrderAfterReading) {
  const std::string text =
      "object Report: TppTestBand\r\n"
      "  object A: TppTestBand\r\n"
      "    Position = 2\r\n"
      "  end\r\n"
      "  object B: TppTestBand\r\n"
      "    Position = 0\r\n"
      "    ChildType = 4\r\n"
      "  end\r\n"
      "  object C: TppTestBand\r\n"
      "    Position = 1\r\n"
      "    OldNumber = 2.6\r\n"
      "  end\r\n"
      "end\r\n";
  // Without ordering, the stream's order stands.
  TObjectPtr<TppTestBand> plain = ReadText(text);
  ASSERT_EQ(plain->ChildCount(), 3);
  EXPECT_EQ(plain->GetChild(0)->Name(), "A");

  // Read again into a root that orders its children.
  TStringStream in(text), binary;
  ObjectTextToBinary(in, binary);
  binary.SetPosition(0);
  TObjectPtr<TppTestBand> ordered(new TppTestBand(nullptr));
  ordered->SetOrderedChildren(true);
  TReader reader(binary);
  reader.ReadRootComponent(ordered.get());
  ASSERT_EQ(ordered->ChildCount(), 3);
  EXPECT_EQ(ordered->GetChild(0)->Name(), "B");
  EXPECT_EQ(ordered->GetChild(1)->Name(), "C");
  EXPECT_EQ(ordered->GetChild(2)->Name(), "A");
  EXPECT_EQ(ordered->GetChild(0)->ChildType(), 4);
  EXPECT_EQ(static_cast<TppTestBand*>(ordered->GetChild(1))->Number, 3);
  EXPECT_EQ(ordered->GetChild(1)->GetUserName(), "C");  // given from the name once loaded

  // Written back: positions as they stand now, no ChildType.
  TStringStream out;
  TWriter writer(out);
  writer.WriteRootComponent(ordered.get());
  out.SetPosition(0);
  TStringStream back;
  ObjectBinaryToText(out, back);
  EXPECT_EQ(back.DataString().find("ChildType"), std::string::npos);
  EXPECT_NE(back.DataString().find("object B: TppTestBand"), std::string::npos);
}

TEST(RelativeStream, MutatedTreesFailCleanly) {
  const std::string text =
      "object Report: TppTestBand\r\n"
      "  object A: TppTestBand\r\n"
      "    Position = 1\r\n"
      "    object A1: TppTestBand\r\n"
      "      Position = 0\r\n"
      "      Kind = tkSecond\r\n"
      "    end\r\n"
      "  end\r\n"
      "  object B: TppTestBand\r\n"
      "    Position = 0\r\n"
      "    UserName = 'Bee'\r\n"
      "  end\r\n"
      "end\r\n";
  RegisterClass(TppTestBand::StaticClassType());
  TStringStream in(text), binary;
  ObjectTextToBinary(in, binary);
  const std::string seed = binary.DataString();
  std::mt19937 random(5102);
  auto pick = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  for (int round = 0; round < 1000; ++round) {
    std::string m = seed;
    for (int i = 0; i < 1 + static_cast<int>(pick(3)) && !m.empty(); ++i) {
      const size_t at = pick(m.size());
      switch (pick(4)) {
        case 0: m[at] = static_cast<char>(pick(256)); break;
        case 1: m.insert(at, std::string("\xFF\xFF\xFF\x7F", 4)); break;
        case 2: m.resize(at); break;
        case 3: m.insert(pick(m.size()), m.substr(at, 1 + pick(std::min<size_t>(m.size() - at, 40)))); break;
      }
    }
    TStringStream stream(m);
    TReader reader(stream);
    TObjectPtr<TppTestBand> root(new TppTestBand(nullptr));
    root->SetOrderedChildren(true);
    try {
      reader.ReadRootComponent(root.get());
    } catch (const Exception&) {
      continue;
    }
    // A tree that read is a tree: every child knows its parent.
    std::function<void(TppRelative*)> check = [&](TppRelative* node) {
      for (int c = 0; c < node->ChildCount(); ++c) {
        ASSERT_EQ(node->GetChild(c)->Parent(), node);
        check(node->GetChild(c));
      }
    };
    check(root.get());
  }
}
