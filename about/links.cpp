#include "about/links.h"

#include "about/about_window.h"
#include "app/program.h"
#include "platform/core.h"
#include "platform/shell.h"
#include "resources/windows.h"
#include "vondrel_config.h"

namespace vondrel {

std::string MailAddress() { return std::string("mailto:") + VONDREL_MAKER_MAIL; }
std::string GuestbookAddress() { return HomePageAddress() + "/guestbook.php"; }
std::string HomePageAddress() { return std::string("http://") + VONDREL_MAKER_HOST; }
std::string WebVersionAddress() { return std::string("http://") + VONDREL_SITE_HOST; }

void OpenLink(std::string_view address) { shell::Execute(address); }

void BindAboutHandlers() {
  core::BindMenu(MainWindow, item::kHelpMail, [] { OpenLink(MailAddress()); });
  core::BindMenu(MainWindow, item::kHelpGuestbook, [] { OpenLink(GuestbookAddress()); });
  core::BindMenu(MainWindow, item::kHelpHome, [] { OpenLink(HomePageAddress()); });
  core::BindMenu(MainWindow, item::kFileWebVersion, [] { OpenLink(WebVersionAddress()); });
  core::BindMenu(MainWindow, item::kHelpAbout, &OpenAboutWindow);
  core::BindMenu(MainWindow, item::kCtxAbout, &OpenAboutWindow);
  core::Bind(AboutWindow, "按钮1", core::Event::kClick, &OnAboutOkClicked);
  core::Bind(AboutWindow, "高级选择夹1", core::Event::kTabChanged, &ShowProgramFolder);
}

}  // namespace vondrel
