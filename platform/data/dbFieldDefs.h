#pragma once
// Field definitions: what the dataset's data holds (name, type, size,
// required, field number), from which fields are created and bound and
// tables are created. The dataset fills them on demand (InitFieldDefs).

#include <string>
#include <vector>

#include "dbTypes.h"
#include "rtlCollections.h"

class TFieldDefs;

// Streams write the definitions as collections (a table that stores its
// definitions): each item its published Name, Attributes, DataType,
// Precision and Size.
class TFieldDef : public TCollectionItem {
  RTL_DECLARE_CLASS(TFieldDef, TCollectionItem)

  // Joins collection (a TFieldDefs) at its end, numbered by its position.
  explicit TFieldDef(TCollection* collection);

  TFieldDefs* Collection() const;
  const std::string& Name() const { return name; }
  void SetName(const std::string& value);
  TFieldType DataType() const { return dataType; }
  void SetDataType(TFieldType value);
  int Size() const { return size; }
  void SetSize(int value);
  TFieldAttributes Attributes() const { return attributes; }
  void SetAttributes(TFieldAttributes value);
  bool Required() const { return attributes.Contains(faRequired); }
  void SetRequired(bool value);
  // Digits of a BCD value; 0 otherwise.
  int Precision() const { return precision; }
  void SetPrecision(int value);
  // From 1; the dataset's own numbering of its data.
  int FieldNo() const { return fieldNo; }
  void SetFieldNo(int value) { fieldNo = value; }
  // A field whose value the dataset computes and keeps in the record.
  bool InternalCalcField() const { return internalCalcField; }
  void SetInternalCalcField(bool value);
  std::string GetDisplayName() const override { return name; }

  // A field of the type's class for this definition, owned by owner, in
  // the collection's dataset; raises for types no field class serves.
  TField* CreateField(TComponent* owner) const;

  void Assign(const TPersistent* source) override;
  // Same name (exactly), type, size, attributes and precision.
  bool SameAs(const TFieldDef& other) const;

private:
  friend class TFieldDefs;
  std::string name;
  TFieldType dataType = ftUnknown;
  int size = 0;
  TFieldAttributes attributes;
  int fieldNo;
  int precision = 0;
  bool internalCalcField = false;
};

class TFieldDefs : public TCollection {
  RTL_DECLARE_CLASS(TFieldDefs, TCollection)

  explicit TFieldDefs(TDataSet* dataSet);
  ~TFieldDefs() override;

  TDataSet* DataSet() const { return dataSet; }
  // EDatabaseError "Field index out of range" for a bad index.
  TFieldDef* Items(int index) const;
  TFieldDef* operator[](int index) const { return Items(index); }

  // Appends a definition numbered by its position. An empty name raises
  // "Field name missing", a name present in any letter case "Duplicate
  // field name '%s'".
  TFieldDef* Add(const std::string& name, TFieldType dataType, int size = 0, bool required = false);
  // The same with a field number of the dataset's choosing.
  TFieldDef* AddNumbered(const std::string& name, TFieldType dataType, int size, bool required, int fieldNo);
  // -1 when absent; names compare ignoring case.
  int IndexOf(const std::string& name) const;
  TFieldDef* FindDef(const std::string& name) const;
  // "Field '%s' not found" when absent.
  TFieldDef* Find(const std::string& name) const;

  // Brought up to date from the dataset unless already so; any change and
  // the dataset's property-change event mark them out of date.
  void Update();
  bool Updated() const { return updated; }
  void SetUpdated(bool value) { updated = value; }

  // Pairwise SameAs, in order.
  bool SameAs(const TFieldDefs& other) const;

protected:
  // Any change: out of date, and the dataset is told.
  void Update(TCollectionItem* item) override;

private:
  TDataSet* dataSet;
  bool updated = false;

  friend class TFieldDef;
  void CheckNewName(const std::string& name, const TFieldDef* except) const;
};

class TIndexDefs;

// Streamed as a collection item: Name, Fields, Options, CaseInsFields,
// DescFields.
class TIndexDef : public TCollectionItem {
  RTL_DECLARE_CLASS(TIndexDef, TCollectionItem)

  explicit TIndexDef(TCollection* collection);

  TIndexDefs* Collection() const;
  const std::string& Name() const { return name; }
  void SetName(const std::string& value);
  // Field names separated by ";".
  const std::string& Fields() const { return fields; }
  void SetFields(const std::string& value);
  TIndexOptions Options() const { return options; }
  void SetOptions(TIndexOptions value);
  // Names of the fields compared without regard to case and in descending
  // order, for indexes that choose per field; empty otherwise.
  const std::string& CaseInsFields() const { return caseInsFields; }
  void SetCaseInsFields(const std::string& value);
  const std::string& DescFields() const { return descFields; }
  void SetDescFields(const std::string& value);
  std::string GetDisplayName() const override { return name; }

  void Assign(const TPersistent* source) override;
  // Same name, fields and options, texts compared exactly (as their
  // streamed forms would be).
  bool SameAs(const TIndexDef& other) const;

private:
  std::string name;
  std::string fields;
  TIndexOptions options;
  std::string caseInsFields;
  std::string descFields;
};

class TIndexDefs : public TCollection {
  RTL_DECLARE_CLASS(TIndexDefs, TCollection)

  explicit TIndexDefs(TDataSet* dataSet);
  ~TIndexDefs() override;

  TDataSet* DataSet() const { return dataSet; }
  TIndexDef* Items(int index) const;
  TIndexDef* operator[](int index) const { return Items(index); }

  // "Duplicate index name '%s'" when the name is present in any letter case.
  TIndexDef* Add(const std::string& name, const std::string& fields, TIndexOptions options);
  int IndexOf(const std::string& name) const;
  // "Index '%s' not found" when absent.
  TIndexDef* Find(const std::string& name) const;
  // The first index whose fields begin with the given ones (ignoring case)
  // and whose case-insensitivity matches; nullptr when none.
  TIndexDef* GetIndexForFields(const std::string& fields, bool caseInsensitive) const;
  // The first index whose fields are exactly these; "No index for fields
  // '%s'" when none.
  TIndexDef* FindIndexForFields(const std::string& fields) const;

  void Update();
  bool Updated() const { return updated; }
  void SetUpdated(bool value) { updated = value; }

  bool SameAs(const TIndexDefs& other) const;

protected:
  void Update(TCollectionItem* item) override;

private:
  TDataSet* dataSet;
  bool updated = false;
};

// Splits "A;B;C" into the names, blanks around each removed, empty names
// skipped.
std::vector<std::string> SplitFieldNames(const std::string& names);
