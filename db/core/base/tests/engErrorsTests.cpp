#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "engErrorCodes.h"
#include "engErrorTexts.h"
#include "engErrors.h"
#include "rtlResources.h"

namespace {

std::string MessageFor(uint16_t code, const std::string& table, const std::string& field = {},
                       const std::string& index = {}, const std::string& extra = {}) {
  SetErrorContext(code, table, field, index, extra);
  return EngineErrorMessage(code);
}

TEST(EngineErrorMessage, FillsTheNamesInTheTableOrder) {
  EXPECT_EQ(MessageFor(8705, "JOBS"), "Beginning of file encountered in table 'JOBS'");
  EXPECT_EQ(MessageFor(9729, "JOBS", "Owner", "ByOwner"), "Duplicate key found in index 'ByOwner' of table 'JOBS'");
  EXPECT_EQ(MessageFor(10023, "JOBS", "7", "ByDate"),
            "Invalid field number '7' specified in index 'ByDate' for table 'JOBS'");
  EXPECT_EQ(MessageFor(10051, "JOBS", "", "", "bad operand"), "Filter error for table 'JOBS' - bad operand");
  EXPECT_EQ(MessageFor(11949, "JOBS", "", "", "Unexpected end"), "SQL error - Unexpected end");
  EXPECT_EQ(MessageFor(11047, "JOBS"), "An unknown operating system error occurred with table 'JOBS'");
  EXPECT_EQ(MessageFor(11016, "JOBS"),
            "There is insufficient operating system memory available for the current operation");
  EXPECT_EQ(MessageFor(10758, "JOBS"), "Engine not initialized");
  EXPECT_EQ(MessageFor(1, "JOBS"), "Unknown error occurred with table 'JOBS'");
}

TEST(EngineErrorMessage, EveryCodeHasItsOwnTextAndEveryTextACode) {
  std::set<uint16_t> named;
  for (uint16_t code : EngineErrorCodes) {
    EXPECT_TRUE(named.insert(code).second) << code << " has two names";
    SetErrorContext(code, "JOBS", "Owner", "ByOwner", "why");
    EXPECT_NE(EngineErrorMessage(code), "Unknown error occurred with table 'JOBS'") << code;
  }
  std::set<uint16_t> texted;
  for (const TEngineErrorText& text : EngineErrorTexts()) {
    EXPECT_TRUE(texted.insert(text.Code).second) << text.Code << " has two texts";
    EXPECT_TRUE(named.count(text.Code)) << text.Code << " has no name";
  }
  EXPECT_EQ(named, texted);
}

TEST(EngineErrorMessage, TextsLiveInTheStringTable) {
  EXPECT_EQ(LoadStr(12232), "Beginning of file encountered in table '%s'");
  EXPECT_EQ(LoadStr(12292), "SQL error - %s");
  EXPECT_EQ(LoadStr(12296), "The language driver for table '%s' is not available or installed");
}

TEST(EngineErrorMessage, IsCutAt254Bytes) {
  std::string longName(255, 'n');
  std::string message = MessageFor(8705, longName);
  EXPECT_EQ(message.size(), 254u);
  EXPECT_EQ(message, ("Beginning of file encountered in table '" + longName).substr(0, 254));
  // A multi-byte character that would straddle the limit is left out whole.
  std::string accented = std::string(213, 'x') + "\xC3\xA9";
  message = MessageFor(8705, accented);
  EXPECT_EQ(message, "Beginning of file encountered in table '" + std::string(213, 'x'));
}

TEST(EngineErrorContext, StoresNamesByKindAndClears) {
  SetErrorContext(9985, "JOBS", "Owner", "ByOwner", "text");
  EXPECT_EQ(GetErrorCode(), 9985);
  EXPECT_EQ(GetErrorContextName(ecFieldName), "Owner");
  EXPECT_EQ(GetErrorContextName(ecTableName), "JOBS");
  EXPECT_EQ(GetErrorContextName(ecIndexName), "ByOwner");
  EXPECT_EQ(GetErrorContextName(3), "");
  ClearErrorContext();
  EXPECT_EQ(GetErrorCode(), 0);
  EXPECT_EQ(GetErrorContextName(ecTableName), "");
  SetErrorContext(1, std::string(300, 't'), "", "", "");
  EXPECT_EQ(GetErrorContextName(ecTableName).size(), 255u);
}

TEST(EngineErrorContext, BelongsToTheRaisingThread) {
  SetErrorContext(8706, "MINE", "", "", "");
  std::string otherTable = "unset";
  std::thread other([&] {
    SetErrorContext(8709, "THEIRS", "", "", "");
    otherTable = GetErrorContextName(ecTableName);
  });
  other.join();
  EXPECT_EQ(otherTable, "THEIRS");
  EXPECT_EQ(GetErrorCode(), 8706);
  EXPECT_EQ(EngineErrorMessage(8706), "End of file encountered in table 'MINE'");
}

TEST(RaiseEngineError, ThrowsTheCodeWithItsText) {
  try {
    RaiseEngineError(9732, "JOBS", "JobDate");
    FAIL();
  } catch (const EEngineError& e) {
    EXPECT_EQ(e.ErrorCode, 9732);
    EXPECT_EQ(e.Message, "A value must be provided for the field 'JobDate' in table 'JOBS'");
    EXPECT_STREQ(e.ClassName(), "EEngineError");
  }
  EXPECT_EQ(GetErrorContextName(ecFieldName), "JobDate");
}

struct ComponentError {
  uint16_t code;
  std::string text;
};

TEST(RaiseEngineError, GoesThroughAnInstalledRaiser) {
  SetEngineErrorRaiser([](uint16_t code) { throw ComponentError{code, EngineErrorMessage(code)}; });
  try {
    RaiseEngineError(10241, "JOBS");
    FAIL();
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.code, 10241);
    EXPECT_EQ(e.text, "The table 'JOBS' is already locked by another user");
  }
  // A raiser that returns still does not let the raise return.
  SetEngineErrorRaiser([](uint16_t) {});
  EXPECT_THROW(RaiseEngineError(10241, "JOBS"), EEngineError);
  SetEngineErrorRaiser(nullptr);
  EXPECT_THROW(RaiseEngineError(10241, "JOBS"), EEngineError);
}

}  // namespace
