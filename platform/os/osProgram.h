#pragma once
// Where the program lives on this machine: its folder (which holds the data
// folder and ALERTS.LOG), its executable and the user's base folders.

#include <string>

// $ORVELLE_HOME when set, else $XDG_DATA_HOME/Orvelle (default
// ~/.local/share/Orvelle). No trailing separator.
std::string ProgramFolder();

// The full path of the running executable; empty when it cannot be read.
std::string ModuleFileName();

// The host name; an EOSError when the system cannot tell it.
std::string ComputerName();

// The user's home folder: $HOME, else the password database's entry.
std::string UserHomeFolder();

// An XDG base folder: the variable's value when it is an absolute path,
// else the home folder joined with the fallback ("/.config", ...).
std::string XdgBaseFolder(const char* variable, const char* homeFallback);

// Creates the folder and its missing parents; existing folders are left as
// they are. An EOSError names the folder that could not be made.
void ForceFolders(const std::string& path, unsigned mode);
