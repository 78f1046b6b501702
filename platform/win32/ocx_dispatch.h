// core::Dispatch over a real IDispatch: invoke by DISPID, names, and the
// default source interface connected to an IDispatch sink.
#pragma once

#include <ocidl.h>
#include <oaidl.h>

#include "platform/core.h"

namespace win32 {

class Sink;

class ComDispatch : public core::Dispatch {
 public:
  explicit ComDispatch(IDispatch* dispatch);  // adds a reference
  ~ComDispatch() override;
  std::int32_t Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                      core::Variant* result) override;
  std::int32_t IdOfName(std::string_view name) override;
  std::vector<core::EventMember> EventMembers() override;
  bool Connect(core::EventSink* sink) override;
  IDispatch* raw() const { return dispatch_; }
  const IID& source_iid() const { return source_iid_; }

 private:
  void LoadEvents();
  IDispatch* dispatch_;
  bool events_loaded_ = false;
  IID source_iid_{};
  std::vector<core::EventMember> members_;
  IConnectionPoint* point_ = nullptr;
  DWORD cookie_ = 0;
  Sink* sink_ = nullptr;
};

// The IDispatch sink of a source interface: arguments to `target` in
// declared order, VARIANT_BOOL results for members that declare them.
IDispatch* MakeEventSink(const IID& iid, std::vector<core::EventMember> members, core::EventSink* target);

// VARIANT <-> core::Variant; an event's BSTR is UTF-8 text, a null one empty.
void ToVariant(const core::Variant& in, VARIANT& out);
core::Variant FromVariant(const VARIANT& in);

}  // namespace win32
