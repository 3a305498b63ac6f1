// uishot: starts the program's windows as the program does, drives them with
// synthesized pointer and key input through the window system's event path (so mouse
// grabs, hover and shortcuts behave as for a user), and saves a picture after every
// step. Runs on a virtual X display or on the off-screen platform.
//
//   uishot [-o DIR] SCENARIO...      (uishot --list names the scenarios)
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "app/Startup.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "designer/Engine.h"
#include "framework/Peer.h"
#include "tools/uishot/StandIns.h"

namespace rpt::uishot {
namespace {

class TShot {
 public:
  TShot(QString dir, std::string scenario) : FDir(std::move(dir)), FScenario(std::move(scenario)) {}

  // Lets queued work and idle update rules run, then saves what the user sees: the main
  // window with every window over it (menus, hints, message boxes).
  void Take(const std::string& step) {
    Settle();
    QRect area = frmMain->frameGeometry();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w != frmProps && w != frmMain) area |= w->frameGeometry();
    QPixmap picture;
    if (QScreen* screen = frmMain->screen()) {
      area &= screen->geometry();
      picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    }
    if (picture.isNull()) picture = frmMain->grab();
    Save(step, picture);
  }

  void Save(const std::string& step, const QPixmap& picture) {
    const QString file =
        QDir(FDir).filePath(QString("%1-%2-%3.png").arg(QString::fromStdString(FScenario)).arg(++FCount, 2, 10,
                                                                                                   QChar('0'))
                                .arg(QString::fromStdString(step)));
    if (!picture.save(file)) {
      std::fprintf(stderr, "uishot: cannot write %s\n", qPrintable(file));
      ++Failures;
      return;
    }
    std::printf("%s\n", qPrintable(file));
  }

  // An enlarged picture of one widget, for glyphs and handles.
  void TakeDetail(const std::string& step, QWidget* w, int scale) {
    Settle();
    const QPixmap picture = w->grab();
    Save(step, picture.scaled(picture.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
  }

  static void Settle() {
    for (int i = 0; i < 5; ++i) {
      QCoreApplication::processEvents();
      if (TApplication* app = TApplication::Instance()) app->DoIdle();
    }
    QTest::qWait(30);
  }

  int Failures = 0;

 private:
  QString FDir;
  std::string FScenario;
  int FCount = 0;
};

// Pointer and keys through the window of the widget, as the window system delivers them.
QWindow* WindowOf(QWidget* w) { return w->window()->windowHandle(); }
QPoint InWindow(QWidget* w, QPoint p) { return w->mapTo(w->window(), p); }

void Move(QWidget* w, QPoint p) { QTest::mouseMove(WindowOf(w), InWindow(w, p)); }
void Press(QWidget* w, QPoint p, Qt::KeyboardModifiers mods = {}) {
  Move(w, p);
  QTest::mousePress(WindowOf(w), Qt::LeftButton, mods, InWindow(w, p));
}
void Release(QWidget* w, QPoint p, Qt::KeyboardModifiers mods = {}) {
  QTest::mouseRelease(WindowOf(w), Qt::LeftButton, mods, InWindow(w, p));
}
void Click(QWidget* w, QPoint p, Qt::KeyboardModifiers mods = {}) {
  Press(w, p, mods);
  Release(w, p, mods);
  TShot::Settle();
}
void Click(QWidget* w) { Click(w, w->rect().center()); }

// A drag from one point to another of the same widget in steps; `middle` runs (for a
// picture) with the button still down, two thirds of the way.
void Drag(QWidget* w, QPoint from, QPoint to, const std::function<void()>& middle = {}, int steps = 6,
          Qt::KeyboardModifiers mods = {}) {
  Press(w, from, mods);
  TShot::Settle();
  for (int i = 1; i <= steps; ++i) {
    const QPoint p = from + (to - from) * i / steps;
    QTest::mouseMove(WindowOf(w), InWindow(w, p));
    QCoreApplication::processEvents();
    if (i == steps * 2 / 3 && middle) middle();
  }
  Release(w, to, mods);
  TShot::Settle();
}

QWidget* ToolButtonOf(const char* action) {
  for (QToolBar* bar : frmMain->findChildren<QToolBar*>())
    if (QWidget* b = bar->widgetForAction(frmMain->Action(action))) return b;
  return nullptr;
}

TfrmDoc* Doc() { return frmMain->ActiveDocument(); }
QWidget* Page() { return PeerWidget(Doc()->Report); }
TZQKEngine* Engine() { return Doc()->ZQKDesigner1->Engine(); }

// New from the first tool bar; the data dialog is answered with OK.
TfrmDoc* NewDocument() {
  Click(ToolButtonOf("actNew"));
  return Doc();
}

// Inserts one element of a palette button by dragging its rectangle on the page.
TControl* Insert(int button, QRect onPage) {
  Click(frmMain->PaletteButton(button));
  Drag(Page(), onPage.topLeft(), onPage.bottomRight() + QPoint(1, 1));
  return Engine()->Selection()->LastControl();
}

// A page with a band and three labels on it, the way a user would lay it out.
void LayOut() {
  NewDocument();
  Insert(2, {24, 24, 96, 16});
  Insert(2, {24, 56, 96, 16});
  Insert(2, {160, 56, 96, 16});
  Insert(8, {160, 96, 64, 40});
}

// Waits until the designer shows its hint or the time runs out.
bool WaitForHint(int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (Engine()->Hint()->Shown()) return true;
    QTest::qWait(50);
  }
  return Engine()->Hint()->Shown();
}

// Escape until no menu or drop-down list is open.
void CloseMenus() {
  for (int i = 0; i < 5 && QApplication::activePopupWidget(); ++i) {
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    TShot::Settle();
  }
}

// Opens a menu of the menu bar, takes a picture, closes it.
void ShowMenu(TShot& shot, int index, const std::string& step) {
  QMenuBar* bar = frmMain->menuBar();
  QAction* item = bar->actions().value(index);
  if (!item || !item->menu()) return;
  Click(bar, bar->actionGeometry(item).center());
  shot.Take(step);
  CloseMenus();
}

// Answers the next modal message box after a picture of it; the picture is taken
// while the box runs its own event loop.
void AnswerNextMessageBox(TShot& shot, const std::string& step, QMessageBox::StandardButton answer) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [&shot, step, answer, poll] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
      QTimer::singleShot(50, *poll);
      return;
    }
    shot.Take(step);
    if (QAbstractButton* b = box->button(answer))
      Click(b);
    else
      box->reject();
  };
  QTimer::singleShot(50, *poll);
}

// A step that did not do what a user would see it do fails the run (the picture is
// still taken).
void Expect(TShot& shot, bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "uishot: %s\n", what);
  ++shot.Failures;
}

using TScenario = std::function<void(TShot&)>;

const std::map<std::string, TScenario>& Scenarios() {
  static const std::map<std::string, TScenario> scenarios = {
      {"start",
       [](TShot& shot) {
         shot.Take("main-window");
         const char* menus[] = {"menu-file", "menu-edit", "menu-view", "menu-report", "menu-window"};
         for (int i = 0; i < 5; ++i) ShowMenu(shot, i, menus[i]);
         // The align submenu of Edit opens when the pointer rests on its item.
         QMenuBar* bar = frmMain->menuBar();
         QAction* edit = bar->actions().value(1);
         Click(bar, bar->actionGeometry(edit).center());
         for (QAction* a : edit->menu()->actions())
           if (a->menu()) {
             Move(edit->menu(), edit->menu()->actionGeometry(a).center());
             QTest::qWait(600);
           }
         shot.Take("menu-edit-align");
         CloseMenus();
         // A palette button pressed, then the zoom box opened with no document.
         Click(frmMain->PaletteButton(2));
         shot.Take("palette-label-down");
         Click(frmMain->ComboBox1());
         shot.Take("zoom-box-open");
         CloseMenus();
         frmMain->ResetPalette();
         TShot::Settle();
         // Glyphs close up: both tool bars and the palette, three times their size.
         for (QToolBar* bar : frmMain->findChildren<QToolBar*>())
           shot.TakeDetail("detail-" + bar->objectName().toStdString(), bar, 3);
         if (QWidget* palette = frmMain->findChild<QWidget*>("pnlPalette")) shot.TakeDetail("detail-palette", palette, 3);
       }},
      {"documents",
       [](TShot& shot) {
         NewDocument();
         shot.Take("document1");
         NewDocument();
         shot.Take("document2");
         ShowMenu(shot, 4, "menu-window");
         frmMain->Action("WindowTileHorizontal1")->trigger();
         shot.Take("tiled-horizontally");
         frmMain->Action("WindowTileVertical1")->trigger();
         shot.Take("tiled-vertically");
         // The zoom box at 50 %, chosen from its list, on the active document.
         QComboBox* zoom = frmMain->ComboBox1();
         Click(zoom);
         if (QAbstractItemView* list = zoom->view(); list && list->isVisible())
           Click(list->viewport(), list->visualRect(zoom->model()->index(1, 0)).center());
         Expect(shot, zoom->currentIndex() == 1 && Doc()->Report->Zoom() == 50, "the zoom box did not zoom to 50 %");
         shot.Take("zoom-50");
         // Switching to the other document shows its zoom.
         Click(frmMain->Documents().front()->SubWindow, {60, 10});
         Expect(shot, zoom->currentIndex() == 3, "the zoom box does not follow the activated document");
         shot.Take("document1-active-again");
         frmMain->Action("WindowCascade1")->trigger();
         shot.Take("cascaded");
         frmMain->Action("WindowMinimizeAll1")->trigger();
         frmMain->Action("WindowArrange1")->trigger();
         shot.Take("minimized-arranged");
       }},
      {"insert",
       [](TShot& shot) {
         NewDocument();
         Click(frmMain->PaletteButton(2));
         shot.Take("label-button-down");
         Drag(Page(), {24, 24}, {121, 41}, [&] { shot.Take("dragging-insert-frame"); });
         shot.Take("label-inserted");
         Click(frmMain->PaletteButton(8));
         Click(Page(), {48, 80});
         shot.Take("shape-inserted-by-click");
       }},
      {"select",
       [](TShot& shot) {
         LayOut();
         Click(Page(), {300, 200});
         shot.Take("page-selected");
         Click(Page(), {40, 30});
         shot.Take("one-selected");
         Click(Page(), {40, 62}, Qt::ShiftModifier);
         shot.Take("two-selected-shift-click");
         Drag(Page(), {8, 8}, {200, 70}, [&] { shot.Take("rubber-band"); });
         shot.Take("after-rubber-band");
       }},
      {"move",
       [](TShot& shot) {
         LayOut();
         Click(Page(), {40, 30});
         shot.Take("selected");
         TControl* moved = Engine()->Selection()->LastControl();
         Drag(Page(), {40, 30}, {72, 54}, [&] {
           Expect(shot, Engine()->Dragging(), "no move drag under way");
           shot.Take("dragging");
         });
         Expect(shot, moved && moved->Left() == 56 && moved->Top() == 48, "the label did not move by 4 x 3 grid steps");
         shot.Take("moved");
       }},
      {"resize",
       [](TShot& shot) {
         LayOut();
         Click(Page(), {40, 30});
         shot.Take("selected");
         // Handle 4 is the bottom-right one; drag it by whatever window shows it.
         TZQKSelCtrlItemPoint* handle = Engine()->Selection()->Item(0)->Handle(4);
         QWidget* w = handle ? handle->Window() : nullptr;
         if (!w) {
           std::fprintf(stderr, "uishot: the selected control shows no handle window\n");
           ++shot.Failures;
           return;
         }
         const QPoint from = w->rect().center();
         Drag(w, from, from + QPoint(40, 24), [&] { shot.Take("dragging-handle"); });
         shot.Take("resized");
       }},
      {"hint",
       [](TShot& shot) {
         LayOut();
         Click(Page(), {300, 200});
         Move(Page(), {300, 210});
         Move(Page(), {44, 62});
         Move(Page(), {46, 63});
         Expect(shot, WaitForHint(3000), "no hint over the label after 3 s");
         shot.Take("hint-over-label");
         Move(Page(), {180, 110});
         Move(Page(), {182, 112});
         Expect(shot, WaitForHint(3000), "no hint over the shape after 3 s");
         shot.Take("hint-over-shape");
       }},
      {"type",
       [](TShot& shot) {
         LayOut();
         Click(Page(), {40, 62});
         for (char c : std::string("TotalX")) QTest::keyClick(WindowOf(frmMain), c);
         QTest::keyClick(WindowOf(frmMain), Qt::Key_Backspace);
         {
           const TPropertyInfo* caption = GetPropInfo(Doc()->ZQKDesigner1->SelectedComponents().LastSelected(), "Caption");
           Expect(shot, caption && GetStrProp(Doc()->ZQKDesigner1->SelectedComponents().LastSelected(), *caption) == "Total",
                  "typing did not give the label the caption Total");
         }
         shot.Take("typed-caption");
         Move(Page(), {300, 210});
         Move(Page(), {44, 62});
         Move(Page(), {46, 63});
         Expect(shot, WaitForHint(3000) && Engine()->Hint()->Text().find("\rCaption: Total") != std::string::npos,
                "no caption in the label's hint");
         shot.Take("hint-with-caption");
         QTest::keyClick(WindowOf(frmMain), Qt::Key_Delete, Qt::ShiftModifier);
         shot.Take("shift-delete-emptied-caption");
         // A memo with two lines shows them in its hint.
         TControl* memo = Insert(6, {24, 120, 96, 32});
         if (const TPropertyInfo* p = memo ? GetPropInfo(memo, "Lines") : nullptr)
           if (auto* lines = dynamic_cast<TStrings*>(GetObjectProp(memo, *p))) {
             lines->Add("a");
             lines->Add("b");
           }
         Click(Page(), {300, 200});
         Move(Page(), {300, 210});
         Move(Page(), {40, 130});
         Move(Page(), {42, 131});
         Expect(shot, WaitForHint(3000) && Engine()->Hint()->Text().find("\rLines:\r  a\r  b") != std::string::npos,
                "no lines in the memo's hint");
         shot.Take("hint-over-memo");
       }},
      {"close",
       [](TShot& shot) {
         NewDocument();
         Insert(2, {24, 24, 96, 16});
         shot.Take("modified");
         AnswerNextMessageBox(shot, "save-prompt", QMessageBox::Cancel);
         frmMain->Action("actClose")->trigger();
         shot.Take("cancelled-still-open");
         NewDocument();
         Insert(2, {24, 24, 96, 16});
         // Closing the main window asks for each modified document, last first.
         AnswerNextMessageBox(shot, "main-close-prompt-1", QMessageBox::No);
         QTimer::singleShot(400, [&shot] { AnswerNextMessageBox(shot, "main-close-prompt-2", QMessageBox::Cancel); });
         frmMain->close();
         shot.Take("after-main-close-cancelled");
       }},
  };
  return scenarios;
}

}  // namespace
}  // namespace rpt::uishot

int main(int argc, char** argv) {
  using namespace rpt::uishot;
  QString dir = "uishot-out";
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "-o" || a == "--out") && i + 1 < argc) {
      dir = argv[++i];
    } else if (a == "--list") {
      for (const auto& s : Scenarios()) std::printf("%s\n", s.first.c_str());
      return 0;
    } else if (a == "-h" || a == "--help") {
      std::printf("usage: uishot [-o DIR] SCENARIO...   (all when none; --list names them)\n");
      return 0;
    } else {
      names.push_back(a);
    }
  }
  if (names.empty())
    for (const auto& s : Scenarios()) names.push_back(s.first);
  for (const std::string& n : names)
    if (!Scenarios().count(n)) {
      std::fprintf(stderr, "uishot: no scenario \"%s\" (uishot --list)\n", n.c_str());
      return 2;
    }
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "uishot: cannot create %s\n", qPrintable(dir));
    return 1;
  }

  rpt::TApplication app(argc, argv);
  int failures = 0;
  for (const std::string& n : names) {
    // Every scenario starts from a freshly started program.
    rpt::TfrmDoc::Counter() = 1;
    rpt::StartProgram(app);
    const std::string standIns = RegisterMissingPaletteClasses();
    if (!standIns.empty() && n == names.front())
      std::fprintf(stderr, "uishot: stand-in elements for %s\n", standIns.c_str());
    // New's data dialog is answered with OK; the dataset stays none.
    rpt::frmMain->DataDialog = [](rpt::TfrmDoc*) { return true; };
    rpt::SetMessageBoxHook(nullptr);
    app.SetErrorHook([&failures](const std::string& m) {
      std::fprintf(stderr, "uishot: error shown to the user: %s\n", m.c_str());
      ++failures;
    });
    if (!QTest::qWaitForWindowExposed(rpt::frmMain)) std::fprintf(stderr, "uishot: the main window was not shown\n");
    TShot shot(dir, n);
    Scenarios().at(n)(shot);
    failures += shot.Failures;
    // Leave without prompts: what the scenario changed is thrown away.
    for (rpt::TfrmDoc* d : rpt::frmMain->Documents()) d->Modified = false;
    rpt::frmMain->CloseAllDocuments();
    TShot::Settle();
    rpt::EndProgram();
    QCoreApplication::processEvents();
  }
  return failures == 0 ? 0 : 1;
}
