#include <gtest/gtest.h>

#include <string>

#include "engLike.h"
#include "osCodePage.h"

namespace {

bool Like(const std::string& value, const std::string& pattern, uint16_t language = 0) {
  return LikeMatch(language, 0, value.c_str(), pattern.c_str());
}

TEST(EngineLike, WildcardsAndBacktracking) {
  for (const char* pattern : {"a%", "%c", "a_c", "%", "%b%", "a%%", "___", "%abc%"})
    EXPECT_TRUE(Like("abc", pattern)) << pattern;
  for (const char* pattern : {"ab", "abcd", "%b", "____", "a%d", ""}) EXPECT_FALSE(Like("abc", pattern)) << pattern;
  EXPECT_FALSE(Like("ab", "a_c"));
  EXPECT_TRUE(Like("", "%"));
  EXPECT_FALSE(Like("", "_"));
  EXPECT_FALSE(Like("a", "%b"));
  EXPECT_TRUE(Like("abcbc", "%bc"));
  EXPECT_FALSE(Like("xaybz", "%a%b%c"));
  EXPECT_TRUE(Like("mississippi", "m%iss%ppi"));
}

TEST(EngineLike, CharactersByLanguage) {
  const std::string utf8 = "caf\xC3\xA9";
  EXPECT_TRUE(Like(utf8, "caf_"));
  EXPECT_FALSE(Like(utf8, "caf__"));
  EXPECT_TRUE(Like(utf8, "%\xC3\xA9"));
  EXPECT_FALSE(Like(utf8, "cafe"));
  EXPECT_FALSE(Like(utf8, "caf\xC3\xA8"));  // e with grave shares the lead byte
  EXPECT_FALSE(Like("ABC", "abc"));

  const std::string cp1252 = Utf8ToAnsi(1252, "caf\u00e9");
  EXPECT_TRUE(Like(cp1252, "cafe", 0x0409));
  EXPECT_TRUE(Like(cp1252, "caf_", 0x0409));
  EXPECT_FALSE(Like(cp1252, "CAFE", 0x0409));
  EXPECT_TRUE(Like(Utf8ToAnsi(1252, "na\u00efve caf\u00e9"), "%ive%e", 0x0409));
}

}  // namespace
