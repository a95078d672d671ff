#include <gtest/gtest.h>

#include <string>

#include "splCupsRecords.h"
#include "splCupsSession.h"
#include "splPrivateCupsd.h"

namespace {

// Enough queues with long descriptions that the printer list's answer is
// several times the size of one read.
constexpr int ManyQueues = 48;
const std::string LongText(120, 'x');

class CupsSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cupsd = new TPrivateCupsd;
    ASSERT_TRUE(cupsd->Start()) << cupsd->Error();
    for (int i = 0; i < ManyQueues; ++i)
      ASSERT_TRUE(cupsd->AddQueue("q" + std::to_string(i), LongText, LongText + std::to_string(i)));
  }
  static void TearDownTestSuite() {
    delete cupsd;
    cupsd = nullptr;
  }
  static TPrivateCupsd* cupsd;
};

TPrivateCupsd* CupsSessionTest::cupsd = nullptr;

TEST_F(CupsSessionTest, AnswersAreReadWholeAndRefusalsTold) {
  struct Case {
    const char* what;
    ipp_op_t op;
    std::string path;  // the printer-uri's path; empty: none
    std::string resource;
    OsError error;
    ipp_status_t status;
    size_t printers;  // printer groups in the answer
  };
  const Case cases[] = {
      {"the whole list, larger than one read", IPP_OP_CUPS_GET_PRINTERS, "", "/", ERROR_SUCCESS, IPP_STATUS_OK,
       ManyQueues},
      {"one printer", IPP_OP_GET_PRINTER_ATTRIBUTES, "/printers/q7", "/printers/q7", ERROR_SUCCESS, IPP_STATUS_OK, 1},
      {"a printer the server lacks", IPP_OP_GET_PRINTER_ATTRIBUTES, "/printers/none", "/printers/none",
       ERROR_INVALID_PRINTER_NAME, IPP_STATUS_ERROR_NOT_FOUND, 0},
      {"an operation the server does not know", static_cast<ipp_op_t>(0x3fff), "/printers/q1", "/printers/q1",
       ERROR_NOT_SUPPORTED, IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED, 0},
  };
  TCupsSession session(cupsd->Socket(), 631, 30000);
  // Several rounds on one connection: each answer is consumed to its end,
  // so the next request finds the connection ready.
  for (int round = 0; round < 2; ++round)
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      IppPtr response;
      EXPECT_EQ(session.Do(session.NewRequest(c.op, c.path), c.resource.c_str(), response), c.error);
      EXPECT_EQ(session.LastStatus(), c.status);
      if (c.error != ERROR_SUCCESS) {
        EXPECT_FALSE(response);
        EXPECT_FALSE(session.LastErrorText().empty());
        continue;
      }
      ASSERT_TRUE(response);
      const auto groups = IppGroups(response.get(), IPP_TAG_PRINTER);
      ASSERT_EQ(groups.size(), c.printers);
      for (const auto& g : groups) {
        EXPECT_EQ(g.Text("printer-location"), LongText);
        EXPECT_EQ(g.Text("printer-info"), LongText + g.Text("printer-name").substr(1));
      }
    }
}

}  // namespace
