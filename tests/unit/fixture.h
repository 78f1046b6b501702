// A program started on the headless backend, with a scripted browser.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/program.h"
#include "browser/browser.h"
#include "platform/headless/headless.h"
#include "resources/windows.h"
#include "update/update_window.h"
#include "update/version_check.h"

namespace vondrel::testing {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    BrowserWindow = 0;
    ContextMenuHooked = 0;
    CurrentVersion = LatestVersion = 0;
    DownloadTotal = 0;
  }
  void TearDown() override { headless::Shutdown(); }

  // The browser control exists and the program runs up to its idle loop.
  void Start() {
    browser_ = headless::InstallBrowser();
    ASSERT_EQ(StartProgram(), 0);
  }
  // The loaded page: a document with a title, then DocumentComplete.
  void LoadPage(const std::string& title = "Vondrel 快递查询") {
    browser_->document = std::make_shared<headless::ScriptedDocument>();
    browser_->document->title = title;
    browser_->FireDocumentComplete();
  }

  std::shared_ptr<headless::ScriptedBrowser> browser_;
};

}  // namespace vondrel::testing
