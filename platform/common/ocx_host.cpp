// The ActiveX host object: holds one control or automation object, is the
// sink of its default event interface and calls its members by format.
#include <map>

#include "platform/common/backend.h"
#include "platform/ocx.h"

namespace ocx {

namespace {
constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);
constexpr std::int32_t kEInvalidArg = static_cast<std::int32_t>(0x80070057u);
}  // namespace

class BMOleClass : public core::EventSink {
 public:
  ~BMOleClass() override { Disconnect(); }

  bool Hold(core::ComObject object) {
    Disconnect();
    held_ = std::move(object);
    if (!held_) return false;
    members_ = held_->EventMembers();
    if (members_.empty() || !held_->Connect(this)) {
      members_.clear();
      return false;
    }
    connected_ = true;
    return true;
  }

  void Disconnect() {
    if (held_ && connected_) held_->Connect(nullptr);
    connected_ = false;
    members_.clear();
    bindings_.clear();
    held_.reset();
  }

  int Bind(std::int32_t dispid, RawCallback callback, std::int32_t user) {
    if (!connected_) return 0;
    for (const core::EventMember& m : members_) {
      if (m.dispid == dispid) {
        bindings_[dispid] = Binding{std::move(callback), user};
        return 1;
      }
    }
    return 0;
  }

  bool OnEvent(std::int32_t dispid, const std::vector<core::Variant>& args) override {
    auto it = bindings_.find(dispid);
    if (it == bindings_.end()) return true;
    // copy: the callback may rebind or destroy this host
    Binding binding = it->second;
    const std::int32_t result = binding.callback(binding.user, args);
    return result != 0;
  }

  const core::ComObject& held() const { return held_; }

 private:
  struct Binding {
    RawCallback callback;
    std::int32_t user = 0;
  };
  core::ComObject held_;
  bool connected_ = false;
  std::vector<core::EventMember> members_;
  std::map<std::int32_t, Binding> bindings_;
};

BMOleClass* Create() { return new BMOleClass(); }

void Destroy(BMOleClass* host) { delete host; }

core::Handle CreateControlWindow(BMOleClass* host, core::Handle parent, std::string_view prog_id, int x, int y,
                                 int width, int height, int border) {
  if (!host) return 0;
  common::CreatedControl created = common::CreateOcxControl(parent, prog_id, x, y, width, height, border);
  if (!created.window || !created.object) return 0;
  host->Hold(created.object);
  return created.window;
}

int BindEventRaw(BMOleClass* host, std::int32_t dispid, RawCallback callback, std::int32_t user) {
  return host ? host->Bind(dispid, std::move(callback), user) : 0;
}

int Attach(BMOleClass* host, const core::ComObject& object) {
  if (!host) return 0;
  return host->Hold(object) ? 1 : 0;
}

core::ComObject Held(const BMOleClass* host) { return host ? host->held() : core::ComObject{}; }

int InstallHook() { return common::InstallOcxHook(); }

InvokeResult Invoke(BMOleClass* host, std::int32_t dispid, int flags, std::string_view format,
                    std::initializer_list<Arg> args) {
  InvokeResult out;
  if (!host || !host->held()) {
    out.status = kEFail;
    return out;
  }
  if (format.size() % 2 != 0) {
    out.status = kEInvalidArg;
    return out;
  }
  std::vector<core::Variant> values;
  const Arg* given = args.begin();
  for (std::size_t i = 0; i < format.size(); i += 2, ++given) {
    const char mode = format[i];
    const char type = format[i + 1];
    const bool supplied = given < args.end() && given->value.has_value();
    if (!supplied) {
      if (mode != '2') {
        out.status = kEInvalidArg;
        return out;
      }
      values.push_back(core::Variant::Empty());
      continue;
    }
    const core::Variant& v = *given->value;
    switch (type) {
      case 'I':
        values.push_back(core::Variant::Int(static_cast<std::int32_t>(v.type == core::Variant::Type::kBool ? (v.b ? -1 : 0) : v.i)));
        break;
      case 'T':
        values.push_back(core::Variant::Text(core::VariantText(v)));
        break;
      default:
        values.push_back(v);
        break;
    }
  }
  out.status = host->held()->Invoke(dispid, flags, values, &out.value);
  return out;
}

}  // namespace ocx
