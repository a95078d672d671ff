#include "rtlWriter.h"

#include <bit>
#include <cassert>

#include "rtlClassesConsts.h"
#include "rtlConsts.h"
#include "rtlExtended.h"
#include "rtlStrUtils.h"

namespace {

// Resets a component state flag when the writing of one component ends,
// however it ends.
class TWritingState {
public:
  explicit TWritingState(TComponent* component) : component(component) {
    component->SetWriting(true);
  }
  ~TWritingState() { component->SetWriting(false); }
  TWritingState(const TWritingState&) = delete;
  TWritingState& operator=(const TWritingState&) = delete;

private:
  TComponent* component;
};

}  // namespace

void TWriter::WriteBytes(const void* data, size_t count) {
  stream.WriteBuffer(data, static_cast<int64_t>(count));
}

template <typename T>
void TWriter::WriteLE(T value) {
  uint8_t bytes[sizeof(T)];
  auto bits = static_cast<std::make_unsigned_t<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  WriteBytes(bytes, sizeof(T));
}

void TWriter::WriteValue(TValueType type) {
  const uint8_t tag = type;
  WriteBytes(&tag, 1);
}

void TWriter::WriteStr(std::string_view s) {
  // Short strings carry names, which are identifiers far below the limit.
  if (s.size() > 255) throw EWriteError(SWriteError);
  const uint8_t length = static_cast<uint8_t>(s.size());
  WriteBytes(&length, 1);
  WriteBytes(s.data(), s.size());
}

void TWriter::WriteSignature() { WriteBytes(FilerSignature, sizeof(FilerSignature)); }

void TWriter::WriteRootComponent(TComponent* root) {
  SetRoot(root);
  WriteSignature();
  WriteComponent(root);
}

void TWriter::WriteComponent(TComponent* component) {
  assert(component != nullptr);
  if (++nesting > MaxFilerNesting) {
    --nesting;
    throw EWriteError(SStreamTooDeep);
  }
  TWritingState writing(component);
  WriteStr(component->ClassName());
  WriteStr(component->Name());
  component->WriteState(*this);
  --nesting;
}

void TWriter::WriteData(TComponent* instance) {
  WriteProperties(instance);
  WriteListEnd();
  instance->GetChildren([this](TComponent* child) { WriteComponent(child); }, Root());
  WriteListEnd();
}

void TWriter::WriteProperties(TPersistent* instance) {
  for (const TPropInfo* prop : instance->ClassType().Properties()) {
    // A read-only value could never be read back; a read-only object
    // property still streams the object's own properties.
    if (prop->IsReadOnly() && prop->Kind() != tkClass) continue;
    if (prop->IsStored(*instance) && !prop->IsDefaultValue(*instance)) WriteProperty(instance, *prop);
  }
  instance->DefineProperties(*this);
}

void TWriter::WritePropName(std::string_view name) {
  std::string full = propPath;
  full += name;
  WriteStr(full);
}

std::string TWriter::ReferenceName(TComponent* component) const {
  TComponent* root = Root();
  if (component == root) return component->Name();
  std::string name = component->Name();
  // Components owned outside the root are named by their owner, so a
  // reader that resolves against the same root finds them again.
  for (TComponent* owner = component->Owner(); owner != nullptr && owner != root;
       owner = owner->Owner()) {
    if (owner->Name().empty()) return {};
    name = owner->Name() + "." + name;
  }
  return name;
}

void TWriter::WriteProperty(TPersistent* instance, const TPropInfo& prop) {
  const TPropValue value = prop.GetValue(*instance);
  switch (prop.Kind()) {
    case tkInteger:
    case tkInt64: {
      const int64_t v = std::get<int64_t>(value);
      if (prop.Idents() != nullptr) {
        for (const TIdentMapEntry& e : *prop.Idents())
          if (e.Value == v) {
            WritePropName(prop.Name());
            WriteIdent(e.Name);
            return;
          }
      }
      WritePropName(prop.Name());
      WriteInteger(v);
      return;
    }
    case tkChar:
      WritePropName(prop.Name());
      WriteChar(static_cast<char>(std::get<int64_t>(value)));
      return;
    case tkEnumeration: {
      const int64_t v = std::get<int64_t>(value);
      WritePropName(prop.Name());
      if (prop.EnumType() == &BooleanTypeInfo())
        WriteBoolean(v != 0);
      else if (const std::string name = prop.EnumType()->NameOf(v); !name.empty())
        WriteIdent(name);
      else
        WriteInteger(v);  // outside the enumeration: kept as its number
      return;
    }
    case tkSet: {
      const auto bits = static_cast<uint64_t>(std::get<int64_t>(value));
      WritePropName(prop.Name());
      WriteValue(vaSet);
      for (int i = 0; i < prop.EnumType()->Count() && i < 64; ++i)
        if ((bits >> i) & 1) WriteStr(prop.EnumType()->NameOf(i));
      WriteStr({});
      return;
    }
    case tkFloat:
      WritePropName(prop.Name());
      if (prop.FloatType() == ftCurr)
        WriteCurrency(std::get<Currency>(value));
      else if (prop.FloatType() == ftSingle)
        WriteSingle(static_cast<float>(std::get<long double>(value)));
      else if (prop.TypeName() == "TDateTime")
        WriteDate(static_cast<double>(std::get<long double>(value)));
      else
        WriteFloat(std::get<long double>(value));
      return;
    case tkString:
      WritePropName(prop.Name());
      WriteString(std::get<std::string>(value));
      return;
    case tkVariant:
      WritePropName(prop.Name());
      WriteVariant(std::get<Variant>(value));
      return;
    case tkMethod: {
      const TMethod m = std::get<TMethod>(value);
      WritePropName(prop.Name());
      WriteIdent(m.Code->Name());
      return;
    }
    case tkClass: {
      TObject* object = std::get<TObject*>(value);
      if (auto* component = dynamic_cast<TComponent*>(object)) {
        const std::string name = ReferenceName(component);
        if (name.empty()) return;  // nothing a reader could find
        WritePropName(prop.Name());
        WriteIdent(name);
      } else if (auto* persistent = dynamic_cast<TPersistent*>(object)) {
        if (++nesting > MaxFilerNesting) {
          --nesting;
          throw EWriteError(SStreamTooDeep);
        }
        const std::string saved = propPath;
        propPath += prop.Name() + ".";
        WriteProperties(persistent);
        propPath = saved;
        --nesting;
      }
      return;
    }
  }
}

void TWriter::DefineProperty(const std::string& name, const TReaderProc& /*readData*/,
                             const TWriterProc& writeData, bool hasData) {
  if (!hasData || !writeData) return;
  WritePropName(name);
  writeData(*this);
}

void TWriter::DefineBinaryProperty(const std::string& name, const TStreamProc& /*readData*/,
                                   const TStreamProc& writeData, bool hasData) {
  if (!hasData || !writeData) return;
  TMemoryStream bytes;
  writeData(bytes);
  WritePropName(name);
  WriteBinary(bytes.Memory(), static_cast<size_t>(bytes.Size()));
}

void TWriter::WriteBinary(const void* data, size_t count) {
  if (count > INT32_MAX) throw EWriteError(SWriteError);
  WriteValue(vaBinary);
  WriteLE(static_cast<int32_t>(count));
  WriteBytes(data, count);
}

void TWriter::WritePrefix(TFilerFlags flags, int childPos) {
  if (flags.Empty()) return;
  const uint8_t prefix = FilerPrefixMark | static_cast<uint8_t>(flags.Bits());
  WriteBytes(&prefix, 1);
  if (flags.Contains(ffChildPos)) WriteInteger(childPos);
}

void TWriter::WriteInteger(int64_t value) {
  if (value >= INT8_MIN && value <= INT8_MAX) {
    WriteValue(vaInt8);
    WriteLE(static_cast<int8_t>(value));
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    WriteValue(vaInt16);
    WriteLE(static_cast<int16_t>(value));
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    WriteValue(vaInt32);
    WriteLE(static_cast<int32_t>(value));
  } else {
    WriteValue(vaInt64);
    WriteLE(value);
  }
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? vaTrue : vaFalse); }

void TWriter::WriteChar(char value) { WriteString(std::string_view(&value, 1)); }

void TWriter::WriteFloat(long double value) {
  WriteValue(vaExtended);
  const TExtendedBytes bytes = LongDoubleToExtended(value);
  WriteBytes(bytes.data(), bytes.size());
}

void TWriter::WriteSingle(float value) {
  WriteValue(vaSingle);
  WriteLE(std::bit_cast<uint32_t>(value));
}

void TWriter::WriteCurrency(Currency value) {
  WriteValue(vaCurrency);
  WriteLE(value.Scaled);
}

void TWriter::WriteDate(TDateTime value) {
  WriteValue(vaDate);
  WriteLE(std::bit_cast<uint64_t>(value));
}

void TWriter::WriteString(std::string_view value) {
  if (value.size() <= 255) {
    WriteValue(vaString);
    WriteStr(value);
  } else {
    if (value.size() > INT32_MAX) throw EWriteError(SWriteError);
    WriteValue(vaLString);
    WriteLE(static_cast<int32_t>(value.size()));
    WriteBytes(value.data(), value.size());
  }
}

void TWriter::WriteIdent(std::string_view ident) {
  if (SameText(ident, "False")) {
    WriteValue(vaFalse);
  } else if (SameText(ident, "True")) {
    WriteValue(vaTrue);
  } else if (SameText(ident, "nil")) {
    WriteValue(vaNil);
  } else if (SameText(ident, "Null")) {
    WriteValue(vaNull);
  } else {
    WriteValue(vaIdent);
    WriteStr(ident);
  }
}

void TWriter::WriteVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
      WriteValue(vaNil);
      return;
    case varNull:
      WriteValue(vaNull);
      return;
    case varSmallint:
    case varInteger:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
      WriteInteger(value.AsInt64());
      return;
    case varDouble:
      WriteFloat(value.AsFloat());
      return;
    case varCurrency:
      WriteCurrency(value.AsCurrency());
      return;
    case varDate:
      WriteDate(value.AsDateTime());
      return;
    case varBoolean:
      WriteBoolean(value.AsBoolean());
      return;
    case varString:
      WriteString(value.AsString());
      return;
    default:
      throw EWriteError(SWriteError);
  }
}

void TWriter::WriteListBegin() { WriteValue(vaList); }

void TWriter::WriteListEnd() { WriteValue(vaNull); }
