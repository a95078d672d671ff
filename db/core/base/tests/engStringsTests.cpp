#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engErrors.h"
#include "engPaths.h"
#include "engStrings.h"
#include "osSettingsTestFolder.h"
#include "rtlExceptions.h"

namespace {

TEST(EngineStrings, ShortStringsStopAt255) {
  EXPECT_EQ(PadLeft("7", 3, '0'), "007");
  EXPECT_EQ(PadRight("ab", 4, '.'), "ab..");
  EXPECT_EQ(PadLeft("abc", 2, '0'), "abc");
  EXPECT_EQ(PadRight("x", 1000, ' ').size(), 255u);
  EXPECT_EQ(ReplicateStr("ab", 3), "ababab");
  EXPECT_EQ(ReplicateStr("abc", 100).size(), 255u);
  EXPECT_EQ(ReplicateStr("ab", 0), "");
  EXPECT_EQ(LeftStr("abcdef", 2), "ab");
  EXPECT_EQ(LeftStr("ab", -1), "");
  EXPECT_EQ(RightStr("abcdef", 2), "ef");
  EXPECT_EQ(RightStr("ab", 5), "ab");
}

TEST(EngineStrings, SearchesAndReplaces) {
  EXPECT_EQ(LastPos("ab", "abcab"), 4);
  EXPECT_EQ(LastPos("x", "abc"), 0);
  EXPECT_EQ(PosText("cd", "abcd"), 3);
  EXPECT_EQ(PosText("", "abcd"), 0);
  EXPECT_EQ(CountOccurrences("aa", "aaaaa"), 2);
  EXPECT_EQ(CountOccurrences("", "aaa"), 0);
  EXPECT_EQ(ReplaceAll("aa", "b", "aaaaa"), "bba");
  EXPECT_EQ(ReplacedLength("aa", "b", "aaaaa"), 3u);
  EXPECT_EQ(ReplacedLength("a", "xyz", "banana"), 12u);
  EXPECT_EQ(ReplaceAll("a", "xyz", "banana"), "bxyznxyznxyz");
  EXPECT_EQ(ReplaceAll("a", "a", "banana"), "banana");
  EXPECT_EQ(TrimChar("**a*b**", '*'), "a*b");
  EXPECT_EQ(TrimLeftChar("**a**", '*'), "a**");
  EXPECT_EQ(TrimRightChar("**a**", '*'), "**a");
  EXPECT_EQ(TrimChar("***", '*'), "");
  EXPECT_EQ(StripLineBreaks("a\r\nb\nc\r"), "abc");
  const std::pair<std::string_view, std::string_view> undoubled[] = {
      {"say \"\"hi\"\" it''s", "say \"hi\" it's"},
      {"", ""},
      {"plain", "plain"},
      {"'", "'"},
      {"a''", "a'"},
      {"'''", "''"},
      {"''''", "''"},
      {"\"\"\"", "\"\""},
      {"'\"\"'", "'\"'"},
      {"\"''\"", "\"'\""},
      {"'\"'", "'\"'"},
  };
  for (const auto& [text, expected] : undoubled) EXPECT_EQ(UndoubleQuotes(text), expected) << text;
}

TEST(EngineStrings, ComparesBytesAndClassifiesCharacters) {
  const unsigned char a[] = {1, 2, 3, 0, 0, 0};
  const unsigned char b[] = {1, 2, 4, 0, 0, 0};
  EXPECT_EQ(CommonPrefixLength(a, b, 6), 2);
  EXPECT_EQ(CommonPrefixLength(a, a, 4), 4);
  EXPECT_EQ(TrailingZeroCount(a + 6, 6), 3);
  EXPECT_EQ(TrailingZeroCount(a + 6, 2), 2);
  EXPECT_TRUE(IsIdentStartChar('_'));
  EXPECT_FALSE(IsIdentStartChar('1'));
  EXPECT_TRUE(IsIdentChar('1'));
  EXPECT_FALSE(IsIdentStartChar(char(128)));
  EXPECT_TRUE(IsIdentStartChar(char(129)));
  EXPECT_FALSE(IsIdentChar(char(255)));
  EXPECT_FALSE(IsIdentChar('-'));
}

// Keys differ anywhere: inside or at either end of a word, after whole
// words, and in a last part shorter than a word.
TEST(EngineStrings, CommonPrefixEndsAtTheFirstDifferingByte) {
  for (int n = 0; n <= 27; ++n) {
    for (int differ = 0; differ <= n; ++differ) {
      std::vector<unsigned char> a(size_t(n) + 1, 0x41);
      std::vector<unsigned char> b = a;
      if (differ < n) b[size_t(differ)] = 0x40;
      // A later difference that a word compared whole would see first.
      if (differ + 1 < n) b[size_t(n) - 1] = 0xC1;
      EXPECT_EQ(CommonPrefixLength(a.data(), b.data(), n), differ) << n << " " << differ;
      EXPECT_EQ(CommonPrefixLength(b.data(), a.data(), n), differ) << n << " " << differ;
    }
  }
}

TEST(EngineStrings, BooleanTexts) {
  EXPECT_EQ(BoolToText(true), "True");
  EXPECT_EQ(BoolToText(false), "False");
  EXPECT_TRUE(TextToBool("tRuE"));
  EXPECT_FALSE(TextToBool("FALSE"));
  try {
    TextToBool("yes");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'yes' is not a valid boolean value");
  }
  EXPECT_THROW(TextToBool(std::string("TRUE\0x", 6)), EConvertError);
}

TEST(EnginePaths, NamesAndExtensions) {
  EXPECT_EQ(StripFileExt("data.d/JOBS.DAT"), "data.d/JOBS");
  EXPECT_EQ(StripFileExt("data.d/JOBS"), "data.d/JOBS");
  EXPECT_EQ(StripFileExt("data.d\\JOBS"), "data.d\\JOBS");
  EXPECT_EQ(ChangeFileExtension(" jobs.dat ", ".DAT"), "jobs.dat");
  EXPECT_EQ(ChangeFileExtension("jobs", ".IDX"), "jobs.IDX");
  EXPECT_EQ(ChangeFileExtension("a.b/jobs.DAT", ".BLB"), "a.b/jobs.BLB");
  EXPECT_EQ(IncludeTrailingBackslash(" /data "), "/data/");
  EXPECT_EQ(IncludeTrailingBackslash("/data/"), "/data/");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\data\\"), "C:\\data\\");
  EXPECT_EQ(IncludeTrailingBackslash("  "), "");
  EXPECT_FALSE(HasPathChars("JOBS"));
  EXPECT_TRUE(HasPathChars(""));
  EXPECT_TRUE(HasPathChars("data/JOBS"));
  EXPECT_TRUE(HasPathChars("C:JOBS"));
  EXPECT_EQ(FullNameWithoutExt("/tmp/x/../JOBS.DAT"), "/tmp/JOBS");
  EXPECT_EQ(GetUniversalName("/tmp"), "");
}

class UniqueFileName : public ::testing::Test {
protected:
  TTestFolder scratch;
  std::string prefix = std::to_string(gettid()).substr(0, 5);
  std::string folder = scratch.Path();
};

TEST_F(UniqueFileName, DiskFilesAreCreatedWithoutTouchingOthers) {
  std::string taken = folder + "/" + prefix + "0.TMP";
  std::ofstream(taken) << "another process's data";
  std::string first = GetUniqueFileName(folder, ".TMP", false, {});
  std::string second = GetUniqueFileName(folder + "/", ".TMP", false, {});
  EXPECT_EQ(first, folder + "/" + prefix + "1.TMP");
  EXPECT_EQ(second, folder + "/" + prefix + "2.TMP");
  EXPECT_TRUE(std::filesystem::exists(second));
  EXPECT_EQ(std::filesystem::file_size(taken), 22u);
}

TEST_F(UniqueFileName, MissingFolderRaisesInvalidPath) {
  try {
    GetUniqueFileName(folder + "/missing", ".TMP", false, {});
    FAIL();
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.ErrorCode, 11010);
  }
}

TEST_F(UniqueFileName, MemoryFilesAskTheFileList) {
  std::vector<std::string> asked;
  auto exists = [&](const std::string& name) {
    asked.push_back(name);
    return asked.size() < 3;
  };
  EXPECT_EQ(GetUniqueFileName("", ".TMP", true, exists), prefix + "2.TMP");
  EXPECT_EQ(asked.front(), prefix + "0.TMP");
  EXPECT_FALSE(std::filesystem::exists(folder + "/" + prefix + "0.TMP"));
}

}  // namespace
