#include "MDBQueryParams.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "MDBConsts.h"
#include "dbConsts.h"
#include "dbNativeValues.h"
#include "rtlFiler.h"
#include "rtlFormat.h"

RTL_DEFINE_CLASS(TMDBParams)

namespace {

constexpr uint16_t WrittenVersion = 1;
constexpr uint16_t NewestVersion = 2;

bool IsBlobType(TFieldType type) {
  return type == ftBlob || type == ftGraphic || type == ftFmtMemo || type == ftParadoxOle || type == ftDBaseOle ||
         type == ftTypedBinary;
}

// The fixed native size of a type; 0 for texts and BLOBs (their own
// length), -1 for types that have no stored form.
int FixedSize(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return 4;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDateTime: return 8;
    case ftString:
    case ftMemo: return 0;
    default: return IsBlobType(type) ? 0 : -1;
  }
}

template <typename T>
std::string Raw(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

template <typename T>
T FromRaw(const std::string& bytes) {
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

std::string NativeValue(const TParam& param) {
  const TFieldType type = param.DataType();
  switch (type) {
    case ftString:
    case ftMemo: return param.AsString() + '\0';
    case ftSmallint: return Raw(int16_t(param.AsInteger()));
    case ftWord: return Raw(uint16_t(param.AsInteger()));
    case ftBoolean: return Raw(uint16_t(param.AsBoolean() ? 1 : 0));
    case ftInteger:
    case ftAutoInc: return Raw(int32_t(param.AsInteger()));
    case ftDate: return Raw(DateTimeToDateNumber(param.AsDateTime()));
    case ftTime: return Raw(DateTimeToTimeMSecs(param.AsDateTime()));
    case ftFloat:
    case ftCurrency: return Raw(param.AsFloat());
    case ftBCD: return Raw(NativeCurrencyToStoredBcd(param.AsCurrency(), 4));
    case ftDateTime: return Raw(NativeDateTimeToTimeStamp(param.AsDateTime()));
    case ftUnknown: throw EDatabaseError(Format(SFieldUnknownType, {param.Name()}));
    default:
      if (IsBlobType(type)) return param.AsString();
      throw EDatabaseError(Format(SFieldUnsupportedType, {param.Name()}));
  }
}

void SetNative(TParam& param, TFieldType type, const std::string& bytes) {
  switch (type) {
    case ftString: param.SetAsString(bytes.substr(0, bytes.size() - 1)); break;
    case ftMemo: param.SetAsMemo(bytes.substr(0, bytes.size() - 1)); break;
    case ftSmallint: param.SetAsSmallInt(FromRaw<int16_t>(bytes)); break;
    case ftWord: param.SetAsWord(FromRaw<uint16_t>(bytes)); break;
    case ftBoolean: param.SetAsBoolean(FromRaw<uint16_t>(bytes) != 0); break;
    case ftInteger:
    case ftAutoInc: param.SetAsInteger(FromRaw<int32_t>(bytes)); break;
    case ftDate: param.SetAsDate(DateNumberToDateTime(FromRaw<int32_t>(bytes))); break;
    // On the day of the date-time zero.
    case ftTime: param.SetAsTime(TimeMSecsToDateTime(FromRaw<int32_t>(bytes))); break;
    case ftFloat: param.SetAsFloat(FromRaw<double>(bytes)); break;
    case ftCurrency: param.SetAsCurrency(Currency::FromScaled(int64_t(FromRaw<double>(bytes) * Currency::Scale))); break;
    case ftBCD: param.SetAsBCD(NativeStoredBcdToCurrency(FromRaw<int64_t>(bytes))); break;
    case ftDateTime: param.SetAsDateTime(NativeTimeStampToDateTime(FromRaw<double>(bytes))); break;
    default:
      param.SetAsBlob(std::vector<uint8_t>(bytes.begin(), bytes.end()));
      if (type != ftBlob) {
        // The other BLOB kinds keep their type; setting it clears the value.
        param.SetDataType(type);
        param.SetValue(Variant::FromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end())));
      }
      break;
  }
}

// Reads what the stream holds, refusing any shortfall.
class TDataReader {
public:
  explicit TDataReader(TStream& stream) : stream(stream), left(stream.Size() - stream.Position()) {}

  template <typename T>
  T Number() {
    T value;
    Need(sizeof value);
    stream.ReadBuffer(&value, sizeof value);
    return value;
  }
  uint32_t Length(bool wide, size_t narrowSize) {
    if (wide) return Number<uint32_t>();
    return narrowSize == 1 ? Number<uint8_t>() : Number<uint16_t>();
  }
  std::string Bytes(uint32_t count) {
    Need(count);
    std::string bytes(count, '\0');
    if (count > 0) stream.ReadBuffer(bytes.data(), count);
    return bytes;
  }

private:
  TStream& stream;
  int64_t left;

  void Need(int64_t count) {
    if (count > left) throw EDatabaseError(SBindParamsLoad);
    left -= count;
  }
};

}  // namespace

void TMDBParams::DefineProperties(TFiler& filer) {
  TParams::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "Data", [this](TStream& stream) { ReadParamsData(*this, stream); },
      [this](TStream& stream) { WriteParamsData(*this, stream); }, Count() > 0);
}

void WriteParamsData(const TParams& params, TStream& stream) {
  // Every value first, so a refused one leaves the stream untouched.
  std::vector<std::string> values(size_t(params.Count()));
  for (int i = 0; i < params.Count(); ++i) {
    const TParam& param = *params.Items(i);
    if (param.DataType() == ftUnknown) continue;
    values[size_t(i)] = NativeValue(param);
    if (values[size_t(i)].size() > size_t(MaxStoredParamBytes)) {
      throw EDatabaseError(Format(SParamTooLarge, {param.Name(), MaxStoredParamBytes}));
    }
  }
  const auto write = [&stream](const auto& value) { stream.WriteBuffer(&value, sizeof value); };
  write(WrittenVersion);
  write(uint16_t(params.Count()));
  for (int i = 0; i < params.Count(); ++i) {
    const TParam& param = *params.Items(i);
    const std::string name = param.Name().substr(0, 255);
    write(uint8_t(name.size()));
    stream.WriteBuffer(name.data(), int64_t(name.size()));
    write(uint8_t(param.ParamType()));
    write(uint8_t(param.DataType()));
    if (param.DataType() != ftUnknown) {
      write(uint16_t(values[size_t(i)].size()));
      stream.WriteBuffer(values[size_t(i)].data(), int64_t(values[size_t(i)].size()));
    }
    write(uint8_t(param.IsNull() ? 1 : 0));
    write(uint8_t(param.Bound() ? 1 : 0));
  }
}

void ReadParamsData(TParams& params, TStream& stream) {
  TDataReader reader(stream);
  const uint16_t version = reader.Number<uint16_t>();
  if (version > NewestVersion) throw EDatabaseError(SBindParamsLoad);
  const bool wide = version == 2;
  const uint32_t count = wide ? reader.Number<uint32_t>() : reader.Number<uint16_t>();
  TParams read;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string name = reader.Bytes(reader.Length(wide, 1));
    const auto paramType = static_cast<TParamType>(reader.Number<uint8_t>());
    const uint8_t typeNumber = reader.Number<uint8_t>();
    if (typeNumber > ftGuid || paramType > ptResult) throw EDatabaseError(SBindParamsLoad);
    const auto dataType = static_cast<TFieldType>(typeNumber);
    TParam* param = read.CreateParam(dataType, name, paramType);
    if (dataType != ftUnknown) {
      const std::string value = reader.Bytes(reader.Length(wide, 2));
      const int fixed = FixedSize(dataType);
      const bool isText = dataType == ftString || dataType == ftMemo;
      const bool fits = fixed > 0 ? int(value.size()) == fixed
                                  : fixed == 0 && (!isText || (!value.empty() && value.back() == '\0'));
      if (!fits) throw EDatabaseError(SBindParamsLoad);
      try {
        SetNative(*param, dataType, value);
      } catch (const EConvertError&) {
        throw EDatabaseError(SBindParamsLoad);
      }
    }
    const bool isNull = reader.Number<uint8_t>() != 0;
    const bool bound = reader.Number<uint8_t>() != 0;
    // A parameter without a type never had a value: it stays as made.
    if (isNull && dataType != ftUnknown) param->Clear();
    param->SetBound(bound);
  }
  params.Assign(&read);
}
