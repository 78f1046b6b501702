// The ActiveX host library: a BMOleClass holds one control or one automation
// object and is the sink of its default event interface.
//
// The host object itself is shared code (platform/common/ocx_host.cpp); each
// backend supplies the controls by ProgID and the message hook.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/core.h"

namespace ocx {

class BMOleClass;

// A callback gets the user value, then the event's arguments in declared
// order; for a member declared to return VARIANT_BOOL, 0 is VARIANT_FALSE.
using RawCallback = std::function<std::int32_t(std::int32_t user, const std::vector<core::Variant>& args)>;

BMOleClass* Create();
// Disconnects the sink and releases what is held; a control's window stays.
void Destroy(BMOleClass* host);
// A visible child window titled with the ProgID in which the control is
// created and its events connected; 0 on failure.
core::Handle CreateControlWindow(BMOleClass* host, core::Handle parent, std::string_view prog_id, int x, int y,
                                 int width, int height, int border);
// 1 if the connected interface has the member (callback stored), else 0.
int BindEventRaw(BMOleClass* host, std::int32_t dispid, RawCallback callback, std::int32_t user);
// Drops an earlier connection, holds the object, connects its default event
// interface. 1 on success, 0 for a null reference or no interface.
int Attach(BMOleClass* host, const core::ComObject& object);
// The held control or object (empty when none).
core::ComObject Held(const BMOleClass* host);
// The WH_GETMESSAGE-style hook that lets the control see its keys first.
int InstallHook();

// An invoke argument: a value, or an optional one left out.
struct Arg {
  std::optional<core::Variant> value;
  static Arg Int(std::int32_t v) { return {core::Variant::Int(v)}; }
  static Arg Text(std::string_view v) { return {core::Variant::Text(v)}; }
  static Arg Of(core::Variant v) { return {std::move(v)}; }
  static Arg Absent() { return {std::nullopt}; }
};

struct InvokeResult {
  std::int32_t status = 0;  // the HRESULT
  core::Variant value;      // an object result holds a counted reference
};

// Format: two characters per argument, a mode ('0' required, '2' optional)
// and a type ('I' 32-bit integer, 'T' text, 'V' variant). An absent optional
// argument goes as an empty variant in its place.
InvokeResult Invoke(BMOleClass* host, std::int32_t dispid, int flags, std::string_view format,
                    std::initializer_list<Arg> args = {});

// ---- typed event binding --------------------------------------------------

namespace detail {
template <class T>
T ArgAs(const std::vector<core::Variant>& args, std::size_t i) {
  if constexpr (std::is_same_v<T, const char*>) {
    if (i >= args.size() || args[i].type != core::Variant::Type::kText) return nullptr;
    return args[i].text.c_str();
  } else {
    if (i >= args.size()) return T{};
    const core::Variant& v = args[i];
    if (v.type == core::Variant::Type::kBool) return static_cast<T>(v.b ? -1 : 0);
    return static_cast<T>(v.i);
  }
}
template <class R, class... A, std::size_t... I>
std::int32_t Call(R (*fn)(std::int32_t, A...), std::int32_t user, const std::vector<core::Variant>& args,
                  std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>) {
    fn(user, ArgAs<A>(args, I)...);
    return 1;
  } else {
    return static_cast<std::int32_t>(fn(user, ArgAs<A>(args, I)...));
  }
}
}  // namespace detail

// Binds a plain function taking the user value and then the event's
// arguments as 32-bit integers, pointers (std::intptr_t) or texts (const char*).
template <class R, class... A>
int BindEvent(BMOleClass* host, std::int32_t dispid, R (*fn)(std::int32_t, A...), std::int32_t user) {
  return BindEventRaw(
      host, dispid,
      [fn](std::int32_t u, const std::vector<core::Variant>& args) {
        return detail::Call(fn, u, args, std::index_sequence_for<A...>{});
      },
      user);
}

}  // namespace ocx
