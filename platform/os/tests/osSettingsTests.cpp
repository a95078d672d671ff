#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "osSettingsRegistry.h"
#include "osSettingsStore.h"
#include "osSettingsTestFolder.h"

namespace fs = std::filesystem;

namespace {

const char kKey[] = "\\Software\\Morvane\\Orvelle\\Settings";

class SettingsTest : public ::testing::Test {
protected:
  TTestFolder folder;
  TScopedEnv config{"XDG_CONFIG_HOME", folder.Path() + "/config"};

  std::string FileText() {
    std::ifstream in(SettingsFileName(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void PutFileText(const std::string& text) {
    fs::create_directories(SettingsFolder());
    std::ofstream(SettingsFileName(), std::ios::binary) << text;
  }

  std::string MessageOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const ERegistryException& e) {
      return e.Message;
    }
    return "(nothing raised)";
  }
};

TEST_F(SettingsTest, ValuesSurviveARoundTripThroughTheFile) {
  const std::string awkward = "50% = \"odd\"\r\nline two\t[x]; #";
  {
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(kKey, true));
    writer.WriteInteger("PoolTimeout", 500);
    writer.WriteInteger("Negative", INT32_MIN);
    writer.WriteBool("FullScanOnStart", true);
    writer.WriteString("DataPath", "/home/u/data");
    writer.WriteString("\\\\HOST\\queue=1;[a]", "");
    writer.WriteString("", awkward);
    writer.WriteString("Awkward", awkward);
    writer.WriteInteger("poolTIMEOUT", 750);  // same value, other case
  }
  TRegistry reader;
  ASSERT_TRUE(reader.OpenKeyReadOnly("\\software\\MORVANE\\Orvelle\\Settings"));
  EXPECT_EQ(reader.ReadInteger("PoolTimeout"), 750);
  EXPECT_EQ(reader.ReadInteger("Negative"), INT32_MIN);
  EXPECT_TRUE(reader.ReadBool("FullScanOnStart"));
  EXPECT_EQ(reader.ReadString("DataPath"), "/home/u/data");
  EXPECT_TRUE(reader.ValueExists("\\\\host\\QUEUE=1;[a]"));
  EXPECT_EQ(reader.ReadString(""), awkward);
  EXPECT_EQ(reader.ReadString("Awkward"), awkward);

  std::vector<std::string> names;
  reader.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"PoolTimeout", "Negative", "FullScanOnStart", "DataPath",
                                             "\\\\HOST\\queue=1;[a]", "", "Awkward"}));
  TRegDataInfo info;
  ASSERT_TRUE(reader.GetDataInfo("DataPath", info));
  EXPECT_EQ(info.RegData, rdString);
  EXPECT_EQ(info.DataSize, 13);
  ASSERT_TRUE(reader.GetDataInfo("PoolTimeout", info));
  EXPECT_EQ(info.RegData, rdInteger);
  EXPECT_EQ(info.DataSize, 4);
  EXPECT_FALSE(reader.GetDataInfo("Missing", info));
  EXPECT_EQ(info.RegData, rdUnknown);
  EXPECT_EQ(reader.GetDataSize("Missing"), -1);
  EXPECT_EQ(reader.CurrentPath(), "software\\MORVANE\\Orvelle\\Settings");

  struct stat info2 {};
  ASSERT_EQ(stat(SettingsFileName().c_str(), &info2), 0);
  EXPECT_EQ(info2.st_mode & 0777, 0600u) << "the file holds the data password";
}

TEST_F(SettingsTest, ReadingNeverCreatesTheFileOrAKey) {
  TRegistry registry;
  EXPECT_FALSE(registry.OpenKeyReadOnly(kKey));
  EXPECT_FALSE(registry.OpenKey(kKey, false));
  EXPECT_FALSE(registry.KeyExists(kKey));
  EXPECT_FALSE(registry.ValueExists("DataPath"));
  EXPECT_EQ(registry.ReadString("DataPath"), "");
  EXPECT_FALSE(fs::exists(SettingsFolder()));

  TRegistry writer;
  ASSERT_TRUE(writer.OpenKey("\\Software\\Other", true));
  std::string before = FileText();
  EXPECT_FALSE(registry.OpenKey(kKey, false));
  EXPECT_TRUE(registry.KeyExists("\\Software"));  // a parent of a stored key
  EXPECT_EQ(FileText(), before);
}

TEST_F(SettingsTest, KeysOpenRelativeToTheOpenKeyUnlessRooted) {
  TRegistry registry;
  ASSERT_TRUE(registry.OpenKey("Software\\Morvane", true));
  ASSERT_TRUE(registry.OpenKey("Orvelle\\Settings", true));
  EXPECT_EQ(registry.CurrentPath(), "Software\\Morvane\\Orvelle\\Settings");
  EXPECT_TRUE(registry.KeyExists(kKey));
  EXPECT_FALSE(registry.KeyExists("Software"));  // below the open key
  ASSERT_TRUE(registry.OpenKey("\\Software", false));
  EXPECT_EQ(registry.CurrentPath(), "Software");
  registry.CloseKey();
  EXPECT_EQ(registry.CurrentPath(), "");
}

TEST_F(SettingsTest, ErrorsCarryTheClassLibraryTexts) {
  TRegistry registry;
  EXPECT_EQ(MessageOf([&] { registry.WriteInteger("Left", 1); }), "Failed to set data for 'Left'");
  ASSERT_TRUE(registry.OpenKey(kKey, true));
  registry.WriteString("DataPath", "x");
  registry.WriteInteger("Left", 5);
  EXPECT_EQ(MessageOf([&] { registry.ReadInteger("Top"); }), "Failed to get data for 'Top'");
  EXPECT_EQ(MessageOf([&] { registry.ReadInteger("DataPath"); }), "Invalid data type for 'DataPath'");
  EXPECT_EQ(MessageOf([&] { registry.ReadString("Left"); }), "Invalid data type for 'Left'");

  TRegistry reader;
  ASSERT_TRUE(reader.OpenKeyReadOnly(kKey));
  EXPECT_EQ(MessageOf([&] { reader.WriteString("Left", "1"); }), "Failed to set data for 'Left'");
  EXPECT_FALSE(reader.DeleteValue("Left"));
  EXPECT_TRUE(registry.DeleteValue("left"));
  EXPECT_FALSE(registry.DeleteValue("Left"));
  EXPECT_FALSE(reader.ValueExists("Left"));
}

TEST_F(SettingsTest, ADamagedFileIsReportedAndNeverOverwritten) {
  const std::string damaged = "[Software\\Morvane\\Orvelle\\Settings]\nLeft=integer:12x\n";
  PutFileText(damaged);
  TRegistry registry;
  EXPECT_THROW(registry.OpenKey(kKey, true), ESettingsFormatError);
  EXPECT_EQ(FileText(), damaged);

  for (const char* text : {"Left=integer:1\n", "[A]\nLeft=integer:99999999999\n", "[A]\nLeft=float:1\n",
                           "[A]\nLeft=string:%4\n", "[A]\nX=string:1\nx=string:2\n", "[A\n"}) {
    PutFileText(text);
    EXPECT_THROW(LoadSettings(), ESettingsFormatError) << text;
  }
}

TEST_F(SettingsTest, WritersInParallelLoseNoValue) {
  auto writeMany = [](const std::string& prefix) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(kKey, true));
    for (int i = 0; i < 20; ++i) registry.WriteInteger(prefix + std::to_string(i), i);
  };
  std::thread first(writeMany, "A"), second(writeMany, "B");
  first.join();
  second.join();
  TRegistry reader;
  ASSERT_TRUE(reader.OpenKeyReadOnly(kKey));
  std::vector<std::string> names;
  reader.GetValueNames(names);
  EXPECT_EQ(names.size(), 40u);
}

TEST_F(SettingsTest, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
  std::string target = folder.Path() + "/file.ini";
  WriteFileAtomically(target, "old\n", 0600);
  WriteFileAtomically(target, "new\n", 0600);
  std::ifstream in(target);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "new");

  fs::create_directories(folder.Path() + "/busy/inside");  // a folder cannot be replaced
  EXPECT_THROW(WriteFileAtomically(folder.Path() + "/busy", "x", 0600), EOSError);
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(folder.Path())) {
    EXPECT_EQ(entry.path().extension(), entry.path().filename() == "busy" ? "" : ".ini");
    ++entries;
  }
  EXPECT_EQ(entries, 2);
}

}  // namespace
