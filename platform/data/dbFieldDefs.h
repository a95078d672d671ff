#pragma once
// Field definitions: what the dataset's data holds (name, type, size,
// required, field number), from which fields are created and bound and
// tables are created. The dataset fills them on demand (InitFieldDefs).

#include <memory>
#include <string>
#include <vector>

#include "dbTypes.h"
#include "rtlClasses.h"

class TFieldDefs;

class TFieldDef : public TPersistent {
  RTL_DECLARE_CLASS(TFieldDef, TPersistent)

  TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType dataType, int size, bool required, int fieldNo);

  TFieldDefs* Collection() const { return owner; }
  const std::string& Name() const { return name; }
  void SetName(const std::string& value);
  TFieldType DataType() const { return dataType; }
  void SetDataType(TFieldType value);
  int Size() const { return size; }
  void SetSize(int value);
  bool Required() const { return required; }
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
  int Index() const;

  // A field of the type's class for this definition, owned by owner, in
  // the collection's dataset; raises for types no field class serves.
  TField* CreateField(TComponent* owner) const;

  void Assign(const TPersistent* source) override;
  // Same name (exactly), type, size, required flag and precision.
  bool SameAs(const TFieldDef& other) const;

private:
  TFieldDefs* owner;
  std::string name;
  TFieldType dataType;
  int size;
  bool required;
  int fieldNo;
  int precision = 0;
  bool internalCalcField = false;

  void Changed();
};

class TFieldDefs : public TPersistent {
  RTL_DECLARE_CLASS(TFieldDefs, TPersistent)

  explicit TFieldDefs(TDataSet* dataSet);
  ~TFieldDefs() override;

  TDataSet* DataSet() const { return dataSet; }
  int Count() const { return static_cast<int>(items.size()); }
  // EDatabaseError "Field index out of range" for a bad index.
  TFieldDef* Items(int index) const;
  TFieldDef* operator[](int index) const { return Items(index); }

  // Appends a definition numbered by its position. An empty name raises
  // "Field name missing", a name present in any letter case "Duplicate
  // field name '%s'".
  TFieldDef* Add(const std::string& name, TFieldType dataType, int size = 0, bool required = false);
  // The same with a field number of the dataset's choosing.
  TFieldDef* AddNumbered(const std::string& name, TFieldType dataType, int size, bool required, int fieldNo);
  void Delete(int index);
  void Clear();
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

  void Assign(const TPersistent* source) override;
  // Pairwise SameAs, in order.
  bool SameAs(const TFieldDefs& other) const;

private:
  TDataSet* dataSet;
  std::vector<TObjectPtr<TFieldDef>> items;
  bool updated = false;

  friend class TFieldDef;
  void Changed();
  void CheckNewName(const std::string& name, const TFieldDef* except) const;
};

class TIndexDefs;

class TIndexDef : public TPersistent {
  RTL_DECLARE_CLASS(TIndexDef, TPersistent)

  TIndexDef(TIndexDefs* owner, const std::string& name, const std::string& fields, TIndexOptions options);

  TIndexDefs* Collection() const { return owner; }
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
  int Index() const;

  void Assign(const TPersistent* source) override;
  // Same name, fields and options, texts compared exactly (as their
  // streamed forms would be).
  bool SameAs(const TIndexDef& other) const;

private:
  TIndexDefs* owner;
  std::string name;
  std::string fields;
  TIndexOptions options;
  std::string caseInsFields;
  std::string descFields;

  void Changed();
};

class TIndexDefs : public TPersistent {
  RTL_DECLARE_CLASS(TIndexDefs, TPersistent)

  explicit TIndexDefs(TDataSet* dataSet);
  ~TIndexDefs() override;

  TDataSet* DataSet() const { return dataSet; }
  int Count() const { return static_cast<int>(items.size()); }
  TIndexDef* Items(int index) const;
  TIndexDef* operator[](int index) const { return Items(index); }

  // "Duplicate index name '%s'" when the name is present in any letter case.
  TIndexDef* Add(const std::string& name, const std::string& fields, TIndexOptions options);
  void Delete(int index);
  void Clear();
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

  void Assign(const TPersistent* source) override;
  bool SameAs(const TIndexDefs& other) const;

private:
  TDataSet* dataSet;
  std::vector<TObjectPtr<TIndexDef>> items;
  bool updated = false;

  friend class TIndexDef;
  void Changed();
};

// Splits "A;B;C" into the names, blanks around each removed, empty names
// skipped.
std::vector<std::string> SplitFieldNames(const std::string& names);
