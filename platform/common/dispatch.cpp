#include "platform/common/dispatch.h"

#include <map>
#include <string>
#include <tuple>

namespace {

using Key = std::tuple<const core::WindowDef*, std::string, int>;

std::map<Key, core::Handler>& Table() {
  static std::map<Key, core::Handler> table;
  return table;
}

constexpr int kMenuEvent = -1;

core::Handler Find(const core::WindowDef& window, std::string_view control, int event) {
  auto it = Table().find(Key{&window, std::string(control), event});
  return it == Table().end() ? nullptr : it->second;
}

}  // namespace

namespace core {

void Bind(const WindowDef& window, std::string_view control, Event event, Handler handler) {
  Table()[Key{&window, std::string(control), static_cast<int>(event)}] = handler;
}

void BindMenu(const WindowDef& window, std::string_view item, Handler handler) {
  Table()[Key{&window, std::string(item), kMenuEvent}] = handler;
}

}  // namespace core

namespace common {

bool Raise(const core::WindowDef& window, std::string_view control, core::Event event) {
  core::Handler h = Find(window, control, static_cast<int>(event));
  if (!h) return false;
  h();
  return true;
}

bool RaiseMenu(const core::WindowDef& window, std::string_view item) {
  core::Handler h = Find(window, item, kMenuEvent);
  if (!h) return false;
  h();
  return true;
}

bool HasHandler(const core::WindowDef& window, std::string_view control, core::Event event) {
  return Find(window, control, static_cast<int>(event)) != nullptr;
}

void ClearBindings() { Table().clear(); }

}  // namespace common
