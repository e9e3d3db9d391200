// The console program's entry point: COM for the automation library, then one run.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "console/run.h"
#include "console/win_console.h"

int wmain(int argc, wchar_t** argv) {
  // The automation library is an apartment-threaded in-process server.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int status = console::kUnexpectedFailure;
  try {
    console::WinEnvironment environment;
    status = console::run(std::vector<std::wstring>(argv + 1, argv + argc), environment);
  } catch (...) {
    // Only setting up the streams or the library can get here: no run has begun.
    std::fputs("Ostrabel: unexpected failure\n", stderr);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}
