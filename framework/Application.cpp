#include "framework/Application.h"

#include <QAbstractEventDispatcher>
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>

#include "framework/Controls.h"
#include "framework/Peer.h"

namespace rpt {

namespace {
// A modal window stays above the windows that float above the others (the properties
// window), or it could open hidden behind them.
void KeepAboveFloatingWindows(QWidget& window) {
  for (const QWidget* w : QApplication::topLevelWidgets())
    if (w != &window && w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
      window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
      return;
    }
}

TApplication* gApplication = nullptr;
TMessageBoxHook gMessageBoxHook;

class TApplicationOwner : public TComponent {
 public:
  TApplicationOwner() = default;
};
}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv), FOwner(new TApplicationOwner) {
  gApplication = this;
  InstallWindowLayer();
  if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { DoIdle(); });
}

TApplication::~TApplication() {
  FOwner->Free();
  if (gApplication == this) gApplication = nullptr;
}

TApplication* TApplication::Instance() { return gApplication; }

// Not the toolkit's display name: that is appended to every window title, which doubled
// the main window's ("Report designer - [Document1] — Report designer").
void TApplication::SetTitle(const std::string& title) { FTitle = title; }

void TApplication::HandleException(const std::string& message) {
  if (FErrorHook) {
    FErrorHook(message);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(FTitle), QString::fromStdString(message),
                  QMessageBox::Ok, activeWindow());
  KeepAboveFloatingWindows(box);
  box.exec();
}

int TApplication::AddIdleHandler(TIdleHandler handler) {
  const int id = FNextIdleId++;
  FIdleHandlers.emplace_back(id, std::move(handler));
  FIdlePending = true;
  return id;
}

void TApplication::RemoveIdleHandler(int id) {
  std::erase_if(FIdleHandlers, [id](const auto& h) { return h.first == id; });
}

void TApplication::DoIdle() {
  if (FInIdle || !FIdlePending) return;
  FInIdle = true;
  FIdlePending = false;
  try {
    for (const auto& [id, handler] : std::vector<std::pair<int, TIdleHandler>>(FIdleHandlers)) handler();
  } catch (const std::exception& e) {
    FInIdle = false;
    HandleException(e.what());
    return;
  }
  FInIdle = false;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  if (!FInIdle) FIdlePending = true;
  if (FShortcutClaim && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
      receiver->isWidgetType() && !activeModalWidget()) {
    auto* key = static_cast<QKeyEvent*>(event);
    const int combined = key->key() | static_cast<int>(key->modifiers() & ~Qt::KeypadModifier);
    if (FShortcutClaim(combined)) {
      // Not overridden: the shortcut runs. A key press that still arrives belongs to a
      // disabled command, and goes no further.
      if (event->type() == QEvent::ShortcutOverride) {
        event->ignore();
        return false;
      }
      return true;
    }
  }
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    HandleException(e.what());
  } catch (...) {
    HandleException("Unknown error");
  }
  return false;
}

void HandleErrors(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    TApplication* app = TApplication::Instance();
    if (!app) throw;
    app->HandleException(e.what());
  }
}

int ExecDialog(QDialog& dialog) {
  const QPointer<QWidget> active = QApplication::activeWindow();
  KeepAboveFloatingWindows(dialog);
  // A dialog never sized by hand takes its layout's size when shown; it is centred by
  // that size, not by the default one it has before.
  if (!dialog.testAttribute(Qt::WA_Resized)) dialog.adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen())
    dialog.move(screen->availableGeometry().center() - dialog.rect().center());
  const int result = dialog.exec();
  if (active && active->isVisible()) active->activateWindow();
  return result;
}

QString AnyCaseFilters(const QString& filters) {
  static const QRegularExpression pattern(R"(\(([^()]*)\))");
  QString result;
  qsizetype last = 0;
  for (auto it = pattern.globalMatch(filters); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    QStringList patterns;
    for (const QString& p : m.captured(1).split(' ', Qt::SkipEmptyParts))
      for (const QString& form : {p, p.toLower(), p.toUpper()})
        if (!patterns.contains(form)) patterns << form;
    result += filters.mid(last, m.capturedStart(1) - last) + patterns.join(' ');
    last = m.capturedEnd(1);
  }
  return result + filters.mid(last);
}

// ---------------------------------------------------------------------------

void SetMessageBoxHook(TMessageBoxHook hook) { gMessageBoxHook = std::move(hook); }

namespace {

// The window a message box belongs to: the active one, else the program's main window,
// so the box never floats on its own in the middle of the screen.
QWidget* MessageBoxOwner() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->inherits("QMainWindow")) return w;
  return nullptr;
}

}  // namespace

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  if (gMessageBoxHook) return gMessageBoxHook(text, type, buttons);
  QMessageBox::Icon icon = QMessageBox::Information;
  switch (type) {
    case mtWarning: icon = QMessageBox::Warning; break;
    case mtError: icon = QMessageBox::Critical; break;
    case mtConfirmation: icon = QMessageBox::Question; break;
    default: break;
  }
  QMessageBox::StandardButtons qb;
  if (buttons.Contains(mbYes)) qb |= QMessageBox::Yes;
  if (buttons.Contains(mbNo)) qb |= QMessageBox::No;
  if (buttons.Contains(mbOK)) qb |= QMessageBox::Ok;
  if (buttons.Contains(mbCancel)) qb |= QMessageBox::Cancel;
  const std::string title = TApplication::Instance() ? TApplication::Instance()->Title() : std::string();
  QMessageBox box(icon, QString::fromStdString(title), QString::fromStdString(text), qb, MessageBoxOwner());
  KeepAboveFloatingWindows(box);
  switch (box.exec()) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    default: return mrCancel;
  }
}

void ShowMessage(const std::string& text) { MessageDlg(text, mtInformation, {mbOK}); }

bool CanShowMessages() {
  return static_cast<bool>(gMessageBoxHook) || qobject_cast<QApplication*>(QCoreApplication::instance());
}

}  // namespace rpt
