#pragma once
// What a session and a database need of the dataset components that use
// them: the session name they ask for, and closing them when the database
// closes. The database-bound dataset implements it.

#include <string>

class TMDBDatabaseUser {
public:
  virtual const std::string& SessionName() const = 0;
  virtual void SetSessionName(const std::string& name) = 0;
  // Closes the dataset, which gives its database back.
  virtual void CloseDatabaseUse() = 0;

protected:
  ~TMDBDatabaseUser() = default;
};
