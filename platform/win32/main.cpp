// The Windows program's entry: the program's start, then the shutdown.
#include "platform/win32/win32.h"  // first: windows.h before the other system headers
#include <ole2.h>


namespace vondrel {
int StartProgram();
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const int code = vondrel::StartProgram();
  win32::RunExitRoutine();
  win32::StopGdiPlus();
  OleUninitialize();
  return code;
}
