#include <filesystem>
#include <gtest/gtest.h>

#include "osSettingsTestFolder.h"
#include "SystemErrors.h"
#include "SettingsKeys.h"
#include "MonitorCommon.h"
#include "osErrors.h"
#include "rtlStreams.h"
#include "splErrors.h"
#include "splSimulatedSpooler.h"
#include "Alerter.h"

namespace {

TEST(MonitorCommon, FormatByteSizeChoosesTheUnitAtItsLimits) {
  EXPECT_EQ(FormatByteSize(0, true), "0 b");
  EXPECT_EQ(FormatByteSize(1023, true), "1023 b");
  EXPECT_EQ(FormatByteSize(1024, true), "1.00 KB");
  EXPECT_EQ(FormatByteSize(1023999, true), "1000.00 KB");
  EXPECT_EQ(FormatByteSize(1024000, true), "0.98 MB");
  EXPECT_EQ(FormatByteSize(1024000, false), "1000.00 KB");
  EXPECT_EQ(FormatByteSize(10239999, true), "9.77 MB");
  EXPECT_EQ(FormatByteSize(10240000, true), "9.8 MB");
  EXPECT_EQ(FormatByteSize(5368709120ull, true), "5120.0 MB");  // past 32 bits, no wrap
}

TEST(MonitorCommon, InsertThousandSeparatorsGroupsPositiveNumbers) {
  EXPECT_EQ(InsertThousandSeparators(999), "999");
  EXPECT_EQ(InsertThousandSeparators(1000), "1,000");
  EXPECT_EQ(InsertThousandSeparators(999999), "999,999");
  EXPECT_EQ(InsertThousandSeparators(1234567), "1,234,567");
  EXPECT_EQ(InsertThousandSeparators(2147483647), "2,147,483,647");
  EXPECT_EQ(InsertThousandSeparators(-1234), "-1234");
}

TEST(MonitorCommon, PrinterStatusTextNamesOneValueOnly) {
  EXPECT_EQ(PrinterStatusText(0, 0), "Ready");
  EXPECT_EQ(PrinterStatusText(0, 0x400), "Printing");
  EXPECT_EQ(PrinterStatusText(0, 0x100000), "User Intervention Required");
  EXPECT_EQ(PrinterStatusText(0, 0x480), "Unkown Status");
  EXPECT_EQ(PrinterStatusText(0x400, 0x401), "Unkown Status - Use Printer Offline");
  EXPECT_EQ(PrinterStatusText(0x400, 0), "Use Printer Offline");
  EXPECT_EQ(PrinterStatusText(0x3FF, 0x2000), "Waiting");
}

TEST(MonitorCommon, JobStatusTextListsTheBitsInItsOwnOrder) {
  EXPECT_EQ(JobStatusText(0, true), "");
  EXPECT_EQ(JobStatusText(0x90, false), "Printed");
  EXPECT_EQ(JobStatusText(0x90, true), "Printing - Printed");
  EXPECT_EQ(JobStatusText(0x109, true), "Spooling - Paused - Deleted");
  EXPECT_EQ(JobStatusText(0x1008, true), "Spooling - Unkown");
  EXPECT_EQ(JobStatusText(0x3000, false), "Unkown");
  EXPECT_EQ(JoinTexts("a", "", "b"), "ab");
  EXPECT_EQ(JoinTexts("", " - ", "b"), "b");
  EXPECT_EQ(JoinTexts("a", " - ", ""), "a");
}

TEST(MonitorCommon, GetCSVFieldHonoursQuotesBlanksAndMissingFields) {
  const std::string line = "a,\"b,c\",d";
  EXPECT_EQ(GetCSVField(line, 1), "a");
  EXPECT_EQ(GetCSVField(line, 2), "b,c");
  EXPECT_EQ(GetCSVField(line, 3), "d");
  EXPECT_EQ(GetCSVField(line, 4), "");
  EXPECT_EQ(GetCSVField("  x  , y ", 1), "x");
  EXPECT_EQ(GetCSVField("\" x \",y", 1), " x ");
  EXPECT_EQ(GetCSVField("\"q\"junk,next", 1), "q");
  EXPECT_EQ(GetCSVField("'q',\"'r'\"", 1), "q");
  EXPECT_EQ(GetCSVField("'q',\"'r'\"", 2), "r");
  EXPECT_EQ(GetCSVField("a,,c", 2), "");
  EXPECT_EQ(GetCSVField(std::string(300, 'z'), 1), std::string(255, 'z'));

  std::string_view rest = "  HP LaserJet,winspool,Ne00:";
  EXPECT_EQ(NextCSVToken(rest), "HP LaserJet");
  EXPECT_EQ(NextCSVToken(rest), "winspool");
  EXPECT_EQ(NextCSVToken(rest), "Ne00:");
  EXPECT_TRUE(rest.empty());
}

TEST(MonitorCommon, DateTimeStylesAndUtcConversion) {
  TFormatSettings settings;
  settings.DateSeparator = '/';
  settings.ShortDateFormat = "dd/mm/yyyy";
  TDateTime moment = EncodeDateTime(2024, 3, 9, 14, 5, 7, 89);
  EXPECT_EQ(FormatDateTimeStyle(0, moment, settings), "2024/03/09 14:05:07.089");
  EXPECT_EQ(FormatDateTimeStyle(1, moment, settings), "2024/03/09 14:05:07");
  EXPECT_EQ(FormatDateTimeStyle(2, moment, settings), "09/03/2024 14:05:07");
  EXPECT_EQ(FormatDateTimeStyle(3, moment, settings), "05:07");
  EXPECT_EQ(FormatDateTimeStyle(4, moment, settings), "2024/03/09 14:05");
  EXPECT_EQ(FormatDateTimeStyle(5, moment, settings), "");
  EXPECT_EQ(FormatDateTimeStyle(1, 0, settings), "");

  {
    TScopedEnv zone("TZ", "EST5");
    tzset();
    SystemTime utc{2024, 3, 6, 9, 14, 5, 7, 89};
    EXPECT_DOUBLE_EQ(SystemTimeToLocalDateTime(utc), EncodeDateTime(2024, 3, 9, 9, 5, 7, 89));
    EXPECT_EQ(SystemTimeToLocalDateTime(SystemTime{}), 0);
    EXPECT_EQ(SystemTimeToLocalDateTime(SystemTime{2024, 13, 0, 1, 0, 0, 0, 0}), 0);
  }
  tzset();
}

class MonitorCommonFolders : public ::testing::Test {
protected:
  TTestFolder folder;
  TScopedEnv home{"ORVELLE_HOME", folder.Path() + "/home"};
  TScopedEnv config{"XDG_CONFIG_HOME", folder.Path() + "/config"};
};

TEST_F(MonitorCommonFolders, PathsComeFromTheProgramFolderAndTheSettingsKey) {
  InitializeTools();
  EXPECT_EQ(ProgramDir, folder.Path() + "/home");
  EXPECT_EQ(ProgramPath, folder.Path() + "/home/");
  EXPECT_EQ(DataPath, folder.Path() + "/home/DATA");
  EXPECT_EQ(DataPassword, "");
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "/config")) << "reading created the settings";

  {
    TMorvaneRegistry registry;
    ASSERT_TRUE(registry.OpenKey(GetSettingsKey(), true));
    registry.WriteString("DataPath", folder.Path() + "/data/jobs");
    registry.WriteString("DataPswd", "secret");
    EXPECT_EQ(registry.ReadIntegerDef("PoolTimeout", 500), 500);
    registry.WriteInteger("PoolTimeout", 250);
    EXPECT_EQ(registry.ReadIntegerDef("PoolTimeout", 500), 250);
    EXPECT_EQ(registry.ReadStringDef("Missing", "x"), "x");
  }
  EXPECT_EQ(GetSettingsKey(), "Software\\Morvane\\Orvelle\\Settings");
  InitializeTools();
  EXPECT_EQ(DataPath, folder.Path() + "/data/jobs");
  EXPECT_EQ(DataPassword, "secret");
  ForceDataDirectory();
  EXPECT_TRUE(std::filesystem::is_directory(DataPath));
}

TEST_F(MonitorCommonFolders, OpenAppendStreamAppendsUnlessToldToCreate) {
  const std::string name = folder.Path() + "/log.txt";
  OpenAppendStream(name, false)->WriteBuffer("one", 3);
  OpenAppendStream(name, false)->WriteBuffer("two", 3);
  EXPECT_EQ(std::filesystem::file_size(name), 6u);
  OpenAppendStream(name, true)->WriteBuffer("x", 1);
  EXPECT_EQ(std::filesystem::file_size(name), 1u);
}

class MonitorCommonSpooler : public MonitorCommonFolders {
protected:
  std::shared_ptr<TSimulatedSpooler> spooler = std::make_shared<TSimulatedSpooler>("\\\\HOST");
  void SetUp() override { SetCurrentSpooler(spooler); }
  void TearDown() override {
    SetCurrentSpooler(nullptr);
    FreeAlerter();
  }

  std::string OpenFailure(const std::string& name) {
    PrinterHandle handle = 0;
    try {
      OpenPrinterChecked(name, handle);
    } catch (const Exception& e) {
      return e.Message;
    }
    return "(opened)";
  }
};

TEST_F(MonitorCommonSpooler, OpenPrinterCheckedFallsBackToUseAccess) {
  PrinterInfo2 info;
  info.PrinterName = "\\\\HOST\\queue";
  spooler->AddPrinter(info, PRINTER_ACCESS_USE);
  PrinterHandle handle = 0;
  EXPECT_TRUE(OpenPrinterChecked("\\\\HOST\\queue", handle));
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(spooler->CallCount(SpoolCall::OpenPrinter), 2u);

  spooler->FailCall(SpoolCall::OpenPrinter, ERROR_ACCESS_DENIED, 2);
  EXPECT_EQ(OpenFailure("\\\\HOST\\queue"), "OpenPrinter failed:\nAccess denied!");
  EXPECT_EQ(OpenFailure("\\\\HOST\\none"), "OpenPrinter failed:\n" + OsErrorMessage(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(MonitorCommonSpooler, EnumerationFailureRaisesSysError) {
  std::vector<PrinterInfo2> printers;
  spooler->FailCall(SpoolCall::EnumPrinters, RPC_S_SERVER_UNAVAILABLE);
  try {
    EnumPrintersBuffer(PRINTER_ENUM_NAME, "\\\\HOST", printers);
    ADD_FAILURE() << "an unreachable server raises";
  } catch (const ESysError& e) {
    EXPECT_EQ(e.Message, "Print server \"\\\\HOST\" cannot be reached: " + SpoolErrorMessage(RPC_S_SERVER_UNAVAILABLE));
  }
  PrinterInfo2 info;
  info.PrinterName = "\\\\HOST\\queue";
  spooler->AddPrinter(info);
  EnumPrintersBuffer(PRINTER_ENUM_NAME, "\\\\HOST", printers);
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].PrinterName, "\\\\HOST\\queue");
}

TEST_F(MonitorCommonSpooler, AMissingDefaultPrinterIsAnAlertNotAnError) {
  EXPECT_EQ(GetDefaultPrinter(), "No default printer");
  ASSERT_EQ(GetAlerter()->Count(), 1);
  const TAlert& alert = *GetAlerter()->At(0);
  EXPECT_EQ(alert.Message, "No default printer in system");
  EXPECT_EQ(alert.HelpText, "You need to install a printer");
  EXPECT_EQ(alert.Severity, 2);

  PrinterInfo2 info;
  info.PrinterName = "\\\\HOST\\queue";
  spooler->AddPrinter(info);
  EXPECT_EQ(GetDefaultPrinter(), "No default printer");
  EXPECT_EQ(GetAlerter()->Count(), 1) << "printers without a default are no fault";
  ASSERT_EQ(spooler->SetDefaultPrinter("\\\\HOST\\queue"), ERROR_SUCCESS);
  EXPECT_EQ(GetDefaultPrinter(), "\\\\HOST\\queue");
}

}  // namespace
