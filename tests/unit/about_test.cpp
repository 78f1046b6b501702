// The about window and the link items.
#include <gtest/gtest.h>

#include <algorithm>

#include "about/about_window.h"
#include "about/links.h"
#include "fixture.h"
#include "platform/tabs.h"

namespace vondrel::testing {
namespace {

class AboutTest : public ProgramTest {
 protected:
  std::string Details() { return headless::Control(AboutWindow, "编辑框1").caption; }
  int DetailWrites() {
    const auto log = headless::Log();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [](const std::string& l) {
      return l.starts_with("set AboutWindow 编辑框1 8 ");
    }));
  }
};

TEST_F(AboutTest, BothItemsOpenItModallyOnTheFirstTab) {
  Start();
  for (const char* id : {item::kHelpAbout, item::kCtxAbout}) {
    bool seen = false;
    headless::WhenShown(AboutWindow, [&] {
      seen = true;
      EXPECT_TRUE(headless::Window(MainWindow).disabled);
      EXPECT_FALSE(headless::ChooseMenu(MainWindow, item::kFileExit));  // the main window takes no input
      EXPECT_EQ(tabs::CurrentTab(AboutWindow, "高级选择夹1"), 0);
      headless::SelectTab(AboutWindow, "高级选择夹1", 1);
      headless::PressEscape(AboutWindow);
    });
    ASSERT_TRUE(headless::ChooseMenu(MainWindow, id));
    EXPECT_TRUE(seen) << id;
    EXPECT_FALSE(headless::IsLoaded(AboutWindow));
    EXPECT_FALSE(headless::Window(MainWindow).disabled);
  }
  EXPECT_TRUE(headless::IsLoaded(MainWindow));
}

TEST_F(AboutTest, TheDetailsTabShowsTheProgramFolderOnEveryRealChange) {
  Start();
  headless::SetRunDirectory("/opt/vondrel");
  headless::WhenShown(AboutWindow, [&] {
    EXPECT_EQ(Details(), "");
    headless::SelectTab(AboutWindow, "高级选择夹1", 1);
    EXPECT_EQ(Details(), "\r\n程序文件夹:\r\n/opt/vondrel");
    headless::SelectTab(AboutWindow, "高级选择夹1", 1);  // the current tab again
    EXPECT_EQ(DetailWrites(), 1);
    headless::SelectTab(AboutWindow, "高级选择夹1", 0);
    EXPECT_EQ(DetailWrites(), 2);
    headless::Click(AboutWindow, "按钮1");
  });
  OpenAboutWindow();
  EXPECT_FALSE(headless::IsLoaded(AboutWindow));
}

TEST(ProgramFolder, TextAtADriveRootAndWhenEmpty) {
  EXPECT_EQ(ProgramFolderText("C:"), "\r\n程序文件夹:\r\nC:");
  EXPECT_EQ(ProgramFolderText("D:\\Tools\\Vondrel"), "\r\n程序文件夹:\r\nD:\\Tools\\Vondrel");
  EXPECT_EQ(ProgramFolderText(""), "\r\n程序文件夹:\r\n");
}

TEST_F(AboutTest, EnterEscapeCloseBoxAndTheButtonCloseItAndItReopensOnTheFirstTab) {
  Start();
  for (int way = 0; way < 4; ++way) {
    headless::WhenShown(AboutWindow, [&] {
      EXPECT_EQ(tabs::CurrentTab(AboutWindow, "高级选择夹1"), 0) << way;
      headless::SelectTab(AboutWindow, "高级选择夹1", 1);
      if (way == 0) headless::PressEnter(AboutWindow);
      if (way == 1) headless::PressEscape(AboutWindow);
      if (way == 2) headless::CloseBox(AboutWindow);
      if (way == 3) headless::Click(AboutWindow, "按钮1");
    });
    OpenAboutWindow();
    EXPECT_FALSE(headless::IsLoaded(AboutWindow)) << way;
  }
  const auto log = headless::Log();
  EXPECT_EQ(std::find(log.begin(), log.end(), "abandoned AboutWindow"), log.end());
}

TEST(AboutDefinition, TheDetailsBoxIsReadOnlyAndTheLinkShowsTheBareHost) {
  const core::ControlDef* box = AboutWindow.Find("编辑框1");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->read_only);
  EXPECT_TRUE(box->multiline);
  const core::ControlDef* link = AboutWindow.Find("超级链接框1");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->target, "www.vondo.example");
  EXPECT_TRUE(link->caption.empty());
  const core::ControlDef* lines = AboutWindow.Find("标签1");
  EXPECT_EQ(lines->caption,
            "版本:2.0\r\n\r\n发布时间:2010-06-13\r\n\r\n网址:www.vondo.example\r\n\r\n版权所有 (C) 2010 Vondo");
  std::vector<std::string> order;
  for (const auto& c : AboutWindow.controls) order.push_back(c.name);
  EXPECT_EQ(order, (std::vector<std::string>{"超级链接框1", "编辑框1", "按钮1", "标签2", "标签1", "高级选择夹1"}));
}

class LinksTest : public ProgramTest {};

TEST_F(LinksTest, EachItemHandsItsAddressToTheShellAlone) {
  Start();
  browser_->calls.clear();
  const std::pair<const char*, const char*> items[] = {
      {item::kHelpMail, "mailto:vondo@vondo.example"},
      {item::kHelpGuestbook, "http://www.vondo.example/guestbook.php"},
      {item::kHelpHome, "http://www.vondo.example"},
      {item::kFileWebVersion, "http://127.0.0.1:8936"},
  };
  std::vector<std::string> expected;
  for (auto [id, address] : items) {
    ASSERT_TRUE(headless::ChooseMenu(MainWindow, id));
    expected.push_back(std::string(address) + "||||1");  // no verb, parameters or folder; shown normally
  }
  headless::ChooseMenu(MainWindow, item::kHelpHome);  // twice is twice
  expected.push_back("http://www.vondo.example||||1");
  EXPECT_EQ(headless::ShellExecutes(), expected);
  // the embedded page stays where it was
  for (const auto& call : browser_->calls) EXPECT_NE(call.dispid, 500) << "navigated again";
}

}  // namespace
}  // namespace vondrel::testing
