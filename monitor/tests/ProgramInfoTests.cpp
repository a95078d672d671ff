#include <gtest/gtest.h>

#include "ProgramInfo.h"
#include "SettingsKeys.h"
#include "rtlExceptions.h"
#include "rtlResources.h"
#include "rtlStreams.h"

namespace {

const char kDefinition[] = "[jobs]\nDESCRIPTION=Jobs\n";
const TResourceRegistrar kDefinitionResource("RCDATA", "ADVTESTDEF", kDefinition, sizeof kDefinition - 1);

TEST(ProgramInfo, LoadRCDataCopiesTheWholeResourceAndRewinds) {
  TStringStream stream("x");
  stream.Seek(0, soFromEnd);
  ASSERT_TRUE(LoadRCDataToStream("advtestdef", stream));
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.DataString(), std::string("x") + kDefinition);

  TStringStream untouched("keep");
  untouched.Seek(2, soFromBeginning);
  EXPECT_FALSE(LoadRCDataToStream("NOSUCHRESOURCE", untouched));
  EXPECT_EQ(untouched.Position(), 2);
  EXPECT_EQ(untouched.DataString(), "keep");
}

TEST(ProgramInfo, VersionTextsAndTheModule) {
  EXPECT_EQ(GetVersionInfoValue("FileDescription"), "Orvelle");
  EXPECT_EQ(GetAppDescription(), "Orvelle");
  EXPECT_EQ(GetVersionInfoValue("NoSuchName"), "");
  EXPECT_NE(GetModuleFileNameStr().find("monitor_tests"), std::string::npos);
}

TEST(ProgramInfo, AcquireExceptionObjectOutlivesItsHandler) {
  EXPECT_FALSE(AcquireExceptionObject());
  std::exception_ptr kept;
  try {
    throw EConvertError("kept");
  } catch (...) {
    kept = AcquireExceptionObject();
  }
  ASSERT_TRUE(kept);
  try {
    std::rethrow_exception(kept);
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "kept");
  }
}

}  // namespace
