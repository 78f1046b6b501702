// The browser in the main window: start-up, load feedback, the document
// getter, the right-click hook and the connectivity check.
#include <gtest/gtest.h>

#include <algorithm>

#include "fixture.h"
#include "platform/statusbar.h"

namespace vondrel::testing {
namespace {

std::string StatusText() { return statusbar::GetText(MainWindow, "状态条1", 1); }
bool CoverVisible() {
  return headless::Control(MainWindow, "标签2").visible || headless::Control(MainWindow, "标签1").visible ||
         headless::Control(MainWindow, "图片框1").visible;
}

TEST(LoadPercentageRule, TruncatesAndTakesTheLow32Bits) {
  struct Case {
    std::int32_t progress, maximum, percent;
  } cases[] = {{50, 200, 25}, {1, 3, 33},   {2, 3, 66},   {200, 200, 100}, {300, 200, 100},
               {0, 0, 100},   {-1, 150, 0}, {-1, 50, -2}, {-1, 0, 0},      {2147483647, 2147483646, 100},
               {-2147483647 - 1, 1, 0}};
  for (const Case& c : cases) EXPECT_EQ(LoadPercentage(c.progress, c.maximum), c.percent) << c.progress << "/" << c.maximum;
  // -2^31 * 100 truncates to -214748364800, whose low 32 bits are 0
}

class BrowserTest : public ProgramTest {};

TEST_F(BrowserTest, CreatesTheControlBindsItsEventsAndOpensTheStartPage) {
  Start();
  ASSERT_NE(BrowserWindow, 0);
  auto native = headless::NativeWindow(BrowserWindow);
  ASSERT_TRUE(native);
  EXPECT_EQ(native->top, 1);
  ASSERT_FALSE(browser_->calls.empty());
  const headless::Call& nav = browser_->calls.front();
  EXPECT_EQ(nav.dispid, 500);
  EXPECT_EQ(nav.flags, core::kMethod);
  ASSERT_EQ(nav.args.size(), 5u);
  EXPECT_EQ(nav.args[0].text, "http://127.0.0.1:8936/index20.html");
  for (int i = 1; i < 5; ++i) EXPECT_TRUE(nav.args[i].IsEmpty()) << i;
  EXPECT_EQ(headless::HookInstalls(), 1);

  browser_->FireStatusText("正在打开网页 http://127.0.0.1:8936/index20.html...");
  EXPECT_EQ(StatusText(), "正在打开网页 http://127.0.0.1:8936/index20.html...");
  browser_->FireStatusText(nullptr);
  EXPECT_EQ(StatusText(), "");
  EXPECT_EQ(statusbar::GetText(MainWindow, "状态条1", 0), "当前状态:");
}

TEST_F(BrowserTest, ProgressFeedsBothTextsAndHidesTheCoverAtFullPercent) {
  Start();
  browser_->FireProgress(50, 200);
  EXPECT_EQ(StatusText(), "已经载入 25 %");
  EXPECT_EQ(headless::Control(MainWindow, "标签1").caption, "数据加载中...25 %");
  EXPECT_EQ(headless::Control(MainWindow, "标签2").caption, "");
  browser_->FireProgress(-1, 50);
  EXPECT_EQ(StatusText(), "已经载入 -2 %");
  EXPECT_TRUE(CoverVisible());

  headless::ClearLog();
  browser_->FireProgress(300, 200);
  EXPECT_EQ(StatusText(), "已经载入 100 %");
  EXPECT_FALSE(CoverVisible());
  std::vector<std::string> hides;
  for (const std::string& line : headless::Log())
    if (line.size() > 4 && line.ends_with(" 5 0")) hides.push_back(line);
  EXPECT_EQ(hides, (std::vector<std::string>{"set MainWindow 图片框1 5 0", "set MainWindow 标签1 5 0",
                                             "set MainWindow 标签2 5 0"}));
  // later events still write the captions of the hidden controls
  browser_->FireProgress(10, 100);
  EXPECT_EQ(headless::Control(MainWindow, "标签1").caption, "数据加载中...10 %");
  EXPECT_FALSE(CoverVisible());
}

TEST_F(BrowserTest, DocumentCompleteHidesTheCoverAndHooksTheRightClickOnce) {
  Start();
  LoadPage();
  EXPECT_FALSE(CoverVisible());
  EXPECT_EQ(StatusText(), "就绪");
  EXPECT_EQ(ContextMenuHooked, 1);
  EXPECT_TRUE(headless::MessageBoxes().empty());

  headless::SetCursor(100, 200);
  headless::ChooseInNextPopup(item::kCtxSelectAll);
  const auto page = browser_->document;
  EXPECT_FALSE(page->RaiseContextMenu());  // the browser's own menu is cancelled
  const auto popups = headless::Popups();
  ASSERT_EQ(popups.size(), 1u);
  const headless::Popup& p = popups[0];
  EXPECT_EQ(p.owner, "MainWindow");
  EXPECT_EQ(p.x, 103);
  EXPECT_EQ(p.y, 203);
  EXPECT_EQ(p.items, (std::vector<std::string>{"刷新(&R)", "撤消(&U)", "-", "剪切(&T)", "复制(&C)", "粘贴(&P)",
                                               "删除(&D)", "-", "全选(&A)", "关于..."}));
  ASSERT_EQ(page->exec_commands.size(), 1u);
  EXPECT_EQ(page->exec_commands[0][0].text, "selectAll");

  // a page loaded later is not hooked: its right-click keeps the browser's menu
  browser_->document = std::make_shared<headless::ScriptedDocument>();
  browser_->FireDocumentComplete();
  EXPECT_TRUE(browser_->document->RaiseContextMenu());
  EXPECT_TRUE(page->connected());
  EXPECT_EQ(headless::Popups().size(), 1u);
}

TEST_F(BrowserTest, WithoutADocumentTheHookIsTriedAgainAtTheNextComplete) {
  Start();
  browser_->FireDocumentComplete();  // no document yet
  EXPECT_EQ(ContextMenuHooked, 0);
  EXPECT_FALSE(CoverVisible());
  EXPECT_TRUE(headless::MessageBoxes().empty());  // an empty title passes
  LoadPage();
  EXPECT_EQ(ContextMenuHooked, 1);
}

TEST_F(BrowserTest, AnErrorPageShowsTheConnectivityMessageAtEachCompleteUntilHooked) {
  Start();
  auto doc = std::make_shared<headless::ScriptedDocument>();
  doc->title = "Internet Explorer 无法显示该网页";
  doc->has_events = false;  // binding fails: the check repeats
  browser_->document = doc;
  browser_->FireDocumentComplete();
  browser_->FireDocumentComplete();
  ASSERT_EQ(headless::MessageBoxes().size(), 2u);
  const auto box = headless::MessageBoxes()[0];
  EXPECT_EQ(box.text, "无法联接上网络，此工具只能联网才能正常使用，请检查电脑是否已联网。");
  EXPECT_EQ(box.caption, "信息：");
  EXPECT_EQ(box.flags, core::kOk);
  EXPECT_EQ(StatusText(), "就绪");
  EXPECT_EQ(ContextMenuHooked, 0);
}

TEST_F(BrowserTest, ACompleteDuringTheMessageRunsItsStepsAgain) {
  Start();
  auto doc = std::make_shared<headless::ScriptedDocument>();
  doc->title = "导航已取消";
  browser_->document = doc;
  int nested = 0;
  headless::WhileMessageBox([&](const headless::MessageBoxRecord&) -> std::optional<int> {
    if (nested++ == 0) browser_->FireDocumentComplete();
    return std::nullopt;
  });
  browser_->FireDocumentComplete();
  EXPECT_EQ(headless::MessageBoxes().size(), 2u);
  EXPECT_EQ(ContextMenuHooked, 1);
}

TEST_F(BrowserTest, CheckConnectionComparesWholeTitlesExactly) {
  Start();
  struct Case {
    const char* title;
    bool passes;
  } cases[] = {{"导航已取消", false},
               {"Internet Explorer 无法显示该网页", false},
               {"Internet Explorer 无法显示该网页 ", true},
               {"internet explorer 无法显示该网页", true},
               {"导航已取消。", true},
               {"", true},
               {"Vondrel 快递查询", true}};
  browser_->document = std::make_shared<headless::ScriptedDocument>();
  for (const Case& c : cases) {
    browser_->document->title = c.title;
    const std::size_t before = headless::MessageBoxes().size();
    EXPECT_EQ(CheckConnection(), c.passes) << c.title;
    EXPECT_EQ(headless::MessageBoxes().size(), before + (c.passes ? 0 : 1)) << c.title;
  }
  browser_->document.reset();
  EXPECT_TRUE(CheckConnection());  // no document reads as an empty title
}

TEST_F(BrowserTest, GetDocumentReadsMember203) {
  Start();
  EXPECT_EQ(GetDocument(BrowserHost), nullptr);
  LoadPage();
  browser_->calls.clear();
  core::ComObject doc = GetDocument(BrowserHost);
  EXPECT_EQ(doc, browser_->document);
  ASSERT_EQ(browser_->calls.size(), 1u);
  EXPECT_EQ(browser_->calls[0].dispid, 203);
  EXPECT_EQ(browser_->calls[0].flags, core::kPropertyGet);
  EXPECT_TRUE(browser_->calls[0].args.empty());
}

}  // namespace
}  // namespace vondrel::testing
