#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/netxfer.h"

namespace netxfer {

void SetText(char*& field, const char* text) {
  std::free(field);
  field = nullptr;
  if (!text) return;
  const std::size_t n = std::strlen(text);
  field = static_cast<char*>(std::malloc(n + 1));
  if (!field) std::abort();  // out of memory is fatal, as everywhere in the program
  std::memcpy(field, text, n + 1);
}

void SetStartupDefaults(TaskParam& task) {
  task.Flags = 1;
  SetText(task.Url, "");
  SetText(task.LocalPath, "");
  SetText(task.FtpUser, "anonymous");
  SetText(task.FtpPassword, "guest@vondo.local");  // 17 characters, e-mail form
  task.Connections = 1;
  task.SpeedLimit = 0;
  task.ConnectTimeout = 20000;
  task.SendTimeout = 20000;
  task.ReceiveTimeout = 20000;
  task.StopWait = 1000;
  task.ReceiveBlock = 20480;
  task.SendBlock = 1024;
  task.MessageCallback = nullptr;
  task.EventCallback = nullptr;
  SetText(task.FtpAltName, "");
  task.FtpTransferType = 1;
  SetText(task.BinaryExtensions, ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm");
  task.HttpProxy = nullptr;
  task.Referer = nullptr;
}

void FreeTexts(TaskParam& task) {
  for (char** f : {&task.Url, &task.LocalPath, &task.FtpUser, &task.FtpPassword, &task.FtpAltName,
                   &task.BinaryExtensions, &task.HttpProxy, &task.Referer}) {
    std::free(*f);
    *f = nullptr;
  }
}

}  // namespace netxfer
