#pragma once
// The conversions the stream tests go through: a component tree to its
// binary form and back, and the binary form to text and back; and their
// fixture.

#include <gtest/gtest.h>

#include <string>

#include "rtlClasses.h"
#include "rtlStreams.h"

// The bytes a memory stream holds, from its start.
std::string Bytes(TMemoryStream& stream);

std::string ToBinary(TComponent* root);
std::string BinaryToText(const std::string& binary);
std::string TextToBinary(const std::string& text);

// Reads the binary form into root, or into a new component when root is
// null; returns what was read, which the caller then owns if it made it.
TComponent* ReadRoot(const std::string& binary, TComponent* root = nullptr);

// Tests over the stream test classes: the classes registered, their log
// empty.
class StreamTestFixture : public ::testing::Test {
protected:
  void SetUp() override;
};
