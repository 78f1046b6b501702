// The Windows backend's internals shared by its files: text conversion at
// the API edge, the GUI-thread state, the ATL host entry points.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <string_view>

namespace win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The ATL host functions, loaded from atl.dll at run time.
using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
bool LoadAtl();
AtlAxGetControlFn AtlAxGetControl();

// Number of the program's top-level windows that exist.
int LoadedWindowCount();
// The GUI thread's id.
DWORD GuiThread();

// Runs the exit routine once (GUI thread).
void RunExitRoutine();

// The GDI+ token; started by Initialize.
void StartGdiPlus();
void StopGdiPlus();

}  // namespace win32
