#include <fstream>
#include <gtest/gtest.h>

#include "osProgram.h"
#include "osSettingsTestFolder.h"
#include "osVersion.h"
#include "rtlExceptions.h"

namespace {

TEST(ProgramFolder, ComesFromOrvelleHomeThenXdgDataHomeThenHome) {
  TScopedEnv home("HOME", "/home/someone/");
  TScopedEnv data("XDG_DATA_HOME", std::nullopt);
  {
    TScopedEnv orvelle("ORVELLE_HOME", "/opt/orvelle/");
    EXPECT_EQ(ProgramFolder(), "/opt/orvelle");
  }
  TScopedEnv orvelle("ORVELLE_HOME", "");
  EXPECT_EQ(ProgramFolder(), "/home/someone/.local/share/Orvelle");
  {
    TScopedEnv relative("XDG_DATA_HOME", "relative/data");  // not absolute: ignored
    EXPECT_EQ(ProgramFolder(), "/home/someone/.local/share/Orvelle");
  }
  TScopedEnv absolute("XDG_DATA_HOME", "/srv/data");
  EXPECT_EQ(ProgramFolder(), "/srv/data/Orvelle");
}

TEST(ProgramFolder, ForceFoldersMakesEveryMissingParent) {
  TTestFolder folder;
  std::string deep = folder.Path() + "/a/b/c";
  ForceFolders(deep, 0700);
  ForceFolders(deep, 0700);  // existing: no error
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  std::ofstream(folder.Path() + "/file") << "x";
  EXPECT_THROW(ForceFolders(folder.Path() + "/file/sub", 0700), EOSError);
  EXPECT_THROW(ForceFolders(folder.Path() + "/file", 0700), EOSError);
}

TEST(ProgramFolder, ModuleAndComputerNames) {
  EXPECT_NE(ModuleFileName().find("platform_os_tests"), std::string::npos);
  EXPECT_FALSE(ComputerName().empty());
}

TEST(VersionInfo, AnswersTheStringTableIgnoringCaseAndDoubledSeparators) {
  EXPECT_EQ(QueryVersionValue("\\StringFileInfo\\040904E4\\FileDescription"), "Orvelle");
  EXPECT_EQ(QueryVersionValue("\\\\StringFileInfo\\\\040904e4\\\\companyname"), "Morvane");
  EXPECT_EQ(QueryVersionValue("\\StringFileInfo\\040904E4\\LegalTrademarks"), std::nullopt);
  EXPECT_EQ(QueryVersionValue("\\StringFileInfo\\04070000\\FileDescription"), std::nullopt);
  EXPECT_EQ(QueryVersionValue("\\StringFileInfo\\040904E4"), std::nullopt);
}

}  // namespace
