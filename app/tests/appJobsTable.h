#pragma once
// The jobs table as tests read it, for units that include the thread
// framework (which cannot include the database components beside it).

#include <string>
#include <vector>

// Rows of the data module's table; -1 without a module.
int JobsRowCount();
// The values of field, in natural order.
std::vector<std::string> JobsColumn(const std::string& field);
// The values of field in the jobs table kept in folder, read through a data
// module of its own (none may be installed).
std::vector<std::string> JobsColumnIn(const std::string& folder, const std::string& field);
// The rows of the jobs table kept in folder, opened shared beside the
// program that writes it; -1 when it cannot be read now.
int JobsRowCountIn(const std::string& folder);
