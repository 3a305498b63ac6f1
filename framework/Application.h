#pragma once
// The application object: runs the event loop, shows every error that escapes a
// user-started operation in one message box and goes on, runs idle work (action update
// rules) when the event loop has nothing queued, and gives the main window's shortcuts
// precedence over the focused control.
#include <QApplication>
#include <functional>
#include <string>
#include <vector>

#include "objects/Component.h"

class QDialog;

namespace rpt {

enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation };
enum TMsgDlgBtn : uint8_t { mbYes, mbNo, mbOK, mbCancel };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  static TApplication* Instance();

  // The owner of the program's forms.
  TComponent* Owner() const { return FOwner; }

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& title);

  // Every exception that reaches the event loop ends here.
  void HandleException(const std::string& message);
  // Replaces the message box of HandleException (tests record instead).
  using TErrorHook = std::function<void(const std::string&)>;
  void SetErrorHook(TErrorHook hook) { FErrorHook = std::move(hook); }

  // Idle work: runs when the event loop is about to wait, once after events arrived.
  using TIdleHandler = std::function<void()>;
  int AddIdleHandler(TIdleHandler handler);
  void RemoveIdleHandler(int id);
  void DoIdle();

  // Shortcut precedence: a key the claim function accepts never reaches the focused
  // control; it runs the shortcut (when its command is enabled) or nothing.
  using TShortcutClaim = std::function<bool(int qtKeyWithModifiers)>;
  void SetShortcutClaim(TShortcutClaim claim) { FShortcutClaim = std::move(claim); }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  TComponent* FOwner;
  std::string FTitle;
  TErrorHook FErrorHook;
  std::vector<std::pair<int, TIdleHandler>> FIdleHandlers;
  int FNextIdleId = 1;
  bool FIdlePending = true;
  bool FInIdle = false;
  TShortcutClaim FShortcutClaim;
};

// Runs a step of a widget's signal handler: an error it raises goes to the
// application's handler here rather than unwinding through the toolkit's frames.
// Without an application object the error propagates.
void HandleErrors(const std::function<void()>& step);

// Runs a dialog modally, centred on the screen, and gives the activation back to the
// window that had it, also where no window manager does (a virtual display).
int ExecDialog(QDialog& dialog);
// File dialog filters match names case-sensitively on Linux: each "*.ext" of the filters
// ("Reports (*.rpt);;...") also lists its lower- and upper-case forms, so "x.QRP" and
// "x.qrp" both show.
QString AnyCaseFilters(const QString& filters);

// Message boxes go through one hook so tests can answer them.
using TMessageBoxHook = std::function<int(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)>;
void SetMessageBoxHook(TMessageBoxHook hook);
// Shows a message box; returns mrYes, mrNo, mrOk or mrCancel.
int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
void ShowMessage(const std::string& text);
// Whether a message box can be shown (a hook answers, or widgets exist): headless tools
// that run model code have neither.
bool CanShowMessages();

}  // namespace rpt
