#include "rtlReader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "rtlClassesConsts.h"
#include "rtlConsts.h"
#include "rtlExtended.h"
#include "rtlStrUtils.h"
#include "rtlUtf8.h"

// Hears of every component the reader keeps a pointer to, so that a
// component freed meanwhile (by a setter, a Loaded or a failed read) is
// never touched again.
class TReaderWatch : public TComponent {
public:
  explicit TReaderWatch(TReader& reader) : TComponent(nullptr), reader(reader) {}

protected:
  // The watch owns nothing and its link to the freed component is already
  // gone, so the base class has nothing left to do here.
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) reader.Forget(component);
  }

private:
  TReader& reader;
};

// One level of nesting for the time of a nested read.
class TNestingGuard {
public:
  explicit TNestingGuard(TReader& reader) : reader(reader) { reader.Enter(); }
  ~TNestingGuard() { reader.Leave(); }
  TNestingGuard(const TNestingGuard&) = delete;
  TNestingGuard& operator=(const TNestingGuard&) = delete;

private:
  TReader& reader;
};

namespace {

// Restores a reader field when a nested read ends, however it ends.
template <typename T>
class TRestore {
public:
  explicit TRestore(T& field) : field(field), saved(field) {}
  ~TRestore() { field = saved; }
  TRestore(const TRestore&) = delete;
  TRestore& operator=(const TRestore&) = delete;

private:
  T& field;
  T saved;
};

[[noreturn]] void InvalidImage() { throw EReadError(SInvalidImage); }

// A property error already worded with the property's name: a property
// read inside another's value (a collection item's) is not worded twice.
RTL_EXCEPTION_CLASS(ENamedPropertyError, EReadError);
[[noreturn]] void InvalidValue() { throw EReadError(SInvalidPropertyValue); }

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const std::vector<uint8_t>& bytes) {
  std::string out;
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) { return static_cast<uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); };
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

TReader::TReader(TStream& stream) : TFiler(stream), watch(new TReaderWatch(*this)) {}

TReader::~TReader() { Abandon(); }

// ---- raw values ----

int64_t TReader::Remaining() { return stream.Size() - stream.Position(); }

void TReader::BoundComponentsByStreamSize() {
  maxComponents = std::max<int64_t>(MaxStreamComponents, Remaining() / MinStreamComponentBytes);
}

void TReader::ReadBytes(void* buffer, int64_t count) { stream.ReadBuffer(buffer, count); }

void TReader::SkipBytes(int64_t count) {
  if (count < 0 || count > Remaining()) throw EReadError(SReadError);
  stream.Seek(count, soFromCurrent);
}

template <typename T>
T TReader::ReadLE() {
  uint8_t bytes[sizeof(T)];
  ReadBytes(bytes, sizeof(T));
  std::make_unsigned_t<T> bits = 0;
  for (size_t i = 0; i < sizeof(T); ++i) bits |= static_cast<std::make_unsigned_t<T>>(bytes[i]) << (8 * i);
  return static_cast<T>(bits);
}

int64_t TReader::ReadLength() {
  const int32_t length = ReadLE<int32_t>();
  if (length < 0 || length > Remaining()) throw EReadError(SReadError);
  return length;
}

TValueType TReader::ReadValue() {
  const auto tag = ReadLE<uint8_t>();
  if (tag > MaxValueType) InvalidImage();
  return static_cast<TValueType>(tag);
}

uint8_t TReader::PeekByte() {
  const auto byte = ReadLE<uint8_t>();
  stream.Seek(-1, soFromCurrent);
  return byte;
}

TValueType TReader::NextValue() {
  const TValueType type = ReadValue();
  stream.Seek(-1, soFromCurrent);
  return type;
}

// Components may start with a prefix byte, which is no value tag: only
// the vaNull byte itself is looked for.
bool TReader::EndOfList() { return PeekByte() == vaNull; }

void TReader::CheckValue(TValueType expected) {
  if (ReadValue() != expected) {
    stream.Seek(-1, soFromCurrent);
    InvalidValue();
  }
}

void TReader::ReadListBegin() { CheckValue(vaList); }

void TReader::ReadListEnd() { CheckValue(vaNull); }

void TReader::ReadSignature() {
  char signature[sizeof(FilerSignature)];
  ReadBytes(signature, sizeof(signature));
  if (std::memcmp(signature, FilerSignature, sizeof(signature)) != 0) InvalidImage();
}

std::string TReader::ReadStr() {
  const auto length = ReadLE<uint8_t>();
  std::string s(length, '\0');
  ReadBytes(s.data(), length);
  return s;
}

int64_t TReader::ReadInt64() {
  switch (ReadValue()) {
    case vaInt8:
      return ReadLE<int8_t>();
    case vaInt16:
      return ReadLE<int16_t>();
    case vaInt32:
      return ReadLE<int32_t>();
    case vaInt64:
      return ReadLE<int64_t>();
    default:
      stream.Seek(-1, soFromCurrent);
      InvalidValue();
  }
}

int32_t TReader::ReadInteger() {
  const int64_t value = ReadInt64();
  if (value < INT32_MIN || value > INT32_MAX) InvalidValue();
  return static_cast<int32_t>(value);
}

bool TReader::ReadBoolean() {
  const TValueType type = ReadValue();
  if (type == vaTrue) return true;
  if (type == vaFalse) return false;
  stream.Seek(-1, soFromCurrent);
  InvalidValue();
}

char TReader::ReadChar() {
  const TValueType type = NextValue();
  if (type == vaString || type == vaLString || type == vaUTF8String || type == vaWString) {
    const std::string s = ReadString();
    if (s.size() != 1) InvalidValue();
    return s[0];
  }
  const int64_t code = ReadInt64();
  if (code < 0 || code > 255) InvalidValue();
  return static_cast<char>(code);
}

long double TReader::ReadFloat() {
  switch (ReadValue()) {
    case vaExtended: {
      TExtendedBytes bytes;
      ReadBytes(bytes.data(), bytes.size());
      return ExtendedToLongDouble(bytes);
    }
    case vaSingle:
      return std::bit_cast<float>(ReadLE<uint32_t>());
    case vaDate:
      return std::bit_cast<double>(ReadLE<uint64_t>());
    case vaCurrency:
      return static_cast<long double>(ReadLE<int64_t>()) / Currency::Scale;
    default:
      stream.Seek(-1, soFromCurrent);
      return static_cast<long double>(ReadInt64());
  }
}

float TReader::ReadSingle() { return static_cast<float>(ReadFloat()); }

Currency TReader::ReadCurrency() {
  if (NextValue() == vaCurrency) {
    ReadValue();
    return Currency::FromScaled(ReadLE<int64_t>());
  }
  const long double scaled = ReadFloat() * Currency::Scale;
  if (!(scaled >= -9.2233720368547758e18L && scaled < 9.2233720368547758e18L)) InvalidValue();
  return Currency::FromScaled(static_cast<int64_t>(std::nearbyintl(scaled)));
}

TDateTime TReader::ReadDate() { return static_cast<TDateTime>(ReadFloat()); }

std::string TReader::ReadString() {
  switch (ReadValue()) {
    case vaString:
      return ReadStr();
    case vaLString:
    case vaUTF8String: {
      std::string s(static_cast<size_t>(ReadLength()), '\0');
      ReadBytes(s.data(), static_cast<int64_t>(s.size()));
      return s;
    }
    case vaWString: {
      const int32_t units = ReadLE<int32_t>();
      if (units < 0 || int64_t{units} * 2 > Remaining()) throw EReadError(SReadError);
      std::vector<uint8_t> bytes(static_cast<size_t>(units) * 2);
      ReadBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
      return WideToUtf8(bytes);
    }
    default:
      stream.Seek(-1, soFromCurrent);
      InvalidValue();
  }
}

std::string TReader::ReadIdent() {
  switch (ReadValue()) {
    case vaIdent:
      return ReadStr();
    case vaFalse:
      return "False";
    case vaTrue:
      return "True";
    case vaNil:
      return "nil";
    case vaNull:
      return "Null";
    default:
      stream.Seek(-1, soFromCurrent);
      InvalidValue();
  }
}

std::vector<uint8_t> TReader::ReadBinary() {
  CheckValue(vaBinary);
  std::vector<uint8_t> bytes(static_cast<size_t>(ReadLength()));
  ReadBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

Variant TReader::ReadVariant() {
  switch (NextValue()) {
    case vaNil:
      ReadValue();
      return Variant();
    case vaNull:
      ReadValue();
      return Variant::Null();
    case vaInt8:
    case vaInt16:
    case vaInt32:
      return Variant(ReadInteger());
    case vaInt64:
      return Variant(ReadInt64());
    case vaExtended:
    case vaSingle:
      return Variant(static_cast<double>(ReadFloat()));
    case vaCurrency:
      return Variant(ReadCurrency());
    case vaDate:
      return Variant::FromDate(ReadDate());
    case vaFalse:
    case vaTrue:
      return Variant(ReadBoolean());
    case vaString:
    case vaLString:
    case vaWString:
    case vaUTF8String:
      return Variant(ReadString());
    default:
      InvalidValue();
  }
}

void TReader::ReadPrefix(TFilerFlags& flags, int& childPos) {
  flags = {};
  childPos = 0;
  const auto byte = ReadLE<uint8_t>();
  if ((byte & 0xF0) != FilerPrefixMark) {
    stream.Seek(-1, soFromCurrent);
    return;
  }
  if ((byte & 0x0F) > 0x07) InvalidImage();
  flags = TFilerFlags::FromBits(byte & 0x07);
  if (flags.Contains(ffChildPos)) childPos = ReadInteger();
}

void TReader::Enter() {
  if (++nesting > MaxFilerNesting) {
    --nesting;
    throw EReadError(SStreamTooDeep);
  }
}

void TReader::SkipValue() {
  TNestingGuard nested(*this);
  switch (ReadValue()) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil:
      break;
    case vaList:
      while (!EndOfList()) SkipValue();
      ReadListEnd();
      break;
    case vaInt8:
      SkipBytes(1);
      break;
    case vaInt16:
      SkipBytes(2);
      break;
    case vaInt32:
    case vaSingle:
      SkipBytes(4);
      break;
    case vaInt64:
    case vaCurrency:
    case vaDate:
      SkipBytes(8);
      break;
    case vaExtended:
      SkipBytes(10);
      break;
    case vaString:
    case vaIdent:
      SkipBytes(ReadLE<uint8_t>());
      break;
    case vaBinary:
    case vaLString:
    case vaUTF8String:
      SkipBytes(ReadLength());
      break;
    case vaWString: {
      const int32_t units = ReadLE<int32_t>();
      if (units < 0) throw EReadError(SReadError);
      SkipBytes(int64_t{units} * 2);
      break;
    }
    case vaSet:
      while (!ReadStr().empty()) {
      }
      break;
    case vaCollection:
      while (!EndOfList()) {
        const TValueType type = NextValue();
        if (type == vaInt8 || type == vaInt16 || type == vaInt32) ReadInteger();
        ReadListBegin();
        while (!EndOfList()) {
          ReadStr();
          SkipValue();
        }
        ReadListEnd();
      }
      ReadListEnd();
      break;
  }
}

// ---- components ----

void TReader::Forget(TComponent* component) {
  auto it = loadedIndex.find(component);
  if (it == loadedIndex.end()) return;
  loaded[it->second] = nullptr;
  loadedIndex.erase(it);
}

size_t TReader::AddLoaded(TComponent* component) {
  const auto [it, added] = loadedIndex.emplace(component, loaded.size());
  if (added) {
    loaded.push_back(component);
    // Linked from the component's side: its own list is short, and the
    // watch's grows only at its end.
    component->FreeNotification(watch.get());
  }
  return it->second;
}

void TReader::SetCompName(TComponent* component, const std::string& name) {
  std::string newName = name;
  if (OnSetName) OnSetName(*this, component, newName);
  component->SetName(newName);
}

TComponent* TReader::ReadComponent() {
  TFilerFlags flags;
  int childPos = 0;
  ReadPrefix(flags, childPos);
  const std::string className = ReadStr();
  const std::string name = ReadStr();
  TNestingGuard nested(*this);
  if (++componentsRead > maxComponents) throw EReadError(SStreamTooManyComponents, {maxComponents});
  TComponent* component = nullptr;
  bool created = false;
  if (flags.Contains(ffInherited)) {
    component = owner != nullptr ? owner->FindComponent(name) : nullptr;
    // A component cannot be read again inside its own reading.
    if (component == nullptr || std::find(reading.begin(), reading.end(), component) != reading.end())
      throw EReadError(SAncestorNotFound, {name});
  } else {
    const TClassInfo* classInfo = GetClass(className);
    if (classInfo == nullptr || classInfo->Factory() == nullptr)
      throw EClassNotFound(SClassNotFound, {className});
    component = classInfo->Factory()(owner);
    created = true;
  }
  try {
    AddLoaded(component);
    component->SetLoading(true);
    component->SetReading(true);
    if (flags.Contains(ffInline)) component->SetInline(true);
    if (!flags.Contains(ffInherited)) SetCompName(component, name);
    if (parent != nullptr) {
      component->SetParentComponent(parent);
      if (flags.Contains(ffChildPos)) parent->SetChildOrder(component, childPos);
    }
    reading.push_back(component);
    component->ReadState(*this);
    reading.pop_back();
    component->SetReading(false);
  } catch (...) {
    if (!reading.empty() && reading.back() == component) reading.pop_back();
    if (created) component->Free();
    throw;
  }
  return component;
}

void TReader::ReadData(TComponent* instance) {
  while (!EndOfList()) ReadProperty(instance, instance);
  ReadListEnd();
  TRestore<TComponent*> savedOwner(owner);
  TRestore<TComponent*> savedParent(parent);
  owner = instance->GetChildOwner();
  if (owner == nullptr) owner = Root();
  parent = instance->GetChildParent();
  while (!EndOfList()) ReadComponent();
  ReadListEnd();
}

void TReader::PropertyError(const std::string& name) { throw EReadError(SUnknownProperty, {name}); }

namespace {

std::string PropertyErrorMessage(TComponent* component, const std::string& propName,
                                 const std::string& reason) {
  const bool named = component != nullptr && !component->Name().empty();
  return Format(SPropertyException,
                {named ? component->Name() : std::string(), named ? "." : "", propName, reason});
}

}  // namespace

void TReader::HandlePropertyError(TComponent* component, const std::string& name,
                                  const std::string& reason, int64_t valueStart) {
  const std::string message = PropertyErrorMessage(component, name, reason);
  bool handled = false;
  if (OnError) OnError(*this, message, handled);
  if (!handled) throw ENamedPropertyError(message);
  stream.SetPosition(valueStart);
  SkipValue();
}

void TReader::ReadProperty(TPersistent* instance, TComponent* component) {
  const std::string name = ReadStr();
  const int64_t valueStart = stream.Position();
  try {
    TPersistent* target = instance;
    std::string_view rest = name;
    // "Font.Name": walk the published objects to the last part.
    for (size_t dot = rest.find('.'); dot != std::string_view::npos; dot = rest.find('.')) {
      const TPropInfo* prop = target->ClassType().FindProperty(rest.substr(0, dot));
      if (prop == nullptr || prop->Kind() != tkClass) PropertyError(name);
      target = dynamic_cast<TPersistent*>(std::get<TObject*>(prop->GetValue(*target)));
      if (target == nullptr) PropertyError(name);
      rest.remove_prefix(dot + 1);
    }
    if (const TPropInfo* prop = target->ClassType().FindProperty(rest)) {
      ReadPropValue(target, component, *prop);
    } else {
      TRestore<std::string> savedName(propName);
      TRestore<bool> savedHandled(propertyHandled);
      propName = rest;
      propertyHandled = false;
      target->DefineProperties(*this);
      if (!propertyHandled) PropertyError(name);
    }
  } catch (const ENamedPropertyError&) {
    throw;
  } catch (const Exception& e) {
    HandlePropertyError(component, name, e.Message, valueStart);
  }
}

TMethod TReader::FindMethod(const std::string& methodName) {
  TMethod method;
  if (Root() != nullptr) {
    method.Code = Root()->ClassType().FindMethod(methodName);
    if (method.Code != nullptr) method.Data = Root();
  }
  bool error = method.Code == nullptr;
  if (OnFindMethod) OnFindMethod(*this, methodName, method, error);
  if (error) InvalidValue();
  return method;
}

void TReader::ReadPropValue(TPersistent* instance, TComponent* component, const TPropInfo& prop) {
  switch (prop.Kind()) {
    case tkInteger:
    case tkInt64:
      if (NextValue() == vaIdent) {
        const std::string ident = ReadIdent();
        if (prop.Idents() != nullptr)
          for (const TIdentMapEntry& e : *prop.Idents())
            if (SameText(e.Name, ident)) return prop.SetValue(*instance, e.Value);
        InvalidValue();
      }
      return prop.SetValue(*instance, ReadInt64());
    case tkChar:
      return prop.SetValue(*instance, int64_t{ReadChar()});
    case tkEnumeration: {
      const TValueType type = NextValue();
      if (type == vaInt8 || type == vaInt16 || type == vaInt32 || type == vaInt64)
        return prop.SetValue(*instance, ReadInt64());
      const int value = prop.EnumType()->ValueOf(ReadIdent());
      if (value < 0) InvalidValue();
      return prop.SetValue(*instance, int64_t{value});
    }
    case tkSet: {
      CheckValue(vaSet);
      uint64_t bits = 0;
      for (std::string element = ReadStr(); !element.empty(); element = ReadStr()) {
        const int value = prop.EnumType()->ValueOf(element);
        if (value < 0 || value >= 64) InvalidValue();
        bits |= uint64_t{1} << value;
      }
      return prop.SetValue(*instance, static_cast<int64_t>(bits));
    }
    case tkFloat:
      if (prop.FloatType() == ftCurr) return prop.SetValue(*instance, ReadCurrency());
      return prop.SetValue(*instance, ReadFloat());
    case tkString:
      return prop.SetValue(*instance, ReadString());
    case tkVariant:
      return prop.SetValue(*instance, ReadVariant());
    case tkMethod:
      if (NextValue() == vaNil) {
        ReadValue();
        return prop.SetValue(*instance, TMethod{});
      }
      return prop.SetValue(*instance, FindMethod(ReadIdent()));
    case tkClass:
      if (NextValue() == vaNil) {
        ReadValue();
        return prop.SetValue(*instance, static_cast<TObject*>(nullptr));
      }
      if (NextValue() == vaCollection) {
        auto* collection = dynamic_cast<TCollection*>(std::get<TObject*>(prop.GetValue(*instance)));
        if (collection == nullptr) InvalidValue();
        return ReadCollection(collection, component);
      }
      if (NextValue() != vaIdent) InvalidValue();
      // Resolved once the whole stream is read: it may name a component
      // that comes later.
      fixups.push_back({AddLoaded(component), instance, &prop, ReadIdent()});
      return;
  }
}

void TReader::ReadCollection(TCollection* collection, TComponent* component) {
  TNestingGuard nested(*this);
  CheckValue(vaCollection);
  collection->BeginUpdate();
  try {
    // An empty value clears too: it is what an emptied collection writes,
    // also over an ancestor that had items.
    ForgetFixupsIn(collection);
    collection->Clear();
    while (!EndOfList()) {
      // The item's index, which older writers put there, places nothing.
      const TValueType type = NextValue();
      if (type == vaInt8 || type == vaInt16 || type == vaInt32) ReadInteger();
      TCollectionItem* item = collection->Add();
      ReadListBegin();
      while (!EndOfList()) ReadProperty(item, component);
      ReadListEnd();
    }
    ReadListEnd();
  } catch (...) {
    collection->EndUpdate();
    throw;
  }
  collection->EndUpdate();
}

namespace {

// True when target is holder or an object that holder's published object
// properties hold (collections through their items), components aside.
bool HoldsObject(TPersistent* holder, const TPersistent* target, int depth) {
  if (holder == target) return true;
  if (depth > MaxFilerNesting) return false;
  if (auto* collection = dynamic_cast<TCollection*>(holder)) {
    for (int i = 0; i < collection->Count(); ++i)
      if (HoldsObject(collection->Items(i), target, depth + 1)) return true;
    return false;
  }
  for (const TPropInfo* prop : holder->ClassType().Properties()) {
    if (prop->Kind() != tkClass) continue;
    auto* object = dynamic_cast<TPersistent*>(std::get<TObject*>(prop->GetValue(*holder)));
    if (object == nullptr || dynamic_cast<TComponent*>(object) != nullptr) continue;
    if (HoldsObject(object, target, depth + 1)) return true;
  }
  return false;
}

}  // namespace

void TReader::ForgetFixupsIn(TCollection* collection) {
  std::erase_if(fixups, [collection](const TFixup& fixup) {
    return fixup.instance != collection && HoldsObject(collection, fixup.instance, 0);
  });
}

void TReader::DefineProperty(const std::string& name, const TReaderProc& readData,
                             const TWriterProc& /*writeData*/, bool /*hasData*/) {
  if (propertyHandled || !readData || !SameText(name, propName)) return;
  readData(*this);
  propertyHandled = true;
}

void TReader::DefineBinaryProperty(const std::string& name, const TStreamProc& readData,
                                   const TStreamProc& /*writeData*/, bool /*hasData*/) {
  if (propertyHandled || !readData || !SameText(name, propName)) return;
  const std::vector<uint8_t> bytes = ReadBinary();
  TMemoryStream data;
  data.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  data.SetPosition(0);
  readData(data);
  propertyHandled = true;
}

// ---- whole streams ----

TComponent* FindNestedComponent(TComponent* root, std::string_view namePath) {
  TComponent* result = root;
  bool first = true;
  while (result != nullptr && !namePath.empty()) {
    const size_t dot = namePath.find('.');
    const std::string_view part = namePath.substr(0, dot);
    TComponent* found = result->FindComponent(part);
    if (found == nullptr && first && SameText(root->Name(), part)) found = root;
    result = found;
    first = false;
    namePath = dot == std::string_view::npos ? std::string_view() : namePath.substr(dot + 1);
  }
  return result;
}

void TReader::FixupReferences() {
  for (TComponent* c : loaded)
    if (c != nullptr) c->SetFixups(true);
  // Setters may free components: a fixup whose component is gone is
  // skipped.
  for (size_t i = 0; i < fixups.size(); ++i) {
    const TFixup fixup = fixups[i];
    TComponent* holder = loaded[fixup.component];
    if (holder == nullptr) continue;
    TComponent* target = FindNestedComponent(Root(), fixup.name);
    if (target == nullptr) continue;
    try {
      fixup.prop->SetValue(*fixup.instance, target);
    } catch (const Exception& e) {
      const std::string message = PropertyErrorMessage(holder, fixup.prop->Name(), e.Message);
      bool handled = false;
      if (OnError) OnError(*this, message, handled);
      if (!handled) throw EReadError(message);
    }
  }
  for (TComponent* c : loaded)
    if (c != nullptr) c->SetFixups(false);
}

void TReader::CallLoaded() {
  // By index: a Loaded may free a later component (its entry turns nullptr).
  for (size_t i = 0; i < loaded.size(); ++i)
    if (TComponent* c = loaded[i]) c->Loaded();
}

void TReader::Abandon() {
  // Last first, so that each link is found at the end of the watch's list.
  for (auto it = loaded.rbegin(); it != loaded.rend(); ++it) {
    TComponent* c = *it;
    if (c == nullptr) continue;
    c->SetReading(false);
    c->SetLoading(false);
    c->SetFixups(false);
    c->RemoveFreeNotification(watch.get());
  }
  loaded.clear();
  loadedIndex.clear();
  componentsRead = 0;
  fixups.clear();
  reading.clear();
}

TComponent* TReader::ReadRootComponent(TComponent* root) {
  ReadSignature();
  TFilerFlags flags;
  int childPos = 0;
  ReadPrefix(flags, childPos);
  const std::string className = ReadStr();
  const std::string name = ReadStr();
  bool created = false;
  if (root == nullptr) {
    const TClassInfo& classInfo = FindClass(className);
    if (classInfo.Factory() == nullptr) throw EClassNotFound(SClassNotFound, {className});
    root = classInfo.Factory()(nullptr);
    created = true;
  }
  TRestore<TComponent*> savedOwner(owner);
  TRestore<TComponent*> savedParent(parent);
  try {
    SetRoot(root);
    owner = root;
    parent = nullptr;
    AddLoaded(root);
    root->SetLoading(true);
    root->SetReading(true);
    SetCompName(root, name);
    {
      TNestingGuard nested(*this);
      reading.push_back(root);
      root->ReadState(*this);
      reading.pop_back();
    }
    root->SetReading(false);
    FixupReferences();
    CallLoaded();
  } catch (...) {
    if (created) root->Free();
    Abandon();
    throw;
  }
  Abandon();
  return root;
}

void TReader::ReadComponents(TComponent* newOwner, TComponent* newParent,
                             const std::function<void(TComponent* component)>& proc) {
  TRestore<TComponent*> savedOwner(owner);
  TRestore<TComponent*> savedParent(parent);
  SetRoot(newOwner);
  owner = newOwner;
  parent = newParent;
  try {
    // Each component starts with its signature; a vaNull or the end of
    // the stream ends the run.
    while (Remaining() > 0 && !EndOfList()) {
      ReadSignature();
      TComponent* component = ReadComponent();
      if (proc) proc(component);
    }
    if (Remaining() > 0) ReadListEnd();
    FixupReferences();
    CallLoaded();
  } catch (...) {
    Abandon();
    throw;
  }
  Abandon();
}
