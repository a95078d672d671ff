#pragma once
// Writes components to the binary object stream: published properties that
// are stored, writable (or objects) and differ from their defaults, the
// properties components define themselves, then the children their
// GetChildren names. An object property writes a component as a reference
// by name and any other persistent object as its own properties
// ("Font.Name"); a reference to a component a reader could not find by
// name (unnamed, or owned by an unnamed one) is left out.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtlCurrency.h"
#include "rtlDateTime.h"
#include "rtlFiler.h"
#include "rtlTypeInfo.h"

class TWriter : public TFiler {
public:
  explicit TWriter(TStream& stream) : TFiler(stream) {}

  // The signature and the component, which becomes the root.
  void WriteRootComponent(TComponent* root);
  // One component (prefix, class, name, properties, children); the
  // component is in csWriting meanwhile. WriteState does the data part.
  void WriteComponent(TComponent* component);
  // The properties, the end of the list, the children and their end.
  void WriteData(TComponent* instance);
  void WriteSignature();

  void DefineProperty(const std::string& name, const TReaderProc& readData,
                      const TWriterProc& writeData, bool hasData) override;
  void DefineBinaryProperty(const std::string& name, const TStreamProc& readData,
                            const TStreamProc& writeData, bool hasData) override;

  // Values, each with its tag. Integers take the smallest tag that holds
  // them; strings up to 255 bytes are short strings.
  void WriteInteger(int64_t value);
  void WriteBoolean(bool value);
  void WriteChar(char value);
  void WriteFloat(long double value);
  void WriteSingle(float value);
  void WriteCurrency(Currency value);
  void WriteDate(TDateTime value);
  void WriteString(std::string_view value);
  void WriteIdent(std::string_view ident);
  // EWriteError for variants that have no stream form (arrays).
  void WriteVariant(const Variant& value);
  void WriteListBegin();
  void WriteListEnd();
  void WriteBinary(const void* data, size_t count);
  // A bare tag, and a short string (a length byte and at most 255 bytes).
  void WriteValue(TValueType type);
  void WriteStr(std::string_view s);
  // The prefix byte of a component with flags (and its child position).
  void WritePrefix(TFilerFlags flags, int childPos);

private:
  // The path of the persistent object whose properties are being written
  // ("Font." while writing the properties of a component's Font).
  std::string propPath;
  int nesting = 0;

  void WriteProperties(TPersistent* instance);
  void WriteProperty(TPersistent* instance, const TPropInfo& prop);
  void WritePropName(std::string_view name);
  void WriteBytes(const void* data, size_t count);
  template <typename T>
  void WriteLE(T value);
  // The name by which a reader finds the component from the root.
  std::string ReferenceName(TComponent* component) const;
};
