#include "app/program.h"

#include <cstring>

#include "platform/core.h"
#include "resources/windows.h"

namespace vondrel {

ocx::BMOleClass* BrowserHost = nullptr;
netxfer::Download* UpdateDownload = nullptr;
ocx::BMOleClass* DocumentEventsHost = nullptr;
netxfer::TaskParam* UpdateTask = nullptr;

void CreateSharedObjects() {
  BrowserHost = ocx::Create();
  UpdateDownload = new netxfer::Download();
  DocumentEventsHost = ocx::Create();
  UpdateTask = new netxfer::TaskParam;
  std::memset(UpdateTask, 0, sizeof *UpdateTask);
  netxfer::SetStartupDefaults(*UpdateTask);
}

void ReleaseSharedObjects() {
  ocx::Destroy(BrowserHost);
  BrowserHost = nullptr;
  if (UpdateDownload) netxfer::Destroy(*UpdateDownload);
  delete UpdateDownload;
  UpdateDownload = nullptr;
  ocx::Destroy(DocumentEventsHost);
  DocumentEventsHost = nullptr;
  if (UpdateTask) netxfer::FreeTexts(*UpdateTask);
  delete UpdateTask;
  UpdateTask = nullptr;
}

int StartProgram() {
  core::Initialize();
  BindMainWindowHandlers();
  BindBrowserHandlers();
  BindPageCommandHandlers();
  BindUpdateHandlers();
  BindAboutHandlers();
  CreateSharedObjects();
  core::SetExitRoutine(&ReleaseSharedObjects);
  core::LoadWindow(MainWindow);
  core::RunMessageLoop();
  return 0;
}

}  // namespace vondrel
