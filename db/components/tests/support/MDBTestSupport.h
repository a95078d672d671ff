#pragma once
// A scratch folder per test and a clean slate of sessions: every session
// a test made is freed and the default session closed again, which stops
// the engine. The default session keeps its answer tables in the scratch
// folder too: test processes run side by side, and a shared working folder
// would have them compete for the same temporary names.

#include <gtest/gtest.h>

#include <string>

#include "MDBSession.h"
#include "MDBSessionList.h"
#include "osSettingsTestFolder.h"
#include "rtlClasses.h"
#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlWriter.h"

class ComponentsTest : public ::testing::Test {
protected:
  TTestFolder scratch;
  const std::string folder = scratch.Path();

  void SetUp() override {
    DefaultSession().Close();
    DefaultSession().SetPrivateDir(folder);
  }
  void TearDown() override {
    for (int i = Sessions().Count() - 1; i >= 0; --i) {
      TMDBSession* session = Sessions().Items(i);
      if (session != &DefaultSession()) session->Free();
    }
    DefaultSession().Close();
    DefaultSession().OnPassword = nullptr;
    DefaultSession().OnStartup = nullptr;
    DefaultSession().OnDatabaseEvent = nullptr;
    DefaultSession().SetPrivateDir({});
  }

  // Expects statement to raise exception class E with exactly text.
  template <typename E, typename F>
  static void ExpectMessage(F&& statement, const std::string& text) {
    try {
      statement();
      ADD_FAILURE() << "nothing raised, expected: " << text;
    } catch (const E& error) {
      EXPECT_EQ(error.Message, text);
    }
  }
};

// A form (a root component with what it owns) in the object streams' text.
inline std::string FormText(TComponent& root) {
  TMemoryStream binary;
  TWriter(binary).WriteRootComponent(&root);
  binary.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(binary, text);
  return text.DataString();
}

// Reads a form's text into root.
inline void ReadFormText(const std::string& text, TComponent& root) {
  TStringStream source(text);
  TMemoryStream binary;
  ObjectTextToBinary(source, binary);
  binary.SetPosition(0);
  TReader(binary).ReadRootComponent(&root);
}
