// The table of bound handlers, shared by every backend: the program binds,
// the backend raises.
#pragma once

#include <string_view>

#include "platform/core.h"

namespace common {

// Runs the handler bound to (window, control, event); false when none is bound.
bool Raise(const core::WindowDef& window, std::string_view control, core::Event event);
// Runs the handler of a menu item; false when none is bound.
bool RaiseMenu(const core::WindowDef& window, std::string_view item);
bool HasHandler(const core::WindowDef& window, std::string_view control, core::Event event);
// Forgets every binding (tests).
void ClearBindings();

}  // namespace common
