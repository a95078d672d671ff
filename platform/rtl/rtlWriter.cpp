#include "rtlWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "rtlAssert.h"
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

void TWriter::WriteRootComponent(TComponent* root) { WriteDescendent(root, nullptr); }

void TWriter::WriteDescendent(TComponent* root, TComponent* rootAncestorValue) {
  if (rootAncestorValue != nullptr && &rootAncestorValue->ClassType() != &root->ClassType())
    throw EWriteError(SWriteError);
  SetRoot(root);
  rootAncestor = rootAncestorValue;
  WriteSignature();
  TFilerFlags flags;
  if (rootAncestor != nullptr) flags.Include(ffInherited);
  WriteComponentAs(root, rootAncestor, flags, 0);
}

void TWriter::Enter() {
  if (++nesting > MaxFilerNesting) {
    --nesting;
    throw EWriteError(SStreamTooDeep);
  }
}

void TWriter::WriteComponentAs(TComponent* component, TComponent* componentAncestor,
                               TFilerFlags flags, int childPos) {
  ORV_ASSERT(component != nullptr);
  ORV_ASSERT(componentAncestor == nullptr || flags.Contains(ffInherited));
  Enter();
  TWritingState writing(component);
  TPersistent* const savedAncestor = ancestor;
  ancestor = componentAncestor;
  try {
    WritePrefix(flags, childPos);
    WriteStr(component->ClassName());
    WriteStr(component->Name());
    component->WriteState(*this);
  } catch (...) {
    ancestor = savedAncestor;
    Leave();
    throw;
  }
  ancestor = savedAncestor;
  Leave();
}

void TWriter::WriteData(TComponent* instance) {
  // WriteComponentAs set the ancestor of instance; its properties are
  // compared with it only when it is of the same class.
  auto* instanceAncestor = dynamic_cast<TComponent*>(ancestor);
  if (instanceAncestor != nullptr && &instanceAncestor->ClassType() != &instance->ClassType())
    instanceAncestor = nullptr;
  TPersistent* const savedAncestor = ancestor;
  ancestor = instanceAncestor;
  WriteProperties(instance);
  ancestor = savedAncestor;
  WriteListEnd();
  WriteChildren(instance, instanceAncestor);
  WriteListEnd();
}

void TWriter::WriteChildren(TComponent* instance, TComponent* instanceAncestor) {
  // The children a reader of the descendant finds already there (the
  // ancestor's, in the ancestor's order); a reader appends a new child and
  // moves one that carries a position there. The list follows what the
  // reader will do, so that a position is written exactly where the
  // reader's order would differ from the descendant's.
  std::vector<TComponent*> ancestorChildren;
  if (instanceAncestor != nullptr)
    instanceAncestor->GetChildren([&](TComponent* child) { ancestorChildren.push_back(child); },
                                  rootAncestor);
  std::vector<TComponent*> readerOrder = ancestorChildren;
  int position = 0;
  instance->GetChildren(
      [&](TComponent* child) {
        TComponent* childAncestor = nullptr;
        if (!child->Name().empty())
          for (TComponent* candidate : ancestorChildren)
            if (SameText(candidate->Name(), child->Name())) {
              childAncestor = candidate;
              break;
            }
        TFilerFlags flags;
        if (childAncestor != nullptr) flags.Include(ffInherited);
        if (instanceAncestor != nullptr) {
          TComponent* const marker = childAncestor != nullptr ? childAncestor : child;
          auto at = std::find(readerOrder.begin(), readerOrder.end(), marker);
          if (at == readerOrder.end()) at = readerOrder.insert(readerOrder.end(), marker);
          if (at - readerOrder.begin() != position) {
            flags.Include(ffChildPos);
            readerOrder.erase(at);
            readerOrder.insert(readerOrder.begin() + std::min<ptrdiff_t>(position, std::ssize(readerOrder)),
                               marker);
          }
        }
        WriteComponentAs(child, childAncestor, flags, position);
        ++position;
      },
      Root());
}

void TWriter::WriteProperties(TPersistent* instance) {
  for (const TPropInfo* prop : instance->ClassType().Properties()) {
    // A read-only value could never be read back; a read-only object
    // property still streams the object's own properties.
    if (prop->IsReadOnly() && prop->Kind() != tkClass) continue;
    if (prop->IsStored(*instance) && !SameAsAncestor(instance, *prop)) WriteProperty(instance, *prop);
  }
  instance->DefineProperties(*this);
}

bool TWriter::SameAsAncestor(TPersistent* instance, const TPropInfo& prop) const {
  if (ancestor == nullptr) return prop.IsDefaultValue(*instance);
  const TPropValue value = prop.GetValue(*instance);
  const TPropValue other = prop.GetValue(*ancestor);
  switch (prop.Kind()) {
    case tkClass: {
      TObject* object = std::get<TObject*>(value);
      TObject* ancestorObject = std::get<TObject*>(other);
      if (object == nullptr || ancestorObject == nullptr) return object == ancestorObject;
      auto* component = dynamic_cast<TComponent*>(object);
      auto* ancestorComponent = dynamic_cast<TComponent*>(ancestorObject);
      if (component != nullptr || ancestorComponent != nullptr)
        return component != nullptr && ancestorComponent != nullptr &&
               SameText(ReferenceName(component), ReferenceName(ancestorComponent, rootAncestor));
      // Objects of the property's own are compared property by property
      // as they are written.
      return false;
    }
    case tkMethod: {
      const TMethod& m = std::get<TMethod>(value);
      const TMethod& a = std::get<TMethod>(other);
      if (!m || !a) return !m && !a;
      return SameText(m.Code->Name(), a.Code->Name());
    }
    case tkVariant: {
      const Variant& v = std::get<Variant>(value);
      const Variant& a = std::get<Variant>(other);
      return v.VarType() == a.VarType() && (v.IsEmpty() || v.IsNull() || v == a);
    }
    case tkFloat: {
      if (prop.FloatType() == ftCurr) return std::get<Currency>(value).Scaled == std::get<Currency>(other).Scaled;
      const long double v = std::get<long double>(value);
      const long double a = std::get<long double>(other);
      return v == a || (std::isnan(v) && std::isnan(a));
    }
    default:
      return value == other;
  }
}

void TWriter::WritePropName(std::string_view name) {
  std::string full = propPath;
  full += name;
  WriteStr(full);
}

std::string TWriter::ReferenceName(TComponent* component) const { return ReferenceName(component, Root()); }

std::string TWriter::ReferenceName(TComponent* component, TComponent* root) {
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

void TWriter::WriteObjectProperties(const std::string& propName, TPersistent* object,
                                    TPersistent* objectAncestor) {
  Enter();
  const std::string savedPath = propPath;
  TPersistent* const savedAncestor = ancestor;
  propPath += propName + ".";
  ancestor = objectAncestor;
  try {
    WriteProperties(object);
  } catch (...) {
    propPath = savedPath;
    ancestor = savedAncestor;
    Leave();
    throw;
  }
  propPath = savedPath;
  ancestor = savedAncestor;
  Leave();
}

void TWriter::WriteCollection(TCollection* value) {
  Enter();
  // Items are written against their defaults even over an ancestor: a
  // reader replaces the items with new ones, which start from defaults.
  TPersistent* const savedAncestor = ancestor;
  const std::string savedPath = propPath;
  ancestor = nullptr;
  propPath.clear();  // item properties are named from the item
  try {
    WriteValue(vaCollection);
    for (int i = 0; i < value->Count(); ++i) {
      WriteListBegin();
      WriteProperties(value->Items(i));
      WriteListEnd();
    }
    WriteListEnd();
  } catch (...) {
    ancestor = savedAncestor;
    propPath = savedPath;
    Leave();
    throw;
  }
  ancestor = savedAncestor;
  propPath = savedPath;
  Leave();
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
      if (m)
        WriteIdent(m.Code->Name());
      else
        WriteValue(vaNil);  // the ancestor had one
      return;
    }
    case tkClass: {
      TObject* object = std::get<TObject*>(value);
      if (object == nullptr) {
        WritePropName(prop.Name());  // the ancestor had one
        WriteValue(vaNil);
      } else if (auto* component = dynamic_cast<TComponent*>(object)) {
        const std::string name = ReferenceName(component);
        if (name.empty()) return;  // nothing a reader could find
        WritePropName(prop.Name());
        WriteIdent(name);
      } else if (auto* collection = dynamic_cast<TCollection*>(object)) {
        auto* ancestorCollection =
            ancestor != nullptr ? dynamic_cast<TCollection*>(std::get<TObject*>(prop.GetValue(*ancestor))) : nullptr;
        if (ancestor != nullptr && CollectionsEqual(collection, ancestorCollection)) return;
        WritePropName(prop.Name());
        WriteCollection(collection);
      } else if (auto* persistent = dynamic_cast<TPersistent*>(object)) {
        TPersistent* objectAncestor = nullptr;
        if (ancestor != nullptr) {
          objectAncestor = dynamic_cast<TPersistent*>(std::get<TObject*>(prop.GetValue(*ancestor)));
          if (objectAncestor != nullptr && &objectAncestor->ClassType() != &persistent->ClassType())
            objectAncestor = nullptr;
        }
        // Without an ancestor object its properties are written as
        // against their defaults.
        WriteObjectProperties(prop.Name(), persistent, objectAncestor);
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
