#pragma once
// The parameters' stored form, the binary property "Data": a version
// (1 when written; up to 2 read), the count, and per parameter its name,
// parameter type, data type and, for a known type, its native value (at
// most MaxStoredParamBytes), then the null and bound flags. Version 2
// widens the count, name and value lengths to 32 bits.
//
// Reading checks every length against the value's type and against what
// the stream still holds, and refuses a mismatch with "Unable to load bind
// parameters", leaving the list as it was.

#include <cstdint>

#include "dbParams.h"
#include "rtlStreams.h"

inline constexpr int MaxStoredParamBytes = 2048;

// The list of a query, streamed with its "Data" property.
class TMDBParams : public TParams {
  RTL_DECLARE_CLASS(TMDBParams, TParams)

  TMDBParams() = default;
  void DefineProperties(TFiler& filer) override;
};
using TMDBParam = TParam;

void WriteParamsData(const TParams& params, TStream& stream);
void ReadParamsData(TParams& params, TStream& stream);
