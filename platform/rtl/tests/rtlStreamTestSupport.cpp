#include "rtlStreamTestSupport.h"

#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlStreamTestClasses.h"
#include "rtlWriter.h"

std::string Bytes(TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

std::string ToBinary(TComponent* root) {
  TMemoryStream stream;
  TWriter writer(stream);
  writer.WriteRootComponent(root);
  return Bytes(stream);
}

std::string BinaryToText(const std::string& binary) {
  TStringStream in(binary);
  TStringStream out;
  ObjectBinaryToText(in, out);
  return out.DataString();
}

std::string TextToBinary(const std::string& text) {
  TStringStream in(text);
  TStringStream out;
  ObjectTextToBinary(in, out);
  return out.DataString();
}

TComponent* ReadRoot(const std::string& binary, TComponent* root) {
  TStringStream in(binary);
  TReader reader(in);
  return reader.ReadRootComponent(root);
}

void StreamTestFixture::SetUp() {
  RegisterTestClasses();
  TestLog().clear();
}
