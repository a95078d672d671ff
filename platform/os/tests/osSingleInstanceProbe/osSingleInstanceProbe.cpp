// Takes part in the single-instance tests as a separate process: claims the
// instance named by argv[1] and prints "first", "shown" or "notfound". The
// first instance then prints "show" for every request until stdin closes.

#include <cstdio>
#include <unistd.h>

#include "osSingleInstance.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  TSingleInstance instance(argv[1]);
  switch (instance.Claim()) {
    case TInstanceClaim::ShownOther: std::puts("shown"); return 0;
    case TInstanceClaim::OtherNotFound: std::puts("notfound"); return 0;
    case TInstanceClaim::First: break;
  }
  instance.SetShowHandler([] {
    std::puts("show");
    std::fflush(stdout);
  });
  std::puts("first");
  std::fflush(stdout);
  char buffer[64];
  while (read(0, buffer, sizeof buffer) > 0) {
  }
  return 0;
}
