// The version check, the update window and its download events, and the
// replace script.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "fixture.h"
#include "platform/netxfer.h"
#include "update/replace.h"

namespace vondrel::testing {
namespace {

const std::string kVersionUrl = "http://127.0.0.1:8936/updata/ver.php";

struct DocCase {
  std::string body;
  bool offered;
  const char* shown;  // the number in the prompt
};

class VersionDocumentTest : public ProgramTest, public ::testing::WithParamInterface<DocCase> {};

TEST_P(VersionDocumentTest, OffersOnlyAStrictlyNewerVersion) {
  const DocCase& c = GetParam();
  headless::SetHttpResponse(kVersionUrl, c.body);
  headless::AnswerMessageBoxes({core::kAnswerCancel});
  CheckForUpdate(false);
  ASSERT_EQ(headless::HttpReads(), std::vector<std::string>{kVersionUrl});
  EXPECT_EQ(CurrentVersion, 2.1f);
  const auto boxes = headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "软件更新");
  if (c.offered) {
    EXPECT_EQ(boxes[0].text, std::string("Vondrel有最新版本") + c.shown + "，是否要更新？");
    EXPECT_EQ(boxes[0].flags, core::kOkCancel | core::kIconQuestion);
  } else {
    EXPECT_EQ(boxes[0].text, "无可用更新。");
    EXPECT_EQ(boxes[0].flags, core::kOk | core::kIconInformation);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, VersionDocumentTest,
    ::testing::Values(DocCase{"2.1", false, ""}, DocCase{"2.10000001", false, ""}, DocCase{"2.1000001", true, "2.1"},
                      DocCase{"  2.2\r\n", true, "2.2"}, DocCase{"\xA3\xB2\xA3\xAE\xA3\xB2", true, "2.2"},
                      DocCase{"v2.2", false, ""}, DocCase{"", false, ""}, DocCase{"2,2", false, ""},
                      DocCase{"1e1", true, "10"}, DocCase{"2.15 junk", true, "2.15"},
                      DocCase{std::string("3\0" "9", 3), true, "3"}, DocCase{"<html>404</html>", false, ""}));

class UpdateTest : public ProgramTest {
 protected:
  std::string Local() { return headless::Folder() + "/ZADADA5.exe.tmp"; }
  void WritePackage(const std::string& bytes) {
    std::ofstream(Local(), std::ios::binary) << bytes;
  }
  // Runs the callback as the library does: on a thread of its own.
  void Deliver(std::intptr_t type, std::intptr_t first, std::intptr_t second) {
    std::thread([=] { EXPECT_EQ(OnDownloadEvent(type, first, second, 0, 0), 0); }).join();
  }
};

TEST_F(UpdateTest, SilentCheckSpeaksOnlyWhenThereIsSomethingNewer) {
  CheckForUpdate(true);  // unreachable server: an empty body
  headless::SetHttpResponse(kVersionUrl, "2.1");
  CheckForUpdate(true);
  EXPECT_TRUE(headless::MessageBoxes().empty());
  EXPECT_EQ(LatestVersion, 2.1f);
}

TEST_F(UpdateTest, OnlyOkOpensTheUpdateWindow) {
  headless::SetHttpResponse(kVersionUrl, "2.2");
  headless::AnswerMessageBoxes({core::kAnswerCancel, core::kAnswerCancel});  // at start-up, then from the menu
  Start();
  headless::ChooseMenu(MainWindow, item::kHelpUpdate);
  EXPECT_TRUE(headless::AddedTasks().empty());

  bool main_disabled = false;
  headless::WhenShown(UpdateWindow, [&] {
    main_disabled = headless::Window(MainWindow).disabled;
    headless::PressEscape(UpdateWindow);
  });
  headless::AnswerMessageBoxes({core::kAnswerOk});
  headless::ChooseMenu(MainWindow, item::kHelpUpdate);
  EXPECT_TRUE(main_disabled);
  EXPECT_FALSE(headless::IsLoaded(UpdateWindow));
  EXPECT_FALSE(headless::Window(MainWindow).disabled);
  ASSERT_EQ(headless::AddedTasks().size(), 1u);  // the download goes on without the window
}

TEST_F(UpdateTest, TheStartupCheckRunsBeforeTheBrowserExists) {
  headless::SetHttpResponse(kVersionUrl, "2.2");
  core::Handle browser_at_offer = -1;
  headless::WhileMessageBox([&](const headless::MessageBoxRecord&) -> std::optional<int> {
    browser_at_offer = BrowserWindow;
    return core::kAnswerCancel;
  });
  Start();
  EXPECT_EQ(browser_at_offer, 0);
  EXPECT_NE(BrowserWindow, 0);
}

TEST_F(UpdateTest, HelpMenuCheckStopsAtTheConnectivityMessage) {
  Start();
  LoadPage("导航已取消");
  const std::size_t reads = headless::HttpReads().size();
  const std::size_t boxes = headless::MessageBoxes().size();
  headless::ChooseMenu(MainWindow, item::kHelpUpdate);
  EXPECT_EQ(headless::HttpReads().size(), reads);
  ASSERT_EQ(headless::MessageBoxes().size(), boxes + 1);
  EXPECT_EQ(headless::MessageBoxes().back().caption, "信息：");

  browser_->document->title = "Vondrel 快递查询";
  headless::ChooseMenu(MainWindow, item::kHelpUpdate);  // unreachable server
  EXPECT_EQ(headless::MessageBoxes().back().text, "无可用更新。");
}

TEST_F(UpdateTest, StartUpdateDownloadFillsTheRecord) {
  Start();
  WritePackage("leftover");
  core::LoadWindow(UpdateWindow, nullptr, true);
  EXPECT_EQ(core::FileSize(Local()), -1);  // removed before the task was added
  const auto tasks = headless::AddedTasks();
  ASSERT_EQ(tasks.size(), 1u);
  const netxfer::TaskParam& t = tasks[0].record;
  EXPECT_EQ(t.Flags, 4096);
  EXPECT_STREQ(t.Url, "http://127.0.0.1:8936/updata/vd.exe");
  EXPECT_EQ(std::string(t.LocalPath), Local());
  EXPECT_EQ(t.Connections, 5);
  EXPECT_EQ(t.StopWait, 1000);
  EXPECT_EQ(t.ConnectTimeout, 5000);
  EXPECT_EQ(t.SendTimeout, 5000);
  EXPECT_EQ(t.ReceiveTimeout, 10000);
  EXPECT_EQ(t.ReceiveBlock, 10240);
  EXPECT_EQ(t.EventCallback, &OnDownloadEvent);
  // the rest keeps its start-up values
  EXPECT_EQ(t.SpeedLimit, 0);
  EXPECT_EQ(t.SendBlock, 1024);
  EXPECT_EQ(t.FtpTransferType, 1);
  EXPECT_EQ(t.MessageCallback, nullptr);
  EXPECT_EQ(tasks[0].referer, "");
  EXPECT_STREQ(UpdateTask->FtpUser, "anonymous");

  // a second window while the first task runs adds nothing
  core::LoadWindow(UpdateWindow, nullptr, true);
  EXPECT_EQ(headless::AddedTasks().size(), 1u);
}

TEST_F(UpdateTest, AtADriveRootThePathHasADoubledSeparator) {
  Start();
  headless::SetCurrentDirectory("C:\\");
  headless::SetPathSeparator("\\");
  core::LoadWindow(UpdateWindow, nullptr, true);
  ASSERT_EQ(headless::AddedTasks().size(), 1u);
  EXPECT_EQ(headless::AddedTasks()[0].local_path, "C:\\\\ZADADA5.exe.tmp");
}

TEST(ProgressPositionRule, RoundsAndTruncates) {
  struct Case {
    double done, total;
    int position;
  } cases[] = {{995, 1000, 100}, {4, 1000, 0}, {5, 1000, 1}, {0, 0, 0}, {5, 0, 0}, {1000, 1000, 100}, {333, 1000, 33}};
  for (const Case& c : cases) EXPECT_EQ(ProgressPosition(c.done, c.total), c.position) << c.done << "/" << c.total;
}

TEST_F(UpdateTest, TheTimerFollowsTheDoneLength) {
  Start();
  headless::WhenShown(UpdateWindow, [&] {
    headless::SetDoneLength(*UpdateDownload, 500);
    headless::Tick(UpdateWindow, "时钟");
    EXPECT_EQ(headless::Control(UpdateWindow, "进度条1").position, 0);  // no size yet
    Deliver(netxfer::kEventTotalSize, 0, 1000);
    EXPECT_EQ(DownloadTotal.load(), 1000.0);
    headless::SetDoneLength(*UpdateDownload, 995);
    headless::Tick(UpdateWindow, "时钟");
    EXPECT_EQ(headless::Control(UpdateWindow, "进度条1").position, 100);
    for (std::intptr_t type : {5, 6, 7, 8, 9, 16, 18}) Deliver(type, 1, 2);
    EXPECT_EQ(DownloadTotal.load(), 1000.0);
    headless::PressEscape(UpdateWindow);
  });
  core::LoadWindow(UpdateWindow, nullptr, true);
}

TEST_F(UpdateTest, ACompletePackageIsAnnouncedThenReplaced) {
  Start();
  core::LoadWindow(UpdateWindow, nullptr, true);
  const std::string package = std::string("MZ") + std::string(998, 'x');
  WritePackage(package);
  Deliver(netxfer::kEventTotalSize, 0, 1000);
  headless::SetDoneLength(*UpdateDownload, 1000);
  Deliver(netxfer::kEventTaskEnded, 0, 1000);

  const auto boxes = headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "升级完成，点击确认按钮程序重新启动。");
  EXPECT_EQ(boxes[0].caption, "软件更新提示");
  EXPECT_EQ(boxes[0].flags, core::kOk | core::kIconInformation);
  EXPECT_NE(boxes[0].thread, std::this_thread::get_id());
  const auto runs = headless::ProgramRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].command, "5update.bat");
  EXPECT_TRUE(runs[0].wait);
  EXPECT_TRUE(runs[0].hidden);
  EXPECT_EQ(core::FileSize(Local()), 1000);
  // the exit command was handed to the GUI thread, which runs the exit routine
  headless::Pump();
  const auto log = headless::Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "exit posted"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "exit 0"), log.end());
  EXPECT_EQ(BrowserHost, nullptr);
}

TEST_F(UpdateTest, AnythingButACompletePackageFailsCleanly) {
  struct Case {
    const char* why;
    std::string file;
    double total;
    std::int64_t done;
  } cases[] = {
      {"bytes missing", std::string("MZ") + std::string(998, 'x'), 1000, 600},
      {"file shorter", std::string("MZ") + std::string(98, 'x'), 1000, 1000},
      {"not an executable", std::string("<html>") + std::string(994, 'x'), 1000, 1000},
      {"size never known", std::string("MZ"), 0, 0},
      {"no file", "", 1000, 1000},
  };
  for (const Case& c : cases) {
    SetUp();
    Start();
    headless::WhenShown(UpdateWindow, [&] {
      if (!c.file.empty()) WritePackage(c.file);
      if (c.total > 0) Deliver(netxfer::kEventTotalSize, 0, static_cast<std::intptr_t>(c.total));
      headless::SetDoneLength(*UpdateDownload, c.done);
      Deliver(netxfer::kEventTaskEnded, 0, 1000);
    });
    core::LoadWindow(UpdateWindow, nullptr, true);  // returns: the window was closed
    EXPECT_FALSE(headless::IsLoaded(UpdateWindow)) << c.why;
    const auto boxes = headless::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << c.why;
    EXPECT_EQ(boxes[0].text, "升级失败，请稍后重试。");
    EXPECT_EQ(boxes[0].caption, "软件更新提示");
    EXPECT_EQ(boxes[0].flags, core::kOk | core::kIconWarning);
    EXPECT_TRUE(headless::ProgramRuns().empty()) << c.why;
    EXPECT_EQ(core::FileSize(Local()), -1) << c.why;
    const auto log = headless::Log();
    EXPECT_EQ(std::find(log.begin(), log.end(), "abandoned UpdateWindow"), log.end()) << c.why;
    headless::Shutdown();
  }
}

// The library retries an unreachable server for more than an hour; the window
// gives a download up once nothing has arrived for kStallTicks ticks, and only
// a download that is still missing bytes.
TEST_F(UpdateTest, AStalledDownloadIsGivenUpWithTheFailureMessage) {
  struct Case {
    const char* why;
    double total;
    std::int64_t stalled_at;
    bool given_up;
  } cases[] = {
      {"server gone midway", 1000, 400, true},
      {"server never answered", 0, 0, true},
      {"complete, waiting for its message", 1000, 1000, false},
  };
  for (const Case& c : cases) {
    SetUp();
    Start();
    bool early_message = false;
    headless::WhenShown(UpdateWindow, [&] {
      WritePackage("MZ partial");
      if (c.total > 0) Deliver(netxfer::kEventTotalSize, 0, static_cast<std::intptr_t>(c.total));
      // bytes arriving, however slowly, keep it going
      for (std::int64_t done = 0; done < c.stalled_at; done += 10) {
        headless::SetDoneLength(*UpdateDownload, done);
        headless::Tick(UpdateWindow, "时钟");
      }
      headless::SetDoneLength(*UpdateDownload, c.stalled_at);
      for (int i = 0; i < kStallTicks; ++i) headless::Tick(UpdateWindow, "时钟");
      early_message = !headless::MessageBoxes().empty() || headless::DownloadsDestroyed() != 0;
      headless::Tick(UpdateWindow, "时钟");
      // an event 4 already on its way is not announced a second time
      if (c.given_up) Deliver(netxfer::kEventTaskEnded, 0, static_cast<std::intptr_t>(c.stalled_at));
      if (!c.given_up) headless::PressEscape(UpdateWindow);
    });
    core::LoadWindow(UpdateWindow, nullptr, true);
    EXPECT_FALSE(early_message) << c.why;
    EXPECT_FALSE(headless::IsLoaded(UpdateWindow)) << c.why;
    const auto boxes = headless::MessageBoxes();
    if (c.given_up) {
      EXPECT_EQ(headless::DownloadsDestroyed(), 1) << c.why;
      ASSERT_EQ(boxes.size(), 1u) << c.why;
      EXPECT_EQ(boxes[0].text, "升级失败，请稍后重试。");
      EXPECT_EQ(boxes[0].caption, "软件更新提示");
      EXPECT_EQ(boxes[0].flags, core::kOk | core::kIconWarning);
      EXPECT_EQ(core::FileSize(Local()), -1) << c.why;
    } else {
      EXPECT_EQ(headless::DownloadsDestroyed(), 0) << c.why;
      EXPECT_TRUE(boxes.empty()) << c.why;
    }
    EXPECT_TRUE(headless::ProgramRuns().empty()) << c.why;
    headless::Shutdown();
  }
}

TEST(ReplaceScriptText, ExactBytes) {
  EXPECT_EQ(ReplaceScript("vd.exe"),
            "@echo off\r\nTaskkill /f /im vd.exe\r\nDel vd.exe\r\nren ZADADA5.exe.tmp vd.exe\r\nstart vd.exe\r\nDel "
            "%0\r\nExit");
  EXPECT_EQ(ReplaceScript("Vondrel_2-0.EXE"),
            "@echo off\r\nTaskkill /f /im Vondrel_2-0.EXE\r\nDel Vondrel_2-0.EXE\r\nren ZADADA5.exe.tmp "
            "Vondrel_2-0.EXE\r\nstart Vondrel_2-0.EXE\r\nDel %0\r\nExit");
  EXPECT_EQ(ReplaceScript("my vd.exe"),
            "@echo off\r\nTaskkill /f /im \"my vd.exe\"\r\nDel \"my vd.exe\"\r\nren ZADADA5.exe.tmp \"my "
            "vd.exe\"\r\nstart \"\" \"my vd.exe\"\r\nDel %0\r\nExit");
  EXPECT_EQ(ReplaceScript("50%&x.exe"),
            "@echo off\r\nTaskkill /f /im \"50%%&x.exe\"\r\nDel \"50%%&x.exe\"\r\nren ZADADA5.exe.tmp "
            "\"50%%&x.exe\"\r\nstart \"\" \"50%%&x.exe\"\r\nDel %0\r\nExit");
}

TEST_F(UpdateTest, ReplaceAndRestartWritesRunsThenEnds) {
  headless::SetExecutableName("快递.exe");
  CreateSharedObjects();
  core::SetExitRoutine(&ReleaseSharedObjects);
  ReplaceAndRestart();
  std::ifstream in(headless::Folder() + "/5update.bat", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes, ReplaceScript("快递.exe"));
  EXPECT_EQ(bytes.back(), 't');  // no line break, no zero at the end
  ASSERT_EQ(headless::ProgramRuns().size(), 1u);
  EXPECT_EQ(headless::ProgramRuns()[0].command, "5update.bat");
  const auto log = headless::Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "exit 0"), log.end());
  EXPECT_EQ(UpdateTask, nullptr);
}

}  // namespace
}  // namespace vondrel::testing
