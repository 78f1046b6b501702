#include "platform/common/windef.h"

namespace core {

const ControlDef* WindowDef::Find(std::string_view control) const {
  for (const ControlDef& c : controls)
    if (c.name == control) return &c;
  return nullptr;
}

const MenuDef* WindowDef::FindMenu(std::string_view id) const {
  for (const MenuDef& m : menus)
    if (m.id == id) return &m;
  return nullptr;
}

const MenuItemDef* WindowDef::FindItem(std::string_view id) const {
  for (const MenuDef& m : menus)
    for (const MenuItemDef& i : m.items)
      if (!i.IsSeparator() && i.id == id) return &i;
  return nullptr;
}

Point CenteredOrigin(int screen_width, int screen_height, int width, int height) {
  return {(screen_width - width) / 2, (screen_height - height) / 2};
}

}  // namespace core
