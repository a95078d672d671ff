#pragma once
// Whole-file text access that bypasses the file layer under test, and
// another program's writes to a file.

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A second open file description of the same file: another program's view.
class TOtherWriter {
public:
  explicit TOtherWriter(const std::string& path) : fd(open(path.c_str(), O_RDWR)) {}
  ~TOtherWriter() { close(fd); }
  TOtherWriter(const TOtherWriter&) = delete;
  TOtherWriter& operator=(const TOtherWriter&) = delete;
  bool Write(off_t offset, const std::string& text) {
    return pwrite(fd, text.data(), text.size(), offset) == ssize_t(text.size());
  }
  bool Cut(off_t size) { return ftruncate(fd, size) == 0; }

private:
  int fd;
};
