#pragma once
// The structure a table is to have after a restructure: its fields and its
// indexes, loaded from the table's current structure, edited, or filled by
// a program, then turned into the engine's descriptors.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbTypes.h"
#include "engFieldDefinition.h"
#include "engIndexDefinition.h"
#include "rtlClasses.h"

// The table's current descriptors, as the lists load them.
struct TMDBTableDescriptors {
  std::vector<TFieldDefinition> Fields;
  std::vector<TIndexDefinition> Indexes;  // slots 0 .. last secondary
  bool PrimaryIsNatural = true;
};

// Where the lists read the table's current structure (the table component).
class TMDBStructureSource {
public:
  virtual void ReadTableDescriptors(TMDBTableDescriptors& descriptors) = 0;

protected:
  ~TMDBStructureSource() = default;
};

class TRestructureFieldDefs;
class TRestructureIndexDefs;

class TRestructureFieldDef : public TObject {
  RTL_DECLARE_CLASS(TRestructureFieldDef, TObject)

  TRestructureFieldDefs& Owner() const { return owner; }
  const std::string& Name() const { return name; }
  TFieldType DataType() const { return dataType; }
  void SetDataType(TFieldType value);
  bool Required() const { return required; }
  void SetRequired(bool value);
  uint16_t Size() const { return size; }
  int32_t FieldNo() const { return fieldNo; }
  const std::string& DefaultValue() const { return defaultValue; }
  const std::string& MinValue() const { return minValue; }
  const std::string& MaxValue() const { return maxValue; }
  const std::string& Description() const { return description; }
  // 0 as typed, 1 lower case, 2 upper case.
  uint8_t CharCase() const { return charCase; }

private:
  friend class TRestructureFieldDefs;
  TRestructureFieldDef(TRestructureFieldDefs& owner) : owner(owner) {}

  TRestructureFieldDefs& owner;
  std::string name;
  TFieldType dataType = ftUnknown;
  bool required = false;
  uint16_t size = 0;
  int32_t fieldNo = 0;
  std::string defaultValue;
  std::string minValue;
  std::string maxValue;
  std::string description;
  uint8_t charCase = 0;
};

class TRestructureFieldDefs : public TObject {
  RTL_DECLARE_CLASS(TRestructureFieldDefs, TObject)

  explicit TRestructureFieldDefs(TMDBStructureSource& table) : table(table) {}

  // Inserts at index (0 .. Count). Refuses a size the type cannot take
  // ("Invalid field size"), an empty name and a name present in any
  // letter case.
  TRestructureFieldDef* Add(int index, const std::string& name, int32_t fieldNo, uint8_t charCase,
                            const std::string& description, const std::string& maxValue,
                            const std::string& minValue, const std::string& defaultValue, bool required,
                            uint16_t size, TFieldType dataType);
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(items.size()); }
  TRestructureFieldDef* Items(int index) const;
  int IndexOf(const std::string& name) const;
  // "Field '%s' not found" when absent.
  TRestructureFieldDef* FindFieldDef(const std::string& name) const;

  // Loads the table's current fields unless already loaded since the last
  // change.
  void Update();
  bool Updated() const { return updated; }
  void MarkNotUpdated() { updated = false; }

private:
  friend class TRestructureFieldDef;
  TMDBStructureSource& table;
  std::vector<std::unique_ptr<TRestructureFieldDef>> items;
  bool updated = false;
};

// "Invalid field size" unless the size suits the type.
void CheckFieldSize(TFieldType dataType, int size);

class TRestructureIndexDef : public TObject {
  RTL_DECLARE_CLASS(TRestructureIndexDef, TObject)

  TRestructureIndexDefs& Owner() const { return owner; }
  const std::string& Name() const { return name; }
  // Field names separated by ";".
  const std::string& Fields() const { return fields; }
  void SetFields(const std::string& value);
  TIndexOptions Options() const { return options; }
  void SetOptions(TIndexOptions value);
  uint8_t Compression() const { return compression; }
  void SetCompression(uint8_t value);

private:
  friend class TRestructureIndexDefs;
  TRestructureIndexDef(TRestructureIndexDefs& owner) : owner(owner) {}

  TRestructureIndexDefs& owner;
  std::string name;
  std::string fields;
  TIndexOptions options;
  uint8_t compression = 0;
};

class TRestructureIndexDefs : public TObject {
  RTL_DECLARE_CLASS(TRestructureIndexDefs, TObject)

  TRestructureIndexDefs(TMDBStructureSource& table, TRestructureFieldDefs& fieldDefs)
      : table(table), fieldDefs(fieldDefs) {}

  // "Duplicate index name '%s'" for a name present in any letter case.
  TRestructureIndexDef* Add(const std::string& name, const std::string& fields, uint8_t compression,
                            TIndexOptions options);
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(items.size()); }
  TRestructureIndexDef* Items(int index) const;
  int IndexOf(const std::string& name) const;

  // Loads the table's current indexes (and first its fields) unless
  // already loaded since the last change.
  void Update();
  bool Updated() const { return updated; }
  void MarkNotUpdated() { updated = false; }

private:
  friend class TRestructureIndexDef;
  TMDBStructureSource& table;
  TRestructureFieldDefs& fieldDefs;
  std::vector<std::unique_ptr<TRestructureIndexDef>> items;
  bool updated = false;
};

// The engine descriptors of the lists: fields numbered by their FieldNo (a
// field without one, FieldNo 0, numbered after the highest),
// the primary index first (an empty natural-order slot when none is
// primary). "Field '%s' not found" for an index field no definition has.
struct TMDBRestructureDescriptors {
  std::vector<TFieldDefinition> Fields;
  // The primary first; one without fields keeps natural order.
  std::vector<TIndexDefinition> Indexes;
};
void BuildRestructureDescriptors(const TRestructureFieldDefs& fieldDefs, const TRestructureIndexDefs& indexDefs,
                                 TMDBRestructureDescriptors& descriptors);
