#pragma once
// Tables in the scratch folder, made and filled through the components.

#include <memory>
#include <string>
#include <vector>

#include "MDBTable.h"
#include "MDBTestSupport.h"
#include "dbField.h"

class TableTest : public ComponentsTest {
protected:
  // A closed table component on name in the scratch folder.
  TObjectPtr<TMDBTable> NewTable(const std::string& name = "PEOPLE.DAT") {
    TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
    table->SetDatabaseName(folder);
    table->SetTableName(name);
    return table;
  }

  // PEOPLE: ID integer (primary), NAME string 20, CITY string 20, AMOUNT
  // float, NOTES memo; indexes ByName (NAME, case-insensitive) and ByCity
  // (CITY;NAME).
  TObjectPtr<TMDBTable> CreatePeople(const std::string& name = "PEOPLE.DAT") {
    TObjectPtr<TMDBTable> table = NewTable(name);
    table->FieldDefs().Add("ID", ftInteger, 0, true);
    table->FieldDefs().Add("NAME", ftString, 20);
    table->FieldDefs().Add("CITY", ftString, 20);
    table->FieldDefs().Add("AMOUNT", ftFloat);
    table->FieldDefs().Add("NOTES", ftMemo);
    table->IndexDefs().Add("", "ID", TIndexOptions{ixPrimary, ixUnique});
    table->IndexDefs().Add("ByName", "NAME", TIndexOptions{ixCaseInsensitive});
    table->IndexDefs().Add("ByCity", "CITY;NAME", TIndexOptions());
    table->CreateTable();
    return table;
  }

  struct TPerson {
    int Id;
    std::string Name;
    std::string City;
    double Amount;
  };
  static std::vector<TPerson> SamplePeople() {
    return {{3, "carol", "Oslo", 30.5},  {1, "Alice", "Paris", 10}, {5, "eve", "Oslo", 50},
            {2, "Bob", "Rome", 20.25},   {4, "dave", "Paris", 40}};
  }
  static void Append(TMDBTable& table, const TPerson& person) {
    table.Append();
    table.FieldByName("ID")->SetAsInteger(person.Id);
    table.FieldByName("NAME")->SetAsString(person.Name);
    table.FieldByName("CITY")->SetAsString(person.City);
    table.FieldByName("AMOUNT")->SetAsFloat(person.Amount);
    table.Post();
  }
  // The created table, open, holding the sample people in that order.
  TObjectPtr<TMDBTable> OpenPeople() {
    TObjectPtr<TMDBTable> table = CreatePeople();
    table->Open();
    for (const TPerson& person : SamplePeople()) Append(*table, person);
    return table;
  }
  // One field's values from the first record to the last.
  static std::vector<std::string> Column(TDataSet& dataSet, const std::string& field) {
    std::vector<std::string> values;
    dataSet.First();
    while (!dataSet.Eof()) {
      values.push_back(dataSet.FieldByName(field)->AsString());
      dataSet.Next();
    }
    return values;
  }
  using TStrings = std::vector<std::string>;
};
