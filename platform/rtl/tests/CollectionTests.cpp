#include <gtest/gtest.h>

#include <string>

#include "rtlClassesConsts.h"
#include "rtlStreamTestClasses.h"
#include "rtlStreamTestSupport.h"

using namespace std::string_literals;

namespace {

TObjectPtr<TTestGrid> ReadGrid(const std::string& binary) {
  return TObjectPtr<TTestGrid>(static_cast<TTestGrid*>(ReadRoot(binary)));
}

void ReadInto(TComponent* root, const std::string& binary) {
  ReadRoot(binary, root);
}

// Grid1 with a label Label1 and three columns: one left at its defaults,
// one with every property set (its Link names Label1), one with a caption.
TObjectPtr<TTestGrid> MakeGrid() {
  TObjectPtr<TTestGrid> grid(new TTestGrid(nullptr));
  grid->SetName("Grid1");
  auto* label = new TTestLabel(grid.get());
  label->SetName("Label1");
  label->SetParentNode(grid.get());
  grid->Columns()->Add();
  auto* job = static_cast<TTestColumn*>(grid->Columns()->Add());
  job->caption = "Job";
  job->width = 120;
  job->Font()->size = 8;
  job->link = label;
  static_cast<TTestColumn*>(grid->Columns()->Add())->caption = "Pages";
  return grid;
}

const char* const GridText =
    "object Grid1: TTestGrid\r\n"
    "  Columns = <\r\n"
    "    item\r\n"
    "      Font.Name = 'Arial'\r\n"
    "    end\r\n"
    "    item\r\n"
    "      Caption = 'Job'\r\n"
    "      Width = 120\r\n"
    "      Font.Name = 'Arial'\r\n"
    "      Font.Size = 8\r\n"
    "      Link = Label1\r\n"
    "    end\r\n"
    "    item\r\n"
    "      Caption = 'Pages'\r\n"
    "      Font.Name = 'Arial'\r\n"
    "    end>\r\n"
    "  object Label1: TTestLabel\r\n"
    "    Left = 0\r\n"
    "  end\r\n"
    "end\r\n";

class Collection : public StreamTestFixture {};

}  // namespace

TEST_F(Collection, OwnsOrdersAndIdentifiesItems) {
  TTestColumns columns;
  auto* a = columns.Add();
  auto* b = columns.Add();
  auto* c = columns.Insert(0);
  EXPECT_EQ(columns.Count(), 3);
  EXPECT_EQ(c->Index(), 0);
  EXPECT_EQ(a->Index(), 1);
  EXPECT_EQ(c->ID(), 2);
  EXPECT_EQ(columns.FindItemID(1), b);
  EXPECT_EQ(columns.FindItemID(7), nullptr);

  c->SetIndex(99);  // beyond the end: to the last place
  EXPECT_EQ(columns.Items(2), c);
  c->SetIndex(-5);
  EXPECT_EQ(columns.Items(0), c);

  // An item freed on its own leaves the collection; ids are never reused.
  b->Free();
  EXPECT_EQ(columns.Count(), 2);
  EXPECT_EQ(columns.FindItemID(1), nullptr);
  EXPECT_EQ(columns.Add()->ID(), 3);

  TTestColumns other;
  a->SetCollection(&other);
  EXPECT_EQ(a->Collection(), &other);
  EXPECT_EQ(other.Count(), 1);
  EXPECT_EQ(columns.Count(), 2);
  EXPECT_EQ(a->GetDisplayName(), "TTestColumn");

  columns.Delete(0);
  EXPECT_EQ(columns.Count(), 1);
  EXPECT_THROW(columns.Delete(1), EListError);
  EXPECT_THROW(columns.Items(-1), EListError);
  EXPECT_THROW(columns.Insert(3), EListError);
  columns.Clear();
  EXPECT_EQ(columns.Count(), 0);
}

TEST_F(Collection, UpdatesAreAnnouncedOnceAfterABlock) {
  TTestColumns columns;
  columns.Add();
  EXPECT_EQ(columns.updates, 1);
  columns.BeginUpdate();
  columns.Add();
  columns.Add();
  columns.Delete(0);
  EXPECT_EQ(columns.updates, 1);
  columns.EndUpdate();
  EXPECT_EQ(columns.updates, 2);
  EXPECT_EQ(columns.UpdateCount(), 0);
}

TEST_F(Collection, AssignCopiesEveryItem) {
  auto grid = MakeGrid();
  TTestColumns copy;
  copy.Add()->SetIndex(0);
  copy.Assign(grid->Columns());
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Column(1)->caption, "Job");
  EXPECT_EQ(copy.Column(1)->Font()->size, 8);
  EXPECT_TRUE(CollectionsEqual(&copy, grid->Columns()));
  copy.Column(2)->width = 1;
  EXPECT_FALSE(CollectionsEqual(&copy, grid->Columns()));
  EXPECT_FALSE(CollectionsEqual(&copy, nullptr));
  TTestFont font;
  EXPECT_THROW(copy.Assign(&font), EConvertError);
}

TEST_F(Collection, StreamsInBothFormsByteForByte) {
  auto grid = MakeGrid();
  const std::string binary = ToBinary(grid.get());
  EXPECT_EQ(BinaryToText(binary), GridText);
  EXPECT_EQ(TextToBinary(GridText), binary);

  // The binary form: vaCollection, one list per item, vaNull.
  const std::string head = "TPF0\x09TTestGrid\x05Grid1\x07"s + "Columns\x0E\x01\x09"s;
  EXPECT_EQ(binary.substr(0, head.size()), head);

  auto back = ReadGrid(binary);
  ASSERT_EQ(back->Columns()->Count(), 3);
  const TTestColumn* job = back->Columns()->Column(1);
  EXPECT_EQ(job->caption, "Job");
  EXPECT_EQ(job->width, 120);
  EXPECT_EQ(job->Font()->size, 8);
  EXPECT_EQ(job->link, back->FindComponent("Label1"));
  EXPECT_EQ(back->Columns()->Column(0)->width, 64);
  EXPECT_EQ(ToBinary(back.get()), binary);
}

TEST_F(Collection, ReadingReplacesTheItemsAndEmptyClears) {
  auto grid = MakeGrid();
  ReadInto(grid.get(), TextToBinary("object Grid1: TTestGrid\r\n"
                                    "  Columns = <\r\n"
                                    "    item [5]\r\n"
                                    "      Caption = 'Only'\r\n"
                                    "    end>\r\n"
                                    "end\r\n"));
  ASSERT_EQ(grid->Columns()->Count(), 1);
  EXPECT_EQ(grid->Columns()->Column(0)->caption, "Only");
  ReadInto(grid.get(), TextToBinary("object Grid1: TTestGrid\r\n  Columns = <>\r\nend\r\n"));
  EXPECT_EQ(grid->Columns()->Count(), 0);
  EXPECT_EQ(BinaryToText(ToBinary(grid.get())),
            "object Grid1: TTestGrid\r\n  Columns = <>\r\n  object Label1: TTestLabel\r\n"
            "    Left = 0\r\n  end\r\nend\r\n");
}

TEST_F(Collection, DamagedValuesAreReadErrors) {
  auto readError = [](const std::string& text) -> std::string {
    try {
      ReadGrid(TextToBinary(text));
    } catch (const EReadError& e) {
      return e.Message;
    }
    return "no error";
  };
  EXPECT_EQ(readError("object G: TTestGrid\r\n  Columns = <\r\n    item\r\n      Depth = 1\r\n    end>\r\nend\r\n"),
            "Error reading G.Depth: Property Depth does not exist");
  EXPECT_EQ(readError("object G: TTestGrid\r\n  RowHeight = <>\r\nend\r\n"),
            "Error reading G.RowHeight: Invalid property value");
  // A collection where an object of another class stands.
  EXPECT_EQ(readError("object G: TTestGrid\r\n  object L: TTestLabel\r\n    Lines = <>\r\n  end\r\nend\r\n"),
            "Error reading L.Lines: Invalid property value");

  // A reference inside an item whose collection a later value replaces is
  // dropped with the item, never resolved into freed memory.
  auto grid = ReadGrid(TextToBinary("object G: TTestGrid\r\n"
                                    "  Columns = <\r\n    item\r\n      Link = L\r\n    end>\r\n"
                                    "  Columns = <\r\n    item\r\n      Caption = 'x'\r\n    end>\r\n"
                                    "  object L: TTestLabel\r\n  end\r\n"
                                    "end\r\n"));
  ASSERT_EQ(grid->Columns()->Count(), 1);
  EXPECT_EQ(grid->Columns()->Column(0)->link, nullptr);
}
