#include "osPath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "osFileTestText.h"
#include "osSettingsTestFolder.h"

namespace {

TEST(OsPath, FindFileIgnoreCase) {
  TTestFolder folder;
  const std::string& dir = folder.Path();
  WriteText(dir + "/Orders.DAT", "");
  WriteText(dir + "/ORDERS.DAT", "");
  WriteText(dir + "/Übersicht.dat", "");
  WriteText(dir + "/\xff.dat", "");

  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "Orders.DAT"), "Orders.DAT");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "ORDERS.DAT"), "ORDERS.DAT");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "orders.dat"), "ORDERS.DAT");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "üBERSICHT.DAT"), "Übersicht.dat");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "\xff.DAT"), "\xff.dat");
  // Bytes that are not UTF-8 do not fold into one another.
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "\xfe.dat"), "");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "orders.da"), "");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "orders.dat2"), "");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir, "sub/orders.dat"), "");
  EXPECT_EQ(OsPath::FindFileIgnoreCase(dir + "/missing", "orders.dat"), "");
}

TEST(OsPath, ExpandFileName) {
  char* cwd = getcwd(nullptr, 0);
  const std::string current = cwd;
  free(cwd);
  EXPECT_EQ(OsPath::ExpandFileName("T.DAT"), current + "/T.DAT");
  EXPECT_EQ(OsPath::ExpandFileName("/a/./b/../c.dat"), "/a/c.dat");
  EXPECT_EQ(OsPath::ExpandFileName("//a//b/"), "/a/b/");
  EXPECT_EQ(OsPath::ExpandFileName("/../.."), "/");
  EXPECT_EQ(OsPath::ExpandFileName(""), "");
}

TEST(OsPath, ExistenceAndAttributes) {
  TTestFolder folder;
  const std::string file = folder.Path() + "/F.DAT";
  WriteText(file, "x");
  EXPECT_TRUE(OsPath::FileExists(file));
  EXPECT_FALSE(OsPath::FileExists(folder.Path()));
  EXPECT_FALSE(OsPath::FileExists(folder.Path() + "/none"));

  OsPath::FileAttributes attributes;
  ASSERT_EQ(OsPath::GetFileAttributes(file, attributes), ERROR_SUCCESS);
  EXPECT_FALSE(attributes.readOnly);
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  ASSERT_EQ(OsPath::GetFileAttributes(file, attributes), ERROR_SUCCESS);
  EXPECT_TRUE(attributes.readOnly);
  ASSERT_EQ(OsPath::GetFileAttributes(folder.Path(), attributes), ERROR_SUCCESS);
  EXPECT_TRUE(attributes.directory);
  EXPECT_EQ(OsPath::GetFileAttributes(folder.Path() + "/none", attributes), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OsPath::GetFileAttributes(folder.Path() + "/no/none", attributes), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(OsPath::GetFileAttributes(file + "/x", attributes), ERROR_PATH_NOT_FOUND);
}

}  // namespace
