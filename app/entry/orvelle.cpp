// The program's entry.

#include <cstdlib>
#include <cstring>

#include "Program.h"

int main(int argc, char** argv) {
  // Without a display the program runs on Qt's offscreen platform and
  // records until it is stopped.
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const bool noDisplay = (!display || !*display) && (!wayland || !*wayland);
  if (noDisplay && (!platform || !*platform)) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const char* chosen = std::getenv("QT_QPA_PLATFORM");
  TProgramOptions options;
  options.Unattended = chosen && std::strcmp(chosen, "offscreen") == 0;
  return RunProgram(argc, argv, options);
}
