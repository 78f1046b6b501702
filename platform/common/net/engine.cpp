#include "platform/netxfer.h"

namespace netxfer {

struct Download::Impl {};

Download::Download() = default;
Download::~Download() { delete impl; }

bool AddTask(Download&, const TaskParam&) { return false; }
std::int64_t DoneLength(const Download&) { return 0; }
void Destroy(Download& download) {
  delete download.impl;
  download.impl = nullptr;
}

}  // namespace netxfer
