// The parameters' stored "Data" form: every type round-trips, oversized
// values are refused on writing, and damaged forms on reading.

#include <gtest/gtest.h>

#include "MDBConsts.h"
#include "MDBQueryParams.h"
#include "MDBTestSupport.h"
#include "rtlFormat.h"

namespace {

std::string Stored(const TParams& params) {
  TMemoryStream stream;
  WriteParamsData(params, stream);
  std::string bytes(size_t(stream.Size()), '\0');
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), stream.Size());
  return bytes;
}

void Load(TParams& params, const std::string& bytes) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  stream.SetPosition(0);
  ReadParamsData(params, stream);
}

void ExpectRefused(TParams& params, const std::string& bytes) {
  try {
    Load(params, bytes);
    ADD_FAILURE() << "accepted " << bytes.size() << " bytes";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, SBindParamsLoad);
  }
}

void FillSample(TParams& params) {
  params.CreateParam(ftUnknown, "unset", ptUnknown);
  params.CreateParam(ftUnknown, "name", ptInput)->SetAsString("Anna");
  params.CreateParam(ftUnknown, "count", ptInput)->SetAsInteger(-42);
  params.CreateParam(ftUnknown, "small", ptInput)->SetAsSmallInt(-7);
  params.CreateParam(ftUnknown, "flag", ptInput)->SetAsBoolean(true);
  params.CreateParam(ftUnknown, "ratio", ptInput)->SetAsFloat(2.5);
  params.CreateParam(ftUnknown, "money", ptInput)->SetAsBCD(Currency::FromScaled(123456));
  params.CreateParam(ftUnknown, "day", ptInput)->SetAsDate(45000);
  params.CreateParam(ftUnknown, "clock", ptInput)->SetAsTime(0.75);
  params.CreateParam(ftUnknown, "stamp", ptInput)->SetAsDateTime(45000.5);
  params.CreateParam(ftUnknown, "notes", ptInput)->SetAsMemo("a memo");
  params.CreateParam(ftUnknown, "bytes", ptInput)->SetAsBlob({0, 1, 2, 255});
  TParam* empty = params.CreateParam(ftInteger, "none", ptOutput);
  empty->SetBound(true);
}

TEST(ParamsData, EveryTypeRoundTrips) {
  TParams original;
  FillSample(original);
  TParams loaded;
  Load(loaded, Stored(original));
  ASSERT_EQ(loaded.Count(), original.Count());
  for (int i = 0; i < original.Count(); ++i) {
    const TParam& a = *original.Items(i);
    const TParam& b = *loaded.Items(i);
    EXPECT_EQ(b.Name(), a.Name());
    EXPECT_EQ(b.DataType(), a.DataType()) << a.Name();
    EXPECT_EQ(b.ParamType(), a.ParamType()) << a.Name();
    EXPECT_EQ(b.IsNull(), a.IsNull()) << a.Name();
    EXPECT_EQ(b.Bound(), a.Bound()) << a.Name();
    EXPECT_EQ(b.AsString(), a.AsString()) << a.Name();
  }
  EXPECT_EQ(loaded.ParamByName("money")->AsBCD().Scaled, 123456);
  EXPECT_DOUBLE_EQ(loaded.ParamByName("clock")->AsDateTime(), 0.75);
}

TEST(ParamsData, AValueOverTheLimitIsRefusedOnWriting) {
  TParams params;
  params.CreateParam(ftUnknown, "big", ptInput)->SetAsBlob(std::vector<uint8_t>(MaxStoredParamBytes + 1, 7));
  try {
    Stored(params);
    ADD_FAILURE() << "written";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, Format(SParamTooLarge, {std::string("big"), MaxStoredParamBytes}));
  }
  params.Items(0)->SetAsBlob(std::vector<uint8_t>(MaxStoredParamBytes, 7));
  EXPECT_NO_THROW(Stored(params));
}

TEST(ParamsData, DamagedFormsAreRefusedAndTheListKept) {
  TParams sample;
  FillSample(sample);
  const std::string good = Stored(sample);
  TParams params;
  params.CreateParam(ftInteger, "kept", ptInput)->SetAsInteger(1);
  // Every truncation.
  for (size_t size = 0; size < good.size(); ++size) ExpectRefused(params, good.substr(0, size));
  // A newer version.
  std::string newer = good;
  newer[0] = 3;
  ExpectRefused(params, newer);
  // A fixed-size value with another length: "count" holds 4 bytes.
  std::string wrongLength = good;
  const size_t countAt = good.find("count") + 5 + 2;  // name, parameter type, data type
  wrongLength[countAt] = 3;
  ExpectRefused(params, wrongLength);
  // A text without its ending zero.
  std::string unended = good;
  unended[good.find("Anna") + 4] = 'x';
  ExpectRefused(params, unended);
  ASSERT_EQ(params.Count(), 1);
  EXPECT_EQ(params.Items(0)->Name(), "kept");
}

}  // namespace
