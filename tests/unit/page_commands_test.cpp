// Editing commands, the browser's save/print commands and refresh.
#include <gtest/gtest.h>

#include "browser/page_commands.h"
#include "fixture.h"

namespace vondrel::testing {
namespace {

class PageCommandsTest : public ProgramTest {
 protected:
  std::vector<headless::Call> CallsTo(std::int32_t dispid) {
    std::vector<headless::Call> out;
    for (const auto& c : browser_->calls)
      if (c.dispid == dispid) out.push_back(c);
    return out;
  }
};

TEST_F(PageCommandsTest, EditingItemsReachExecCommandWithTheExactNames) {
  Start();
  LoadPage();
  const std::pair<const char*, const char*> items[] = {
      {item::kCtxUndo, "Undo"},     {item::kCtxCut, "Cut"},       {item::kCtxCopy, "copy"},
      {item::kCtxPaste, "Paste"},   {item::kCtxDelete, "Delete"}, {item::kCtxSelectAll, "selectAll"}};
  for (auto [id, name] : items) {
    // the document is fetched afresh each time: the page has moved on
    auto page = std::make_shared<headless::ScriptedDocument>();
    browser_->document = page;
    ASSERT_TRUE(headless::ChooseMenu(MainWindow, id));
    ASSERT_EQ(page->exec_commands.size(), 1u) << name;
    const auto& args = page->exec_commands[0];
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0].type, core::Variant::Type::kText);
    EXPECT_EQ(args[0].text, name);
    EXPECT_EQ(args[1].type, core::Variant::Type::kBool);
    EXPECT_FALSE(args[1].b);
    EXPECT_EQ(args[2].type, core::Variant::Type::kInt);
    EXPECT_EQ(args[2].i, 0);
  }
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(PageCommandsTest, BeforeAnyDocumentEditingDoesNothing) {
  Start();
  EXPECT_TRUE(headless::ChooseMenu(MainWindow, item::kCtxCopy));
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(PageCommandsTest, FileItemsSendExecWBWithOptionZeroAndTwoEmptyVariants) {
  Start();
  const std::pair<const char*, std::int32_t> items[] = {
      {item::kFileSaveAs, 4}, {item::kFilePrint, 6}, {item::kFilePreview, 7}, {item::kFilePageSetup, 8}};
  for (auto [id, command] : items) ASSERT_TRUE(headless::ChooseMenu(MainWindow, id));
  const auto calls = CallsTo(502);
  ASSERT_EQ(calls.size(), 4u);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].flags, core::kMethod);
    ASSERT_EQ(calls[i].args.size(), 4u);
    EXPECT_EQ(calls[i].args[0].type, core::Variant::Type::kInt);
    EXPECT_EQ(calls[i].args[0].i, items[i].second);
    EXPECT_EQ(calls[i].args[1].i, 0);
    EXPECT_TRUE(calls[i].args[2].IsEmpty());
    EXPECT_TRUE(calls[i].args[3].IsEmpty());
  }
}

TEST_F(PageCommandsTest, BothRefreshItemsCheckThenReload) {
  Start();
  LoadPage();
  for (const char* id : {item::kCtxRefresh, item::kFileRefresh}) {
    browser_->calls.clear();
    ASSERT_TRUE(headless::ChooseMenu(MainWindow, id));
    const auto refresh = CallsTo(-550);
    ASSERT_EQ(refresh.size(), 1u) << id;
    EXPECT_EQ(refresh[0].flags, core::kMethod);
    EXPECT_TRUE(refresh[0].args.empty());
  }
  EXPECT_TRUE(headless::MessageBoxes().empty());

  // on an error page: the message first, then the reload all the same
  browser_->document->title = "导航已取消";
  browser_->calls.clear();
  bool reloaded_before_message = false;
  headless::WhileMessageBox([&](const headless::MessageBoxRecord&) -> std::optional<int> {
    reloaded_before_message = !CallsTo(-550).empty();
    return std::nullopt;
  });
  headless::ChooseMenu(MainWindow, item::kFileRefresh);
  EXPECT_EQ(headless::MessageBoxes().size(), 1u);
  EXPECT_FALSE(reloaded_before_message);
  EXPECT_EQ(CallsTo(-550).size(), 1u);
}

TEST_F(PageCommandsTest, WithoutABrowserControlCommandsDoNothing) {
  ASSERT_EQ(StartProgram(), 0);
  for (const char* id : {item::kCtxCopy, item::kFilePrint, item::kFileRefresh, item::kCtxSelectAll})
    EXPECT_TRUE(headless::ChooseMenu(MainWindow, id));
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

}  // namespace
}  // namespace vondrel::testing
