// Start-up, the main window, its layout rule and the ways out.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_window.h"
#include "fixture.h"

namespace vondrel::testing {
namespace {

using headless::Log;

std::vector<std::string> Matching(const std::vector<std::string>& log, std::initializer_list<std::string> keep) {
  std::vector<std::string> out;
  for (const std::string& line : log)
    if (std::find(keep.begin(), keep.end(), line) != keep.end()) out.push_back(line);
  return out;
}

TEST(Centring, SignedDivisionTowardZero) {
  struct Case {
    int sw, sh, x, y;
  } cases[] = {{1024, 768, 42, 10}, {1280, 1024, 170, 138}, {800, 600, -69, -74}};
  for (const Case& c : cases) {
    const core::Point p = core::CenteredOrigin(c.sw, c.sh, 939, 748);
    EXPECT_EQ(p.x, c.x) << c.sw;
    EXPECT_EQ(p.y, c.y) << c.sh;
  }
}

TEST(BrowserRectRule, BelowTheLineAboveTheStatusBar) {
  const Rect r = BrowserRect(800, 600, 20);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 1);
  EXPECT_EQ(r.width, 800);
  EXPECT_EQ(r.height, 579);
  EXPECT_EQ(BrowserRect(0, 0, 20).height, -21);  // minimised: applied as 0
}

class MainWindowTest : public ProgramTest {};

TEST_F(MainWindowTest, ComesUpCentredWithEventsInOrderBeforeItShows) {
  headless::SetScreen(800, 600);
  Start();
  const auto& w = headless::Window(MainWindow);
  EXPECT_EQ(w.left, -69);
  EXPECT_EQ(w.top, -74);
  EXPECT_EQ(Matching(Log(), {"initialize", "created MainWindow", "moved MainWindow", "resized MainWindow",
                             "shown MainWindow"}),
            (std::vector<std::string>{"initialize", "created MainWindow", "moved MainWindow", "resized MainWindow",
                                      "shown MainWindow"}));
  // the version check ran before the browser was created and navigated
  ASSERT_EQ(headless::HttpReads().size(), 1u);
  ASSERT_FALSE(browser_->calls.empty());
  EXPECT_EQ(browser_->calls.front().dispid, kDispidNavigate2);
}

TEST_F(MainWindowTest, InitialControlsAndMenus) {
  Start();
  EXPECT_EQ(MainWindow.caption, std::string("Vondrelv2.0 - 博客：") + "blog.vondo.example");
  std::vector<std::string> order;
  for (const auto& c : MainWindow.controls) order.push_back(c.name);
  EXPECT_EQ(order, (std::vector<std::string>{"标签1", "图片框1", "标签2", "分隔条1", "状态条1", "超级菜单1"}));
  for (const char* name : {"标签1", "图片框1", "标签2", "分隔条1", "状态条1"})
    EXPECT_TRUE(headless::Control(MainWindow, name).visible) << name;
  EXPECT_FALSE(headless::Control(MainWindow, "超级菜单1").visible);
  EXPECT_EQ(headless::Control(MainWindow, "标签1").caption, "数据加载中...");
  EXPECT_EQ(headless::Control(MainWindow, "状态条1").parts, (std::vector<std::string>{"当前状态:", ""}));

  std::vector<std::string> bar;
  for (const auto& m : MainWindow.menus)
    if (m.visible) bar.push_back(m.text);
  EXPECT_EQ(bar, (std::vector<std::string>{"文件(&F)", "帮助(&H)"}));
  std::vector<std::string> file, help;
  for (const auto& i : MainWindow.FindMenu("File")->items) file.push_back(i.text);
  for (const auto& i : MainWindow.FindMenu("Help")->items) help.push_back(i.text);
  EXPECT_EQ(file, (std::vector<std::string>{"刷新页面(&R)", "页面另存为(&A)", "查看网页版(&W)", "-", "打印(&P)",
                                            "打印预览(&V)", "页面设置(&U)", "-", "退出(&X)"}));
  EXPECT_EQ(help, (std::vector<std::string>{"检查更新(&C)", "联系邮箱(&E)", "我要留言(&G)", "Vondo主页(&W)", "-",
                                            "关于 Vondo(&A)..."}));
}

TEST_F(MainWindowTest, LayoutFollowsTheClientArea) {
  Start();
  const auto& w = headless::Window(MainWindow);
  // the first size event already ran: the line spans the client width, not 1000
  EXPECT_EQ(headless::Control(MainWindow, "分隔条1").width, w.client_width);
  ASSERT_NE(BrowserWindow, 0);

  headless::Resize(MainWindow, 800, 600);
  auto native = headless::NativeWindow(BrowserWindow);
  ASSERT_TRUE(native);
  EXPECT_EQ(native->left, 0);
  EXPECT_EQ(native->top, 1);
  EXPECT_EQ(native->width, 800);
  EXPECT_EQ(native->height, 579);
  const auto& cover = headless::Control(MainWindow, "标签2");
  EXPECT_EQ(cover.left, 0);
  EXPECT_EQ(cover.top, 1);
  EXPECT_EQ(cover.width, 800);
  EXPECT_EQ(cover.height, 579);
  // the caption and the picture stay where they are
  EXPECT_EQ(headless::Control(MainWindow, "标签1").left, 407);
  EXPECT_EQ(headless::Control(MainWindow, "图片框1").top, 240);

  headless::Resize(MainWindow, 0, 0);  // minimised
  EXPECT_EQ(headless::NativeWindow(BrowserWindow)->height, 0);
  EXPECT_EQ(headless::Control(MainWindow, "标签2").height, 0);
  headless::Resize(MainWindow, 800, 600);  // restored
  EXPECT_EQ(headless::NativeWindow(BrowserWindow)->height, 579);

  // once the page is there the cover keeps its last size
  LoadPage();
  headless::Resize(MainWindow, 1000, 700);
  EXPECT_EQ(headless::NativeWindow(BrowserWindow)->width, 1000);
  EXPECT_EQ(headless::Control(MainWindow, "标签2").width, 800);
  EXPECT_FALSE(headless::Control(MainWindow, "标签2").visible);
}

TEST_F(MainWindowTest, EveryWayOutReleasesTheSharedObjectsOnceInOrder) {
  for (int way = 0; way < 3; ++way) {
    SetUp();
    Start();
    LoadPage();  // DocumentEventsHost holds the document
    if (way == 0) headless::ChooseMenu(MainWindow, item::kFileExit);
    if (way == 1) headless::CloseBox(MainWindow);
    if (way == 2) headless::PressEscape(MainWindow);
    EXPECT_FALSE(headless::IsLoaded(MainWindow)) << way;
    headless::Shutdown();
    headless::Shutdown();  // a second pass does not run the routine again
    EXPECT_EQ(Matching(Log(), {"exit routine", "browser disconnected", "download destroyed",
                               "document disconnected"}),
              (std::vector<std::string>{"exit routine", "browser disconnected", "download destroyed",
                                        "document disconnected"}))
        << way;
    EXPECT_EQ(BrowserHost, nullptr);
    EXPECT_EQ(UpdateDownload, nullptr);
    EXPECT_EQ(DocumentEventsHost, nullptr);
    EXPECT_EQ(UpdateTask, nullptr);
  }
}

TEST_F(MainWindowTest, NoBrowserControlStillLaysOutAndEndsCleanly) {
  ASSERT_EQ(StartProgram(), 0);  // nothing registered under the ProgID
  EXPECT_EQ(BrowserWindow, 0);
  headless::Resize(MainWindow, 800, 600);
  EXPECT_EQ(headless::Control(MainWindow, "分隔条1").width, 800);
  EXPECT_EQ(headless::Control(MainWindow, "标签2").height, 579);
  EXPECT_TRUE(headless::Control(MainWindow, "标签2").visible);
  EXPECT_EQ(headless::HookInstalls(), 1);
  headless::ChooseMenu(MainWindow, item::kFileExit);
  headless::Shutdown();
  const auto log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "exit routine"), 1);
  EXPECT_EQ(headless::DownloadsDestroyed(), 1);
  EXPECT_EQ(UpdateTask, nullptr);
}

TEST_F(MainWindowTest, AStartWindowThatCannotLoadIsFatalWithoutTheExitRoutine) {
  headless::FailNextLoad();
  StartProgram();
  headless::Shutdown();
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "fatal -1"), log.end());
  EXPECT_EQ(std::find(log.begin(), log.end(), "exit routine"), log.end());
  ReleaseSharedObjects();  // the process would have ended here; the test binary goes on
}

}  // namespace
}  // namespace vondrel::testing
