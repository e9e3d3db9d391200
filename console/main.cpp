// The console program's entry point: one run.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "console/run.h"
#include "console/win_console.h"

int wmain(int argc, wchar_t** argv) {
  // A job that nobody watches must not wait for a box of the system's own either (a drive
  // without a disk, a file the system cannot open): the failure goes to the caller instead.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  int status = console::kUnexpectedFailure;
  try {
    console::WinEnvironment environment;
    status = console::run(std::vector<std::wstring>(argv + 1, argv + argc), environment);
  } catch (...) {
    // Only setting up the streams or the library can get here: no run has begun.
    std::fputs("OstrabelCli: unexpected failure before the run\n", stderr);
  }
  return status;
}
