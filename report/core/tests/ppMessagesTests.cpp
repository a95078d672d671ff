#include <gtest/gtest.h>

#include <fstream>

#include "ppMessages.h"
#include "rtlTestFolder.h"

namespace {

// Points the resource manager at a private module folder and restores its
// modules and language afterwards.
class MessagesTest : public ::testing::Test {
protected:
  TTestFolder folder;
  TppResourceManager& manager = TppResourceManager::Instance();

  void SetUp() override { manager.SetModuleFolder(folder.Path()); }
  void TearDown() override {
    manager.RemoveModule("lxPrint");
    manager.RemoveModule("lxExtra");
    manager.SetLanguage(lgDefault);
  }
  void WriteModule(const std::string& name, const std::string& text) {
    std::ofstream(folder.Path() + "/" + name, std::ios::binary) << text;
  }
};

}  // namespace

TEST_F(MessagesTest, BuiltInTextsAndEmptyForUnknownNumbers) {
  struct Case {
    int Number;
    const char* Text;
  };
  const Case cases[] = {{18, "Page"},          {16, "of"},     {40, "Could not open DataSet."},
                        {1034, "No Data Found"}, {21, ""},       {187, ""},
                        {5, "Cancel"},         {1023, "Cannot generate report."},
                        {2, "Accessing data..."}, {8, "There are no printers connected to your computer."},
                        {32, "No pages entered."}, {33, "Please specify file name before continuing."},
                        {414, ""}};
  for (const Case& c : cases) EXPECT_EQ(ppLoadMessage(c.Number), c.Text) << c.Number;
  // Messages the engine raises itself are never empty.
  for (int raised : {284, 342, 415}) EXPECT_FALSE(ppLoadMessage(raised).empty()) << raised;
}

TEST_F(MessagesTest, EveryPlaceholderIsReplacedInTextOrder) {
  EXPECT_EQ(ppFormatMessage(10, {"3", "12", "Jobs"}), "Drawing page 3 of 12 for report Jobs");
  EXPECT_EQ(ppFormatMessage(4, {"7", "Usage"}), "Calculating page 7 for report Usage");
  EXPECT_EQ(ppFormatMessage(27, {"2", "Jobs", "lp0"}), "Printing page 2 for report Jobs on lp0");
  EXPECT_EQ(ppFormatMessage(28, {"2", "9", "Jobs", "lp0"}), "Printing page 2 of 9 for report Jobs on lp0");
  // Too few arguments leave the rest as they are; percent signs are text.
  EXPECT_EQ(ppReplacePlaceholders("<page> of <pagecount> 100%s", {"1"}), "1 of <pagecount> 100%s");
  // An argument that holds a placeholder is not replaced again.
  EXPECT_EQ(ppReplacePlaceholders("<name>:<count>", {"<count>", "2"}), "<count>:2");
}

TEST_F(MessagesTest, LanguageModulesComeFirstAndAreNeverFormats) {
  WriteModule("lxPrint.deu", "43018=Seite\r\n43010=Seite <page> von <pagecount> %s %d %n\n"
                             "43300=Zeile\\nzwei\nnot a line\n43abc=x\n");
  manager.AddModule("lxPrint");
  EXPECT_EQ(ppLoadMessage(18), "Page");  // default language: no module file
  ASSERT_TRUE(manager.SetLanguage(lgGerman));
  EXPECT_EQ(ppLoadMessage(18), "Seite");
  EXPECT_EQ(ppLoadMessage(300), "Zeile\nzwei");
  EXPECT_EQ(ppLoadMessage(16), "of");  // falls back to the program's table
  EXPECT_EQ(ppFormatMessage(10, {"2", "9"}), "Seite 2 von 9 %s %d %n");
}

TEST_F(MessagesTest, AMissingLanguageKeepsThePreviousOne) {
  WriteModule("lxPrint.fra", "43018=Page FR\n");
  manager.AddModule("lxPrint");
  ASSERT_TRUE(manager.SetLanguage(lgFrench));
  EXPECT_FALSE(manager.SetLanguage(lgSwedish));
  EXPECT_EQ(manager.Language(), lgFrench);
  EXPECT_EQ(ppLoadMessage(18), "Page FR");
  EXPECT_TRUE(manager.SetLanguage(lgDefault));
  EXPECT_EQ(ppLoadMessage(18), "Page");
}

TEST_F(MessagesTest, ModulesAreAskedInTheOrderAdded) {
  WriteModule("lxPrint.ita", "43018=Pagina\n");
  WriteModule("lxExtra.ita", "43018=Altro\n43016=di\n");
  manager.AddModule("lxPrint");
  manager.AddModule("lxExtra");
  manager.AddModule("lxPrint");  // listed once
  ASSERT_TRUE(manager.SetLanguage(lgItalian));
  EXPECT_EQ(ppLoadMessage(18), "Pagina");
  EXPECT_EQ(ppLoadMessage(16), "di");
  manager.RemoveModule("lxPrint");
  EXPECT_EQ(ppLoadMessage(18), "Altro");
  EXPECT_STREQ(ppLanguageCode(lgPortugueseBrazil), "ptb");
  EXPECT_STREQ(ppLanguageCode(lgCustom), "cst");
}
