// A second process for the file layer's tests. Reads one command per line
// from standard input, answers each with one line that starts with the
// Windows error number, and exits at the end of its input:
//   open <path> shared|exclusive    create <path>    close
//   lock <offset> <length>          unlock <offset> <length>
//   unique <folder> <prefix> <ext> <count>   (answers the created paths too)

#include <iostream>
#include <sstream>
#include <string>

#include "osFile.h"

namespace {

std::string Unique(std::istringstream& args) {
  std::string folder, prefix, ext;
  int count = 0;
  args >> folder >> prefix >> ext >> count;
  std::string paths;
  for (int i = 0; i < count; ++i) {
    std::string path;
    if (const OsError error = OsFile::CreateUnique(folder, prefix, ext, path)) return std::to_string(error);
    paths += " " + path;
  }
  return "0" + paths;
}

std::string Run(OsFile& file, const std::string& line) {
  std::istringstream args(line);
  std::string command, path, mode;
  int64_t offset = 0, length = 0;
  args >> command;
  if (command == "open") {
    args >> path >> mode;
    const OsFileShare share = mode == "exclusive" ? OsFileShare::Exclusive : OsFileShare::Shared;
    return std::to_string(file.Open(path, OsFileAccess::ReadWrite, share));
  }
  if (command == "create") {
    args >> path;
    return std::to_string(file.Create(path));
  }
  if (command == "close") {
    file.Close();
    return "0";
  }
  if (command == "lock") {
    args >> offset >> length;
    return std::to_string(file.LockRange(offset, length));
  }
  if (command == "unlock") {
    args >> offset >> length;
    return std::to_string(file.UnlockRange(offset, length));
  }
  if (command == "unique") return Unique(args);
  return "unknown command: " + command;
}

}  // namespace

int main() {
  OsFile file;
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) std::cout << Run(file, line) << std::endl;
  return 0;
}
