// A program planted where a tool might be looked up by its bare name
// (built as netsh.exe and cmd.exe). If it ever runs it leaves its marker
// with its command line, changes nothing and fails.

#include <windows.h>

#include <cstdio>

#include "planted_marker.h"

int wmain() {
  planted::WriteMarker(nullptr, GetCommandLineW());
  std::fprintf(stderr, "planted program ran; nothing done\n");
  return 1;
}
