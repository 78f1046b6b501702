// The Linux program's entry: the program's start routine, then the
// platform's shutdown with the exit routine, once.
#include <cstdio>

#include "platform/gtk/gtk_backend.h"

namespace vondrel {
int StartProgram();
}

int main() {
  vondrel::StartProgram();
  gtkb::RunExitRoutine();
  std::fflush(nullptr);
  return 0;
}
