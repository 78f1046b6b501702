// Start-up, the shared objects and shutdown.
#pragma once

#include "platform/netxfer.h"
#include "platform/ocx.h"

namespace vondrel {

// The shared objects: filled by CreateSharedObjects, released by ReleaseSharedObjects.
extern ocx::BMOleClass* BrowserHost;
extern netxfer::Download* UpdateDownload;
extern ocx::BMOleClass* DocumentEventsHost;
extern netxfer::TaskParam* UpdateTask;

int StartProgram();
void CreateSharedObjects();
void ReleaseSharedObjects();

// Each folder binds its handlers to the windows' events and menu items.
void BindMainWindowHandlers();
void BindBrowserHandlers();
void BindPageCommandHandlers();
void BindUpdateHandlers();
void BindAboutHandlers();

}  // namespace vondrel
