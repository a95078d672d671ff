#pragma once
// The dataset bound to a database by DatabaseName and SessionName: while
// any of its use flags is set it holds an open database of its session.

#include <bitset>
#include <string>

#include "MDBDataSet.h"
#include "MDBDatabaseUser.h"

class TMDBDatabase;

class TMDBDBDataSet : public TMDBDataSet, public TMDBDatabaseUser {
  RTL_DECLARE_CLASS(TMDBDBDataSet, TMDBDataSet)

  // Flag 0: the cursor is open; flag 1: a temporary cursor of a table
  // operation is.
  enum TDBFlag { dbfOpened = 0, dbfTemporary = 1, DBFlagCount = 16 };

  explicit TMDBDBDataSet(TComponent* owner);
  ~TMDBDBDataSet() override;

  // nullptr while no flag is set.
  TMDBDatabase* Database() const { return database; }
  TMDBSession& DataSetSession() override;

  const std::string& DatabaseName() const { return databaseName; }
  // Closes the dataset; "Cannot perform this operation on an open
  // database." while it still holds its database.
  virtual void SetDatabaseName(const std::string& value);
  // TMDBDatabaseUser.
  const std::string& SessionName() const override { return sessionName; }
  void SetSessionName(const std::string& value) override;
  void CloseDatabaseUse() override { Close(); }

  void SetDBFlag(TDBFlag flag, bool value);

protected:
  void InternalOpen() override;
  void InternalClose() override;
  // Holds the database for the length of an operation without the cursor.
  class TDatabaseHold {
  public:
    TDatabaseHold(TMDBDBDataSet& dataSet, TDBFlag flag);
    ~TDatabaseHold();
    TDatabaseHold(const TDatabaseHold&) = delete;
    TDatabaseHold& operator=(const TDatabaseHold&) = delete;

  private:
    TMDBDBDataSet& dataSet;
    TDBFlag flag;
  };

private:
  std::bitset<DBFlagCount> dbFlags;
  TMDBDatabase* database = nullptr;
  std::string databaseName;
  std::string sessionName;
};
