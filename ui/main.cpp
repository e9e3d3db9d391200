// The program's entry point: COM for the automation library, the common controls, the main
// window and its message loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "platform/win_platform.h"
#include "ui/form1.h"
#include "vss/com/com_library.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  // The automation library is an apartment-threaded in-process server.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  int exitCode = 1;
  {
    std::unique_ptr<vss::Library> library = vss::com::makeLibrary();
    platform::WinPlatform platform;
    ui::Form1 form(*library, platform);
    if (form.create(showCommand)) exitCode = ui::runMessageLoop(form);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}
