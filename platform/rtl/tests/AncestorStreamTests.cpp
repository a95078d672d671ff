#include <gtest/gtest.h>

#include <string>

#include "rtlReader.h"
#include "rtlStreamTestClasses.h"
#include "rtlStreamTestSupport.h"
#include "rtlWriter.h"

namespace {

std::string Descendent(TComponent* root, TComponent* ancestor) {
  TMemoryStream stream;
  TWriter writer(stream);
  writer.WriteDescendent(root, ancestor);
  return Bytes(stream);
}

template <typename T>
TObjectPtr<T> Read(const std::string& binary, TComponent* root = nullptr) {
  return TObjectPtr<T>(static_cast<T*>(ReadRoot(binary, root)));
}

// A copy of the component made through its stream, as a form made from
// an inherited layout starts.
template <typename T>
TObjectPtr<T> Copy(T* source) {
  return Read<T>(ToBinary(source));
}

class AncestorStream : public StreamTestFixture {};

}  // namespace

TEST_F(AncestorStream, AnUnchangedDescendantWritesOnlyItsInheritedHeaders) {
  auto ancestor = MakeTestReport();
  auto descendant = Copy(ancestor.get());
  EXPECT_EQ(BinaryToText(Descendent(descendant.get(), ancestor.get())),
            "inherited Report1: TTestReport\r\n"
            "  inherited Pipe1: TTestNode\r\n"
            "  end\r\n"
            "  inherited Band1: TTestBand\r\n"
            "    inherited Label1: TTestLabel\r\n"
            "    end\r\n"
            "  end\r\n"
            "end\r\n");
}

TEST_F(AncestorStream, WritesWhatDiffersAndReadsBackOverTheAncestor) {
  auto ancestor = MakeTestReport();
  auto descendant = Copy(ancestor.get());
  descendant->title = "Jobs by user";
  descendant->copies = 1;  // back to the default, which the ancestor does not hold
  descendant->Font()->size = 12;
  descendant->SetPipeline(nullptr);
  descendant->onPrint = nullptr;
  descendant->notes.clear();
  auto* band = static_cast<TTestBand*>(descendant->FindComponent("Band1"));
  band->SetParentNode(nullptr);  // now before Pipe1
  band->SetParentNode(descendant.get());
  descendant->SetChildOrder(band, 0);
  auto* added = new TTestLabel(band);
  added->SetName("Label2");
  added->SetParentNode(band);
  added->caption = "Copies";
  band->SetChildOrder(added, 0);

  const std::string stream = Descendent(descendant.get(), ancestor.get());
  EXPECT_EQ(BinaryToText(stream),
            "inherited Report1: TTestReport\r\n"
            "  Title = 'Jobs by user'\r\n"
            "  Copies = 1\r\n"
            "  Font.Size = 12\r\n"
            "  Pipeline = nil\r\n"
            "  OnPrint = nil\r\n"
            "  Notes = ()\r\n"
            "  inherited Band1: TTestBand [0]\r\n"
            "    object Label2: TTestLabel [0]\r\n"
            "      Caption = 'Copies'\r\n"
            "      Left = 0\r\n"
            "    end\r\n"
            "    inherited Label1: TTestLabel\r\n"
            "    end\r\n"
            "  end\r\n"
            "  inherited Pipe1: TTestNode\r\n"
            "  end\r\n"
            "end\r\n");
  EXPECT_EQ(TextToBinary(BinaryToText(stream)), stream);

  // Notes (written by the report's own code, which compares with the
  // ancestor it is offered) come back empty like the rest.
  auto rebuilt = Copy(ancestor.get());
  Read<TTestReport>(stream, rebuilt.get()).release();
  EXPECT_TRUE(rebuilt->notes.empty());
  EXPECT_EQ(ToBinary(rebuilt.get()), ToBinary(descendant.get()));
  EXPECT_EQ(rebuilt->Pipeline(), nullptr);
  EXPECT_FALSE(rebuilt->onPrint.Method());
  EXPECT_EQ(static_cast<TTestNode*>(rebuilt->FindComponent("Band1"))->Child(0)->Name(), "Label2");
}

TEST_F(AncestorStream, ReferencesCompareByNameAcrossTheTwoRoots) {
  auto ancestor = MakeTestReport();
  auto descendant = Copy(ancestor.get());
  // The same name in each root: equal; another component: written.
  EXPECT_EQ(BinaryToText(Descendent(descendant.get(), ancestor.get())).find("Pipeline"), std::string::npos);
  descendant->SetPipeline(descendant->FindComponent("Band1"));
  EXPECT_NE(BinaryToText(Descendent(descendant.get(), ancestor.get())).find("  Pipeline = Band1\r\n"),
            std::string::npos);
}

TEST_F(AncestorStream, CollectionsAreWrittenWholeOnlyWhenTheyDiffer) {
  TObjectPtr<TTestGrid> ancestor(new TTestGrid(nullptr));
  ancestor->SetName("Grid1");
  static_cast<TTestColumn*>(ancestor->Columns()->Add())->caption = "Job";
  static_cast<TTestColumn*>(ancestor->Columns()->Add())->caption = "Pages";
  auto descendant = Copy(ancestor.get());
  EXPECT_EQ(BinaryToText(Descendent(descendant.get(), ancestor.get())), "inherited Grid1: TTestGrid\r\nend\r\n");

  // One column wider: the whole collection, each item against its
  // defaults, since a reader makes the items anew.
  descendant->Columns()->Column(1)->width = 80;
  descendant->rowHeight = 18;
  const std::string stream = Descendent(descendant.get(), ancestor.get());
  EXPECT_EQ(BinaryToText(stream),
            "inherited Grid1: TTestGrid\r\n"
            "  Columns = <\r\n"
            "    item\r\n"
            "      Caption = 'Job'\r\n"
            "      Font.Name = 'Arial'\r\n"
            "    end\r\n"
            "    item\r\n"
            "      Caption = 'Pages'\r\n"
            "      Width = 80\r\n"
            "      Font.Name = 'Arial'\r\n"
            "    end>\r\n"
            "end\r\n");
  auto rebuilt = Copy(ancestor.get());
  Read<TTestGrid>(stream, rebuilt.get()).release();
  EXPECT_EQ(ToBinary(rebuilt.get()), ToBinary(descendant.get()));

  // Emptied: an empty value, which clears the ancestor's items on reading.
  descendant->Columns()->Clear();
  rebuilt = Copy(ancestor.get());
  Read<TTestGrid>(Descendent(descendant.get(), ancestor.get()), rebuilt.get()).release();
  EXPECT_EQ(rebuilt->Columns()->Count(), 0);
}

TEST_F(AncestorStream, TheAncestorIsOfferedToDefinePropertiesAndMustShareTheClass) {
  auto ancestor = MakeTestReport();
  TObjectPtr<TTestGrid> grid(new TTestGrid(nullptr));
  TMemoryStream stream;
  TWriter writer(stream);
  EXPECT_THROW(writer.WriteDescendent(grid.get(), ancestor.get()), EWriteError);
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(writer.Ancestor(), nullptr);
  // Without an ancestor it is the plain form.
  EXPECT_EQ(Descendent(ancestor.get(), nullptr), ToBinary(ancestor.get()));
}
