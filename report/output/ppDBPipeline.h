#pragma once
// The data pipeline over a dataset of the dataset framework, reached
// through a TDataSource. Field descriptors are made from the dataset's
// fields when it opens (AutoCreateFields).

#include "ppDataPipeline.h"

class TDataSet;
class TDataSource;

class TppDBPipeline : public TppDataPipeline {
  RTL_DECLARE_CLASS(TppDBPipeline, TppDataPipeline)

  explicit TppDBPipeline(TComponent* owner);
  ~TppDBPipeline() override;

  TDataSource* DataSource() const { return dataSource; }
  void SetDataSource(TDataSource* value);
  bool AutoCreateFields() const { return autoCreateFields; }
  void SetAutoCreateFields(bool value) { autoCreateFields = value; }
  bool OpenDataSource() const { return openDataSource; }
  void SetOpenDataSource(bool value) { openDataSource = value; }
  bool CloseDataSource() const { return closeDataSource; }
  void SetCloseDataSource(bool value) { closeDataSource = value; }
  // A posted record is read back from the data (its computed fields).
  bool RefreshAfterPost() const { return refreshAfterPost; }
  void SetRefreshAfterPost(bool value) { refreshAfterPost = value; }

  void Notification(TComponent* component, TOperation operation) override;

protected:
  void DataOpen() override;
  void DataClose() override;
  bool DataIsActive() const override;
  void DataFirst() override;
  void DataLast() override;
  int DataMoveBy(int n) override;
  bool DataIsEmpty() const override;
  Variant DataFieldValue(const std::string& name) override;
  bool DataGetBookmark(std::vector<uint8_t>& bookmark) override;
  bool DataGotoBookmark(const std::vector<uint8_t>& bookmark) override;
  bool DataLocate(const std::string& fieldName, const Variant& value) override;
  bool DataInsert() override;
  bool DataEdit() override;
  bool DataPost() override;
  void DataCancel() override;
  bool DataSetFieldValue(const std::string& name, const Variant& value) override;
  bool DataWriteFieldToStream(const std::string& name, TStream& stream) override;
  bool DataReadFieldFromStream(const std::string& name, TStream& stream) override;
  bool DataCompareBookmarks(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int& order) override;

private:
  TDataSource* dataSource = nullptr;
  bool autoCreateFields = true;
  bool openDataSource = true;
  bool closeDataSource = false;
  bool refreshAfterPost = false;

  TDataSet* DataSet() const;
  void CreateFields();
};

// The pipeline's data type of a dataset field type.
TppDataType ppFieldTypeToDataType(int fieldType);
