#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "rtlExceptions.h"
#include "rtlStreams.h"
#include "rtlStringList.h"
#include "rtlTestFolder.h"

TEST(MemoryStream, ReadWriteSeekAndSize) {
  TMemoryStream stream;
  stream.WriteBuffer("hello world", 11);
  EXPECT_EQ(11, stream.Size());
  EXPECT_EQ(6, stream.Seek(-5, soFromEnd));
  char word[6] = {};
  stream.ReadBuffer(word, 5);
  EXPECT_STREQ("world", word);
  EXPECT_EQ(0, stream.Read(word, 5));
  // Writing past the end fills the gap with zeros.
  stream.SetPosition(13);
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(14, stream.Size());
  EXPECT_EQ(0, stream.Memory()[12]);
  stream.SetSize(5);
  EXPECT_EQ(5, stream.Position());
  stream.SetPosition(-1);
  EXPECT_EQ(0, stream.Read(word, 1));
  EXPECT_EQ(0, stream.Write("x", 1));
  stream.Clear();
  EXPECT_EQ(0, stream.Size());
}

TEST(MemoryStream, ShortReadsRaise) {
  TStringStream stream("abc");
  char buffer[4];
  try {
    stream.ReadBuffer(buffer, 4);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ("Stream read error", e.Message);
  }
  stream.SetPosition(0);
  EXPECT_EQ(3, stream.Read(buffer, 4));
  stream.ReadBuffer(buffer, 0);
  EXPECT_THROW(stream.SetSize(-1), EStreamError);
}

TEST(FileStream, CreateWriteReopenAndCopy) {
  TTestFolder folder;
  std::string name = folder.File("data.bin");
  {
    TFileStream file(name, fmCreate);
    TStringStream source("0123456789");
    source.SetPosition(7);
    EXPECT_EQ(10, file.CopyFrom(source, 0));  // 0: the whole source
    source.SetPosition(2);
    EXPECT_EQ(3, file.CopyFrom(source, 3));
    EXPECT_EQ(13, file.Size());
  }
  {
    TFileStream file(name, fmOpenReadWrite);
    file.Seek(-3, soFromEnd);
    char tail[4] = {};
    file.ReadBuffer(tail, 3);
    EXPECT_STREQ("234", tail);
    file.SetSize(4);
    EXPECT_EQ(4, file.Position());
  }
  TMemoryStream memory;
  memory.LoadFromFile(name);
  EXPECT_EQ(0, std::memcmp(memory.Memory(), "0123", 4));
  {
    TFileStream file(name, fmOpenRead);
    EXPECT_EQ(0, file.Write("x", 1));
    EXPECT_THROW(file.WriteBuffer("x", 1), EWriteError);
  }
  TStringStream copy("");
  copy.CopyFrom(memory, 0);
  EXPECT_EQ("0123", copy.DataString());
}

TEST(FileStream, OpenAndCreateErrorsCarryTheReason) {
  TTestFolder folder;
  std::string missing = folder.File("missing.txt");
  try {
    TFileStream file(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ("Cannot open file \"" + missing + "\". No such file or directory", e.Message);
  }
  std::string noFolder = folder.File("nope/new.txt");
  try {
    TFileStream file(noFolder, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ("Cannot create file \"" + noFolder + "\". No such file or directory", e.Message);
  }
}

TEST(FileStream, StringListsRoundTripThroughFiles) {
  TTestFolder folder;
  TStringList list;
  list.SetCommaText("a,b,c");
  list.SaveToFile(folder.File("list.txt"));
  TStringList loaded;
  loaded.LoadFromFile(folder.File("list.txt"));
  EXPECT_EQ("a\r\nb\r\nc\r\n", loaded.Text());
  TStringStream stream("x\ny");
  stream.SetPosition(2);
  loaded.LoadFromStream(stream);
  EXPECT_EQ("y\r\n", loaded.Text());
}
