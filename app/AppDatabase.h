#pragma once
#include <functional>
#include <string>

// The jobs database at start-up and the data module's life. The thread
// framework and the database components declare types of the same names,
// so the units that include the one reach the other through here.

// Makes sure the jobs table exists with its definition's structure, asking
// through the message box before it creates a missing one; restructures
// and their losses go to alert with the warning flag for a loss. False when
// the user declined: the program ends.
bool CheckJobsDatabase(const std::function<void(const std::string& text, bool loss)>& alert);
// The data module over the data folder, installed as the jobs' writer.
// Answers why the jobs table stayed closed (another program held it; the
// first write that finds it free opens it), empty when it is open.
std::string CreateDataModule();
// Uninstalls and frees it, and closes the default session.
void FreeDataModule();
