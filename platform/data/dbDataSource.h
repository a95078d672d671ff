#pragma once
// TDataSource joins a dataset to data links: controls, the report's
// pipelines and detail datasets each hold a TDataLink on a source, and the
// source passes every data event of its dataset on to them. A link asks for
// as many record buffers as it shows (BufferCount); the dataset's ring is
// the largest any link asks for, and each link sees its own window of it
// (BufferCount records from the link's first record) that follows the
// active record.

#include <functional>
#include <string>
#include <vector>

#include "dbTypes.h"
#include "rtlClasses.h"

class TDataLink;

using TDataChangeEvent = TEvent<void(TDataSource* sender, TField* field)>;

class TDataSource : public TComponent {
  RTL_DECLARE_CLASS(TDataSource, TComponent)

  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataSet; }
  // "Circular datalinks are not allowed" when the dataset is fed by this
  // source itself.
  void SetDataSet(TDataSet* value);
  // A disabled source tells its links the dataset is inactive.
  bool Enabled() const { return enabled; }
  void SetEnabled(bool value);
  // Whether a control's edit puts the dataset into edit state.
  bool AutoEdit() const { return autoEdit; }
  void SetAutoEdit(bool value) { autoEdit = value; }
  TDataSetState State() const { return state; }
  // Puts the dataset into edit state when AutoEdit allows.
  void Edit();
  // Whether dataSet is this source's dataset or fed by it through masters.
  bool IsLinkedTo(const TDataSet* dataSet) const;

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

  const std::vector<TDataLink*>& DataLinks() const { return dataLinks; }

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  TDataSet* dataSet = nullptr;
  std::vector<TDataLink*> dataLinks;
  TDataSetState state = dsInactive;
  bool enabled = true;
  bool autoEdit = true;

  friend class TDataSet;
  friend class TDataLink;
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);
  // Called by the dataset; passes the event to the links (details first).
  void DataEvent(TDataEvent event, intptr_t info);
  void UpdateState();
  void SetState(TDataSetState value);
  void NotifyDataLinks(TDataEvent event, intptr_t info);
};

// One client's view of a data source. Subclasses override the notification
// methods they need.
class TDataLink : public TPersistent {
  RTL_DECLARE_CLASS(TDataLink, TPersistent)

  TDataLink();
  ~TDataLink() override;

  TDataSource* DataSource() const { return dataSource; }
  void SetDataSource(TDataSource* value);
  TDataSet* DataSet() const;
  // The source's dataset is open and the source enabled.
  bool Active() const { return active; }
  bool Editing() const { return editing; }
  bool ReadOnly() const { return readOnly; }
  void SetReadOnly(bool value);

  // The records this link shows; setting it may enlarge the dataset's ring.
  int BufferCount() const { return bufferCount; }
  void SetBufferCount(int value);
  // The dataset's active record within this link's window (0 based).
  int ActiveRecord() const;
  // Makes a record of the window the dataset's active record, so fields
  // read it (a grid painting its rows).
  void SetActiveRecord(int value);
  // Records of the window that hold data.
  int RecordCount() const;

  // Puts the dataset into edit state (through the source's AutoEdit).
  bool Edit();
  // Writes a pending change of the control into its field.
  void UpdateRecord();
  int MoveBy(int distance);

  // A detail dataset fed by this link, for circular-link checks.
  virtual TDataSet* GetDetailDataSet() const { return nullptr; }

protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField** /*field*/) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void UpdateData() {}

private:
  TDataSource* dataSource = nullptr;
  int firstRecord = 0;
  int bufferCount = 1;
  bool active = false;
  bool editing = false;
  bool readOnly = false;
  bool updating = false;

  friend class TDataSource;
  friend class TDataSet;
  void DataEvent(TDataEvent event, intptr_t info);
  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);
  // Keeps the window within the ring and around the active record.
  void UpdateRange();
};

// A link to one field by name: what a data-aware control holds.
class TFieldDataLink : public TDataLink {
  RTL_DECLARE_CLASS(TFieldDataLink, TDataLink)

  TFieldDataLink() = default;

  const std::string& FieldName() const { return fieldName; }
  void SetFieldName(const std::string& value);
  // The field of that name while the dataset is open; nullptr otherwise,
  // also when the dataset has no such field.
  TField* Field() const { return field; }
  bool CanModify() const;
  // Tells the link the control changed its value (and starts editing).
  void Modified();
  bool IsModified() const { return modified; }

  TNotifyEvent OnDataChange;
  TNotifyEvent OnEditingChange;
  TNotifyEvent OnUpdateData;
  TNotifyEvent OnActiveChange;

protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;
  void UpdateData() override;

private:
  std::string fieldName;
  TField* field = nullptr;
  bool modified = false;

  void UpdateField();
  void SetField(TField* value);
};
