#pragma once
// Writes components to the binary object stream: published properties that
// are stored, writable (or objects) and differ from their defaults, the
// properties components define themselves, then the children their
// GetChildren names. An object property writes a component as a reference
// by name and any other persistent object as its own properties
// ("Font.Name"), and a collection as one value of its items; a reference
// to a component a reader could not find by name (unnamed, or owned by an
// unnamed one) is left out.
//
// Descendants: WriteDescendent writes a component as it differs from an
// ancestor of the same class (a component read from the ancestor's stream,
// then changed). Each property is compared with the ancestor's value
// instead of its default; children found among the ancestor's children (by
// name) carry the inherited flag, and a child that a reader would not put
// at its position by itself carries that position. Reading the result over
// a copy of the ancestor gives the descendant back.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtlCollections.h"
#include "rtlCurrency.h"
#include "rtlDateTime.h"
#include "rtlFiler.h"
#include "rtlTypeInfo.h"

class TWriter : public TFiler {
public:
  explicit TWriter(TStream& stream) : TFiler(stream) {}

  // The signature and the component, which becomes the root.
  void WriteRootComponent(TComponent* root);
  // The signature and root as a descendant of ancestor (nullptr: as
  // WriteRootComponent). An ancestor of another class is refused
  // (EWriteError).
  void WriteDescendent(TComponent* root, TComponent* ancestor);
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
  // vaCollection, each item's properties as a list, the end of the list.
  void WriteCollection(TCollection* value);
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
  TComponent* rootAncestor = nullptr;

  // One component (prefix, class, name, properties, children); the
  // component is in csWriting meanwhile. WriteState does the data part.
  void WriteComponentAs(TComponent* component, TComponent* componentAncestor, TFilerFlags flags,
                        int childPos);
  void WriteChildren(TComponent* instance, TComponent* instanceAncestor);
  void WriteProperties(TPersistent* instance);
  void WriteProperty(TPersistent* instance, const TPropInfo& prop);
  // True when the property holds what the ancestor's holds (without an
  // ancestor: its default), so that it is left out.
  bool SameAsAncestor(TPersistent* instance, const TPropInfo& prop) const;
  void WriteObjectProperties(const std::string& propName, TPersistent* object,
                             TPersistent* objectAncestor);
  void Enter();
  void Leave() { --nesting; }
  void WritePropName(std::string_view name);
  void WriteBytes(const void* data, size_t count);
  template <typename T>
  void WriteLE(T value);
  // The name by which a reader finds the component from the root.
  std::string ReferenceName(TComponent* component) const;
  static std::string ReferenceName(TComponent* component, TComponent* root);
};
