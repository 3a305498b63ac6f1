// The program's windows around a test: the report classes registered, the single-instance
// windows made and the main window shown and active. Errors are collected instead of
// shown; message boxes are answered from `answers` in order, and one that finds no answer
// left fails the test (answered Cancel). At the end every document is closed unsaved.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "framework/Application.h"
#include "report/QRCtrls.h"

namespace rpt::test {

struct ShellTest : ::testing::Test {
  QTemporaryDir dir;
  std::vector<std::string> errors;
  std::deque<int> answers;           // message box answers, in order
  std::vector<std::string> prompts;  // message box texts
  // New's data dialog is confirmed without a dataset, unless a fixture drives the real one.
  bool StubDataDialog = true;

  void SetUp() override {
    RegisterReportClasses();
    SetMessageBoxHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      prompts.push_back(text);
      if (answers.empty()) ADD_FAILURE() << "unexpected message box: " << text;
      const int a = answers.empty() ? int(mrCancel) : answers.front();
      if (!answers.empty()) answers.pop_front();
      return a;
    });
    TApplication::Instance()->SetErrorHook([this](const std::string& m) { errors.push_back(m); });
    // As the program does: windows closing between tests leave no quit request behind
    // that would end the next modal dialog at once.
    QApplication::setQuitOnLastWindowClosed(false);
    // Paste follows the clipboard: every test starts with an empty one.
    QGuiApplication::clipboard()->clear();
    CreateSingleInstanceWindows();
    if (StubDataDialog) frmMain->DataDialog = [](TfrmDoc*) { return true; };
    frmMain->show();
    frmMain->activateWindow();
    QApplication::setActiveWindow(frmMain);
    ASSERT_TRUE(QTest::qWaitForWindowActive(frmMain));
  }

  void TearDown() override {
    if (frmMain) {
      for (TfrmDoc* d : frmMain->Documents()) d->Modified = false;
      frmMain->CloseAllDocuments();
      QCoreApplication::processEvents();
    }
    DestroySingleInstanceWindows();
    SetMessageBoxHook(nullptr);
    TApplication::Instance()->SetErrorHook(nullptr);
  }

  std::string Path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
  TfrmDoc* New() {
    frmMain->Action("actNew")->trigger();
    return frmMain->ActiveDocument();
  }
  void Idle() { frmMain->ActionList()->UpdateActions(); }
};

}  // namespace rpt::test
