// The menu items that open outside addresses.
#pragma once

#include <string>
#include <string_view>

namespace vondrel {

std::string MailAddress();       // "mailto:" + the maker's mail
std::string GuestbookAddress();  // the home page + "/guestbook.php"
std::string HomePageAddress();   // "http://" + the maker's host
std::string WebVersionAddress(); // "http://" + the tracking site

void OpenLink(std::string_view address);

}  // namespace vondrel
