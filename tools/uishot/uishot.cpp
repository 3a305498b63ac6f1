// uishot: starts the program's windows as the program does, drives them with
// synthesized pointer and key input through the window system's event path (so mouse
// grabs, hover and shortcuts behave as for a user), and saves a picture after every
// step. Runs on a virtual X display or on the off-screen platform.
//
//   uishot [-o DIR] SCENARIO...      (uishot --list names the scenarios)
#include <QCheckBox>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QMouseEvent>
#include <QTimer>
#include <QDockWidget>
#include <QTreeWidget>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/DBControls.h"
#include "app/Startup.h"
#include "app/dlgDataUnit.h"
#include "app/dlgFieldsUnit.h"
#include "app/dlgLinesEditorUnit.h"
#include "app/dlgReportPropsUnit.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "app/frmPropsUnit.h"
#include "data/DBTables.h"
#include "designer/Engine.h"
#include "framework/Peer.h"
#include "output/QRPrev.h"
#include "inspector/ItemListEditor.h"
#include "report/QRChart.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "report/QRPictures.h"
#include "output/QRPageFilters.h"

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
      ClearOutsideWindows(picture, area.topLeft());
    }
    if (picture.isNull()) picture = frmMain->grab();
    Save(step, picture);
  }

  // The display's pixels between the windows are whatever was left there; a plain
  // colour makes the pictures alike from run to run.
  static void ClearOutsideWindows(QPixmap& picture, QPoint origin) {
    if (picture.isNull()) return;
    QRegion windows;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w != frmProps) windows += w->frameGeometry().translated(-origin);
    QPainter painter(&picture);
    painter.setClipRegion(QRegion(picture.rect()).subtracted(windows));
    painter.fillRect(picture.rect(), QColor(0xD0, 0xD0, 0xD0));
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

// Failures outside a scenario's own checks (the dialogs' helpers); they fail the run too.
int gFailures = 0;
void Fail(const std::string& what) {
  std::fprintf(stderr, "uishot: %s\n", what.c_str());
  ++gFailures;
}

void DoubleClick(QWidget* w, QPoint p) {
  Move(w, p);
  QTest::mouseDClick(WindowOf(w), Qt::LeftButton, {}, InWindow(w, p));
  TShot::Settle();
}

// Typing through the window of the focused widget; '\n' is Enter.
void Type(QWidget* w, const std::string& text) {
  for (char c : text) {
    if (c == '\n')
      QTest::keyClick(WindowOf(w), Qt::Key_Return);
    else
      QTest::keyClick(WindowOf(w), c);
  }
  TShot::Settle();
}

// Clicks the item of a list with the text.
void ChooseItem(QListWidget* list, const char* text) {
  const auto found = list->findItems(text, Qt::MatchExactly);
  if (found.isEmpty()) {
    Fail(std::string("no item ") + text + " in " + list->objectName().toStdString());
    return;
  }
  list->scrollToItem(found.first());
  Click(list->viewport(), list->visualItemRect(found.first()).center());
}

// Runs `steps` from the event loop of the modal preview once it shows its first page
// (with `whole`, once the pages are all made too); press F9 after. A preview that never
// gets there fails the run.
void WhilePreviewShows(bool whole, std::function<void(TQRStandardPreview*)> steps) {
  auto poll = std::make_shared<std::function<void(int)>>();
  *poll = [whole, steps, weak = std::weak_ptr(poll)](int tries) {
    auto* window = dynamic_cast<TQRStandardPreview*>(QApplication::activeModalWidget());
    if (!window || !window->isVisible() || !window->QRPreview()->Image()->HasPage() ||
        (whole && !window->GenerationOver())) {
      if (tries == 0) Fail("F9 showed no preview with a first page");
      else if (auto self = weak.lock()) QTimer::singleShot(20, [self, tries] { (*self)(tries - 1); });
      return;
    }
    TShot::Settle();
    steps(window);
  };
  QTimer::singleShot(20, [poll] { (*poll)(500); });
}

// Waits for the document's pass to end, then writes its report into a PDF of that name
// in the temporary folder through a pass of its own; gives the file's path.
std::string WritePdf(TfrmDoc* doc, const char* name) {
  for (int waited = 0; doc->Report->GenerationRunning() && waited < 10000; waited += 50) QTest::qWait(50);
  const std::string pdf = QDir(QDir::tempPath()).filePath(name).toStdString();
  doc->Report->SetQRPrinter(std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()}));
  doc->Report->GeneratePages();
  TQRPDFFilter filter(pdf);
  doc->Report->QRPrinter()->ExportVia(filter);
  return pdf;
}

// Runs `steps` from the event loop of the modal dialog `dialog` once it shows: a modal
// dialog holds the scenario until it closes. A dialog that never shows, or is still
// open after the steps, fails the run and is cancelled.
void WhileModal(QDialog* dialog, std::function<void()> steps) {
  auto poll = std::make_shared<std::function<void(int)>>();
  *poll = [dialog, steps, weak = std::weak_ptr(poll)](int tries) {
    if (QApplication::activeModalWidget() != dialog || !dialog->isVisible()) {
      if (tries == 0) {
        Fail(dialog->objectName().toStdString() + " did not show");
      } else if (auto self = weak.lock()) {
        QTimer::singleShot(50, [self, tries] { (*self)(tries - 1); });
      }
      return;
    }
    TShot::Settle();
    steps();
    if (dialog->isVisible()) {
      Fail(dialog->objectName().toStdString() + " stayed open");
      dialog->reject();
    }
  };
  QTimer::singleShot(50, [poll] { (*poll)(60); });
}

// The wizard from the aliases to the preview of a table of the sample database.
void ToTablePreview(const char* table) {
  ChooseItem(dlgData->ListBox1, "Sample");
  Click(dlgData->Button3);
  Click(dlgData->RadioButton1);
  Click(dlgData->Button3);
  ChooseItem(dlgData->ListBox2, table);
  Click(dlgData->Button3);
}

// New from the first tool bar; the data dialog binds the customers table of the
// sample database, Next by Next.
TfrmDoc* NewDocument() {
  WhileModal(dlgData, [] {
    ToTablePreview("customers");
    Click(dlgData->Button3);
  });
  Click(ToolButtonOf("actNew"));
  if (!Doc() || !Doc()->DataSet) Fail("New did not give the document the customers table");
  return Doc();
}

// The palette's buttons, top to bottom.
enum TPaletteButton {
  pbPointer, pbBand, pbLabel, pbDBText, pbExpr, pbSysData, pbMemo, pbExprMemo, pbShape, pbChildBand, pbGroup,
  pbSubDetail, pbImage, pbDBImage, pbBarcode, pbChart
};

// A point of the page: offset from the top left of the active report's first band of
// a type (a new document has a title, a column header, a detail and a page footer).
QPoint At(TQRBandType type, QPoint offset) {
  const TQRCustomBand* band = Doc()->Report->FindBand(type);
  return band ? QPoint(band->Left(), band->Top()) + offset : offset;
}
// A point of the page below the bands, where a press selects the page.
QPoint OffBands() {
  const auto& bands = Doc()->Report->BandList();
  const int bottom = bands.empty() ? 0 : bands.back()->Top() + bands.back()->Height();
  return {300, bottom + 24};
}
// The centre of a control (on a band or on the page) in the page's coordinates.
QPoint CenterOnPage(TControl* c) {
  QWidget* w = c ? PeerWidget(c) : nullptr;
  return w ? w->mapTo(Page(), w->rect().center()) : QPoint();
}

// Inserts one element of a palette button by dragging its rectangle on the page; the
// band under the pointer receives it.
TControl* Insert(int button, QRect onPage) {
  Click(frmMain->PaletteButton(button));
  Drag(Page(), onPage.topLeft(), onPage.bottomRight() + QPoint(1, 1));
  return Engine()->Selection()->LastControl();
}

// A page with three labels and a shape on its bands, the way a user would lay it out:
// one label on the title, two on the detail band, the shape on the page footer.
struct TLayout {
  TControl* Title = nullptr;
  TControl* Detail1 = nullptr;
  TControl* Detail2 = nullptr;
  TControl* Shape = nullptr;
};
TLayout LayOut() {
  NewDocument();
  TLayout l;
  l.Title = Insert(pbLabel, {At(rbTitle, {16, 8}), QSize(96, 16)});
  l.Detail1 = Insert(pbLabel, {At(rbDetail, {16, 8}), QSize(96, 16)});
  l.Detail2 = Insert(pbLabel, {At(rbDetail, {160, 8}), QSize(96, 16)});
  l.Shape = Insert(pbShape, {At(rbPageFooter, {160, 4}), QSize(64, 32)});
  return l;
}

// The caption of a label, or "?" for anything else.
std::string CaptionOf(const TControl* c) {
  const auto* label = dynamic_cast<const TQRLabel*>(c);
  return label ? label->Caption() : "?";
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
  *poll = [&shot, step, answer, weak = std::weak_ptr(poll)] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
      if (auto poll = weak.lock()) QTimer::singleShot(50, [poll] { (*poll)(); });
      return;
    }
    shot.Take(step);
    if (QAbstractButton* b = box->button(answer))
      Click(b);
    else
      box->reject();
  };
  QTimer::singleShot(50, [poll] { (*poll)(); });
}

// A step that did not do what a user would see it do fails the run (the picture is
// still taken).
void Expect(TShot& shot, bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "uishot: %s\n", what);
  ++shot.Failures;
}

// The example of orders grouped by customer over every order of the sample database:
// a report of many pages. None when it does not open on its data.
TfrmDoc* OpenLongExample(TShot& shot) {
  OpenFiles({std::string(RPT_EXAMPLES_DIR) + "/orders_by_customer.rpt"});
  TShot::Settle();
  TfrmDoc* doc = Doc();
  auto* query = doc ? dynamic_cast<TQuery*>(doc->DataSet) : nullptr;
  if (!query || !query->Active()) {
    Expect(shot, false, "the example report did not open on the sample database");
    return nullptr;
  }
  query->Close();
  std::string sql = query->SQL()->Text();
  const size_t where = sql.find("where ");
  if (where != std::string::npos) sql.erase(where, sql.find("order by") - where);
  query->SQL()->SetText(sql);
  query->Open();
  return doc;
}

// The page count pdfinfo reads from a PDF file; -1 when it reads none.
int PdfPageCount(const std::string& file) {
  std::string out;
  if (FILE* p = popen(("pdfinfo '" + file + "' 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  const size_t at = out.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
}

// The text pdftotext reads from a PDF file; empty when it reads none.
std::string PdfText(const std::string& file) {
  std::string out;
  if (FILE* p = popen(("pdftotext -layout '" + file + "' - 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

// The main window and the properties window beside it, as the user sees both.
void TakeWithProperties(TShot& shot, const std::string& step) {
  TShot::Settle();
  QRect area = frmMain->frameGeometry() | frmProps->frameGeometry();
  QPixmap picture;
  if (QScreen* screen = frmMain->screen()) {
    area &= screen->geometry();
    picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  }
  if (picture.isNull()) picture = frmProps->grab();
  // What lies between the windows is left-over display content: a plain colour instead.
  QRegion windows;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) windows += w->frameGeometry().translated(-area.topLeft());
  QPainter painter(&picture);
  painter.setClipRegion(QRegion(picture.rect()).subtracted(windows));
  painter.fillRect(picture.rect(), QColor(0xD0, 0xD0, 0xD0));
  painter.end();
  shot.Save(step, picture);
}

// Types a value into a row of the properties window's inspector and presses Enter.
void TypeIntoRow(TZQKPropertyInspectorItem* row, const std::string& text) {
  if (!row) return;
  row->Activate();
  QLineEdit* edit = frmProps->PropInsp->InplaceEditor()->Edit();
  Click(edit);
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromStdString(text));
  QTest::keyClick(edit, Qt::Key_Return);
  TShot::Settle();
}

// Presses the plus box of an inspector row that is closed.
void ExpandRow(TZQKPropertyInspectorItem* row) {
  if (!row || row->Expanded()) return;
  TZQKPropertyInspector* insp = frmProps->PropInsp;
  const QRect cell = insp->CellRect(0, row->Row()->RowIndex());
  Click(insp->viewport(), cell.topLeft() + QPoint(10 * row->Row()->Level() + 6, 7));
}

// A key pressed where the keyboard is: the open menu, else the widget with the focus,
// else the active window.
void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* target = QApplication::activePopupWidget();
  if (!target) target = QApplication::focusWidget();
  if (!target) target = QApplication::activeWindow();
  if (target) QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
  TShot::Settle();
}
void TypeText(const char* text) {
  if (QWidget* target = QApplication::focusWidget()) QTest::keyClicks(target, text);
  TShot::Settle();
}
// Tab until the widget has the focus, as a user watching the screen would; false when
// it never gets it.
bool TabTo(QWidget* widget) {
  for (int i = 0; i < 12 && QApplication::focusWidget() != widget; ++i) Press(Qt::Key_Tab);
  return QApplication::focusWidget() == widget;
}

using TScenario = std::function<void(TShot&)>;

const std::map<std::string, TScenario>& Scenarios() {
  static const std::map<std::string, TScenario> scenarios = {
      {"start",
       [](TShot& shot) {
         shot.Take("main-window");
         const char* menus[] = {"menu-file", "menu-edit", "menu-view", "menu-insert", "menu-report", "menu-window"};
         for (int i = 0; i < 6; ++i) ShowMenu(shot, i, menus[i]);
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
         Click(frmMain->PaletteButton(pbLabel));
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
      {"parameters",
       [](TShot& shot) {
         // The values asked for before a preview of the example with parameters; Escape
         // runs nothing. Then Report > Parameters on the same report.
         OpenFiles({std::string(RPT_EXAMPLES_DIR) + "/orders_by_country.rpt"});
         TShot::Settle();
         if (!Doc() || Doc()->Report->Parameters()->Count() != 3) {
           Expect(shot, false, "the example with parameters did not open");
           return;
         }
         const auto whenShown = [&shot](const char* name, std::function<void(QDialog*)> steps) {
           auto poll = std::make_shared<std::function<void(int)>>();
           *poll = [&shot, name, steps, weak = std::weak_ptr(poll)](int tries) {
             auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
             if (!dialog || !dialog->isVisible() || dialog->windowTitle() != name) {
               if (tries == 0) Expect(shot, false, (std::string(name) + " did not show").c_str());
               else if (auto self = weak.lock()) QTimer::singleShot(50, [self, tries] { (*self)(tries - 1); });
               return;
             }
             QTest::qWait(150);
             steps(dialog);
             if (dialog->isVisible()) dialog->reject();
           };
           QTimer::singleShot(50, [poll] { (*poll)(60); });
         };
         whenShown("Report Parameters", [&shot](QDialog* dialog) {
           shot.Take("run-dialog");
           if (auto* combo = dialog->findChild<QComboBox*>("COUNTRY")) {
             combo->showPopup();
             shot.Take("run-dialog-countries");
             combo->hidePopup();
           }
           QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
         });
         frmMain->Action("actPreview")->trigger();
         TShot::Settle();
         Expect(shot, !QApplication::activeModalWidget() && !Doc()->Report->GenerationRunning(),
                "Escape in the parameter dialog did not stop the preview");
         whenShown("Parameters", [&shot](QDialog* dialog) {
           shot.Take("parameters-dialog");
           QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
         });
         frmMain->Action("actParameters")->trigger();
         TShot::Settle();
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
         Click(frmMain->PaletteButton(pbLabel));
         shot.Take("label-button-down");
         const QPoint from = At(rbTitle, {16, 8});
         Drag(Page(), from, from + QPoint(97, 17), [&] { shot.Take("dragging-insert-frame"); });
         TControl* label = Engine()->Selection()->LastControl();
         Expect(shot, dynamic_cast<TQRLabel*>(label) && label->Parent() == Doc()->Report->FindBand(rbTitle),
                "the label did not go onto the title band");
         shot.Take("label-inserted");
         Click(frmMain->PaletteButton(pbShape));
         Click(Page(), At(rbDetail, {24, 4}));
         TControl* shape = Engine()->Selection()->LastControl();
         Expect(shot, dynamic_cast<TQRShape*>(shape) && shape->Parent() == Doc()->Report->FindBand(rbDetail),
                "the shape did not go onto the detail band");
         shot.Take("shape-inserted-by-click");
       }},
      {"select",
       [](TShot& shot) {
         const TLayout l = LayOut();
         Click(Page(), OffBands());
         shot.Take("page-selected");
         Click(Page(), CenterOnPage(l.Title));
         shot.Take("one-selected");
         Click(Page(), CenterOnPage(l.Detail1), Qt::ShiftModifier);
         Expect(shot, Engine()->Selection()->Count() == 2, "shift-click did not add the second label");
         shot.Take("two-selected-shift-click");
         // Ctrl starts a rubber band inside the band under the pointer.
         Drag(Page(), At(rbDetail, {4, 2}), At(rbDetail, {320, 30}), [&] { shot.Take("rubber-band"); }, 6,
              Qt::ControlModifier);
         Expect(shot, Engine()->Selection()->Count() == 2 && Engine()->Selection()->IndexOf(l.Detail2) >= 0,
                "the rubber band did not select the detail band's two labels");
         shot.Take("after-rubber-band");
       }},
      {"move",
       [](TShot& shot) {
         const TLayout l = LayOut();
         Click(Page(), CenterOnPage(l.Detail1));
         shot.Take("selected");
         const int left = l.Detail1->Left(), top = l.Detail1->Top();
         const QPoint from = CenterOnPage(l.Detail1);
         Drag(Page(), from, from + QPoint(32, 16), [&] {
           Expect(shot, Engine()->Dragging(), "no move drag under way");
           shot.Take("dragging");
         });
         Expect(shot, l.Detail1->Left() == left + 32 && l.Detail1->Top() == top + 16,
                "the label did not move by 4 x 2 grid steps");
         shot.Take("moved");
       }},
      {"resize",
       [](TShot& shot) {
         const TLayout l = LayOut();
         Click(Page(), CenterOnPage(l.Detail1));
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
         Drag(w, from, from + QPoint(40, 8), [&] { shot.Take("dragging-handle"); });
         shot.Take("resized");
       }},
      {"hint",
       [](TShot& shot) {
         const TLayout l = LayOut();
         Click(Page(), OffBands());
         Move(Page(), OffBands() + QPoint(0, 10));
         Move(Page(), CenterOnPage(l.Detail1));
         Move(Page(), CenterOnPage(l.Detail1) + QPoint(2, 1));
         Expect(shot, WaitForHint(3000) && Engine()->Hint()->Text().find("\rCaption: QRLabel2") != std::string::npos,
                "no hint with the caption over the label after 3 s");
         shot.Take("hint-over-label");
         Move(Page(), CenterOnPage(l.Shape));
         Move(Page(), CenterOnPage(l.Shape) + QPoint(2, 2));
         Expect(shot, WaitForHint(3000), "no hint over the shape after 3 s");
         shot.Take("hint-over-shape");
       }},
      {"type",
       [](TShot& shot) {
         const TLayout l = LayOut();
         Click(Page(), CenterOnPage(l.Detail1));
         // A new label shows its name: Shift+Delete empties it, then the typing replaces it.
         QTest::keyClick(WindowOf(frmMain), Qt::Key_Delete, Qt::ShiftModifier);
         for (char c : std::string("TotalX")) QTest::keyClick(WindowOf(frmMain), c);
         QTest::keyClick(WindowOf(frmMain), Qt::Key_Backspace);
         Expect(shot, CaptionOf(l.Detail1) == "Total", "typing did not give the label the caption Total");
         shot.Take("typed-caption");
         Move(Page(), OffBands());
         Move(Page(), CenterOnPage(l.Detail1));
         Move(Page(), CenterOnPage(l.Detail1) + QPoint(2, 1));
         Expect(shot, WaitForHint(3000) && Engine()->Hint()->Text().find("\rCaption: Total") != std::string::npos,
                "no caption in the label's hint");
         shot.Take("hint-with-caption");
         QTest::keyClick(WindowOf(frmMain), Qt::Key_Delete, Qt::ShiftModifier);
         Expect(shot, CaptionOf(l.Detail1).empty() && Doc()->Report->FindComponent("QRLabel2"),
                "Shift+Delete did not empty the caption and keep the label");
         shot.Take("shift-delete-emptied-caption");
         // A memo with two lines shows them in its hint.
         auto* memo = dynamic_cast<TQRMemo*>(Insert(pbMemo, {At(rbDetail, {320, 4}), QSize(96, 32)}));
         if (memo) {
           memo->Lines()->Add("a");
           memo->Lines()->Add("b");
         }
         Click(Page(), OffBands());
         Move(Page(), OffBands() + QPoint(0, 10));
         Move(Page(), CenterOnPage(memo));
         Move(Page(), CenterOnPage(memo) + QPoint(2, 1));
         Expect(shot, memo && WaitForHint(3000) && Engine()->Hint()->Text().find("\rLines:\r  a\r  b") != std::string::npos,
                "no lines in the memo's hint");
         shot.Take("hint-over-memo");
       }},
      {"close",
       [](TShot& shot) {
         NewDocument();
         Insert(pbLabel, {At(rbTitle, {16, 8}), QSize(96, 16)});
         shot.Take("modified");
         AnswerNextMessageBox(shot, "save-prompt", QMessageBox::Cancel);
         frmMain->Action("actClose")->trigger();
         shot.Take("cancelled-still-open");
         NewDocument();
         Insert(pbLabel, {At(rbTitle, {16, 8}), QSize(96, 16)});
         // Closing the main window asks for each modified document, last first.
         AnswerNextMessageBox(shot, "main-close-prompt-1", QMessageBox::No);
         QTimer::singleShot(400, [&shot] { AnswerNextMessageBox(shot, "main-close-prompt-2", QMessageBox::Cancel); });
         frmMain->close();
         shot.Take("after-main-close-cancelled");
       }},
      {"report",
       [](TShot& shot) {
         TfrmDoc* doc = NewDocument();
         Expect(shot, doc && doc->Report->BandList().size() == 4, "a new document does not have four bands");
         shot.Take("new-document");
         TControl* label = Insert(pbLabel, {At(rbTitle, {16, 8}), QSize(96, 16)});
         Expect(shot, CaptionOf(label) == "QRLabel1" && label->Parent() == doc->Report->FindBand(rbTitle),
                "the label is not QRLabel1 on the title band");
         shot.Take("label-inserted");
         TControl* memo = Insert(pbMemo, {At(rbDetail, {16, 4}), QSize(160, 32)});
         Expect(shot, dynamic_cast<TQRMemo*>(memo) && memo->Parent() == doc->Report->FindBand(rbDetail),
                "the memo did not go onto the detail band");
         shot.Take("memo-inserted");
         // Its lines as the lines editor would set them: they wrap at the memo's width.
         auto* memoText = static_cast<TQRMemo*>(memo);
         memoText->Lines()->SetText("Goods remain our property until paid in full.");
         Expect(shot, memoText->LayoutLines()->Count() >= 2, "the memo did not wrap its line");
         shot.Take("memo-wraps");
         TControl* shape = Insert(pbShape, {At(rbDetail, {240, 4}), QSize(64, 32)});
         Expect(shot, dynamic_cast<TQRShape*>(shape) && shape->Parent() == doc->Report->FindBand(rbDetail),
                "the shape did not go onto the detail band");
         shot.Take("shape-inserted");
         // Dropped on the page footer, a band goes onto the report (a click: its own height).
         Click(frmMain->PaletteButton(pbBand));
         Click(Page(), At(rbPageFooter, {400, 8}));
         TControl* band = Engine()->Selection()->LastControl();
         Expect(shot, dynamic_cast<TQRBand*>(band) && band->Parent() == doc->Report &&
                          doc->Report->BandList().size() == 5,
                "the band did not go onto the report");
         shot.Take("band-inserted");
         // The label moves by whole grid steps, then its bottom-right handle widens it.
         Click(Page(), CenterOnPage(label));
         const TRect before = label->BoundsRect();
         const QPoint from = CenterOnPage(label);
         Drag(Page(), from, from + QPoint(48, -8));
         Expect(shot, label->Left() == before.Left + 48 && label->Top() == before.Top - 8,
                "the label did not move by 6 grid steps right and one up");
         shot.Take("label-moved");
         // An auto-sized label keeps the width of its text; once AutoSize is off (as the
         // properties window would set it) the handle sizes it. The handles show inside
         // the band, so the label stays inside it.
         auto dragHandle = [&shot](int dx, int dy) {
           TZQKSelCtrlItemPoint* handle = Engine()->Selection()->Item(0)->Handle(4);
           QWidget* w = handle ? handle->Window() : nullptr;
           Expect(shot, w, "the selected label shows no handle window");
           // Through the main window: the handle's own window is replaced when the label
           // snaps back to its text.
           const QPoint from = w ? w->mapTo(frmMain, w->rect().center()) : QPoint();
           if (w) Drag(frmMain, from, from + QPoint(dx, dy));
         };
         const int textWidth = label->Width();
         dragHandle(40, 0);
         Expect(shot, label->Width() == textWidth, "the auto-sized label did not keep the width of its text");
         shot.Take("label-resize-autosized");
         static_cast<TQRLabel*>(label)->SetAutoSize(false);
         dragHandle(40, 8);
         Expect(shot, label->Width() >= textWidth + 32 && label->Height() >= before.Height() + 4,
                "the handle did not size the label");
         shot.Take("label-resized");
         // The zoom box, by its list, to 200 % and back to 100 %.
         QComboBox* zoom = frmMain->ComboBox1();
         const int pageWidth = doc->Report->Width();
         auto choose = [zoom](int index) {
           Click(zoom);
           if (QAbstractItemView* list = zoom->view(); list && list->isVisible())
             Click(list->viewport(), list->visualRect(zoom->model()->index(index, 0)).center());
         };
         choose(5);
         Expect(shot, doc->Report->Zoom() == 200 && std::abs(doc->Report->Width() - 2 * pageWidth) <= 1,
                "the zoom box did not zoom the page to 200 %");
         shot.Take("zoom-200");
         choose(3);
         Expect(shot, doc->Report->Zoom() == 100 && doc->Report->Width() == pageWidth,
                "the zoom box did not zoom the page back to 100 %");
         shot.Take("zoom-100");
       }},
      {"data",
       [](TShot& shot) {
         // New's wizard, page by page, over the sample database.
         TdlgData* d = dlgData;
         WhileModal(d, [&shot, d] {
           shot.Take("aliases");
           // Double-clicking an alias goes on to the next page.
           const auto sample = d->ListBox1->findItems("Sample", Qt::MatchExactly);
           if (!sample.isEmpty())
             DoubleClick(d->ListBox1->viewport(), d->ListBox1->visualItemRect(sample.first()).center());
           Expect(shot, d->Step == 1 && d->AliasName == "Sample", "double-clicking Sample did not go on");
           Click(d->RadioButton1);
           shot.Take("table-or-query");
           Click(d->Button3);
           ChooseItem(d->ListBox2, "order_lines");
           shot.Take("tables");
           Click(d->Button3);
           Expect(shot, d->NewDataSet && d->DBGrid1->model()->rowCount() > 0, "the preview shows no order lines");
           QWidget* next = d->DBNavigator1->Button(TDBNavigator::nbNext);
           Click(next);
           Click(next);
           shot.Take("preview");
           Click(d->DBNavigator1->Button(TDBNavigator::nbLast));
           Expect(shot, d->DBGrid1->Model()->CurrentRow() == 59999, "Last did not go to the 60,000th line");
           shot.Take("preview-last");
           // Back to the choice of a query; a parameter opens null, here selecting every line.
           Click(d->Button2);
           Click(d->Button2);
           Click(d->RadioButton2);
           Click(d->Button3);
           Click(d->Memo1);
           Type(d->Memo1,
                "SELECT p.name AS Product, l.quantity AS Qty,\n"
                "  l.quantity * l.unit_price AS Amount\n"
                "FROM order_lines l JOIN products p ON p.product_id = l.product_id\n"
                "WHERE :order IS NULL OR l.order_id = :order");
           // The page offers the query's :order as a parameter of the report (checked).
           Expect(shot, !d->CheckBox1->isHidden() && d->CheckBox1->isChecked(), "the SQL page offers no parameter");
           shot.Take("sql");
           Click(d->Button3);
           Expect(shot, d->NewDataSet && d->DBGrid1->model()->columnCount() == 3, "the query did not open");
           shot.Take("sql-preview");
           Click(d->Button3);
         });
         Click(ToolButtonOf("actNew"));
         TfrmDoc* doc = Doc();
         Expect(shot, doc && dynamic_cast<TQuery*>(doc->DataSet), "Ok did not bind the query to the new document");
         Expect(shot, doc && doc->Report->Parameters()->Find("order"), "the query's parameter was not declared");
         if (!doc || !doc->DataSet) return;
         shot.Take("document");
         // A data field: double-clicked, the field dialog picks Amount.
         TControl* field = Insert(pbDBText, {At(rbDetail, {16, 4}), QSize(96, 16)});
         WhileModal(dlgFields, [&shot] {
           shot.Take("field-dialog");
           ChooseItem(dlgFields->ListBox1, "Amount");
           shot.Take("field-chosen");
           Click(dlgFields->OkButton);
         });
         DoubleClick(Page(), CenterOnPage(field));
         auto* dbText = dynamic_cast<TQRDBText*>(field);
         Expect(shot, dbText && dbText->DataField() == "Amount", "the field dialog did not set the field Amount");
         shot.Take("data-field");
         // An expression: the lines editor, with Amount inserted between the parentheses.
         TControl* expr = Insert(pbExpr, {At(rbDetail, {160, 4}), QSize(120, 16)});
         WhileModal(dlgLinesEditor, [&shot] {
           TdlgLinesEditor* e = dlgLinesEditor;
           Click(e->Memo1);
           Type(e->Memo1, "SUM()");
           QTest::keyClick(WindowOf(e->Memo1), Qt::Key_Left);
           shot.Take("lines-editor");
           WhileModal(dlgFields, [&shot] {
             ChooseItem(dlgFields->ListBox1, "Amount");
             shot.Take("lines-editor-field");
             Click(dlgFields->OkButton);
           });
           Click(e->InsertButton);
           Expect(shot, e->Memo1->textCursor().selectedText() == "Amount", "Amount was not inserted and selected");
           shot.Take("lines-editor-inserted");
           Click(e->OkButton);
         });
         DoubleClick(Page(), CenterOnPage(expr));
         auto* exprControl = dynamic_cast<TQRExpr*>(expr);
         Expect(shot, exprControl && exprControl->Expression() == "SUM(Amount)\r\n",
                "the lines editor did not set the expression SUM(Amount)");
         shot.Take("expression");
       }},
      {"detaildata",
       [](TShot& shot) {
         // Orders as master, their lines as a sub-detail fed by the order's number.
         WhileModal(dlgData, [] {
           ToTablePreview("orders");
           Click(dlgData->Button3);
         });
         Click(ToolButtonOf("actNew"));
         TfrmDoc* doc = Doc();
         Expect(shot, doc && doc->DataSet, "New did not give the document the orders table");
         if (!doc || !doc->DataSet) return;
         Click(frmMain->PaletteButton(pbSubDetail));
         Click(Page(), At(rbPageFooter, {400, 8}));
         auto* sub = dynamic_cast<TQRSubDetail*>(Engine()->Selection()->LastControl());
         Expect(shot, sub && sub->Parent() == doc->Report, "the sub-detail band did not go onto the report");
         if (!sub) return;
         TControl* field = Insert(pbDBText, {At(rbSubDetail, {48, 2}), QSize(120, 16)});
         Expect(shot, field && field->Parent() == sub, "the data field did not go onto the sub-detail band");
         Click(Page(), At(rbSubDetail, {400, 4}));
         shot.Take("sub-detail");
         // Report > Detail data, from the keyboard, with the sub-detail selected.
         WhileModal(dlgData, [&shot] {
           TdlgData* d = dlgData;
           ChooseItem(d->ListBox1, "Sample");
           Click(d->Button3);
           Click(d->RadioButton2);
           Click(d->Button3);
           Click(d->Memo1);
           Type(d->Memo1,
                "SELECT l.line_no, p.name AS product, l.quantity\n"
                "FROM order_lines l JOIN products p ON p.product_id = l.product_id\n"
                "WHERE l.order_id = :order_id ORDER BY l.line_no");
           shot.Take("detail-sql");
           Click(d->Button3);
           Click(d->Button3);
         });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_R, Qt::AltModifier);
         TShot::Settle();
         if (QWidget* menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_D);
         TShot::Settle();
         auto* query = dynamic_cast<TQuery*>(sub->DataSet());
         Expect(shot, query && query->Owner() == doc->Report && doc->Report->Functions()->FindFunction("ORDER_ID"),
                "Detail data did not give the sub-detail a query of the report fed by order_id");
         Click(Page(), OffBands());
         shot.Take("detail-proxy");
         // The sub-detail's field lists the query's fields.
         WhileModal(dlgFields, [&shot] {
           ChooseItem(dlgFields->ListBox1, "product");
           shot.Take("detail-field-dialog");
           Click(dlgFields->OkButton);
         });
         DoubleClick(Page(), CenterOnPage(field));
         auto* dbText = dynamic_cast<TQRDBText*>(field);
         Expect(shot, dbText && dbText->DataField() == "product" && dbText->DataSet() == query,
                "the field dialog did not bind the sub-detail's field to its query");
         shot.Take("detail-field");
       }},
      {"charts",
       [](TShot& shot) {
         // A chart drawn on a new report's title: the design surface shows a sample of its
         // type and series count, before any data.
         NewDocument();
         Doc()->Report->SetUnits(MM);
         Doc()->Report->FindBand(rbTitle)->Size()->SetHeight(70);
         TShot::Settle();
         auto* chart = dynamic_cast<TQRChart*>(Insert(pbChart, {At(rbTitle, {16, 8}), QSize(420, 220)}));
         Expect(shot, chart != nullptr, "the chart button inserted no chart");
         if (!chart) return;
         chart->Series()->AddSeries()->SetTitle("Goods");
         chart->Series()->AddSeries()->SetTitle("Freight");
         chart->SetChartType(ctStackedBar);
         chart->SetTitle("Orders by month");
         chart->Invalidate();
         TShot::Settle();
         shot.Take("design");
       }},
      {"pictures",
       [](TShot& shot) {
         // A new report on the orders: the company logo put in the title (chosen in the
         // picture dialog on insert), a QR code of the order number and the number itself
         // in the detail; the design surface, the preview, and the PDF read back.
         WhileModal(dlgData, [] {
           ToTablePreview("orders");
           Click(dlgData->Button3);
         });
         Click(ToolButtonOf("actNew"));
         TfrmDoc* doc = Doc();
         if (!doc || !doc->DataSet) {
           Expect(shot, false, "New did not give the document the orders");
           return;
         }
         const std::string logoFile = std::string(RPT_EXAMPLES_DIR) + "/company_logo.svg";
         frmMain->PictureDialog = [logoFile] { return std::optional<std::string>(logoFile); };
         auto* logo = dynamic_cast<TQRImage*>(Insert(pbImage, {At(rbTitle, {16, 4}), QSize(180, 54)}));
         frmMain->PictureDialog = nullptr;
         Expect(shot, logo && logo->Picture().Format() == "SVG", "the inserted picture did not take the logo");
         TQRCustomBand* detail = doc->Report->FindBand(rbDetail);
         doc->Report->SetUnits(MM);
         detail->Size()->SetHeight(30);
         TShot::Settle();
         auto* code = dynamic_cast<TQRBarcode*>(Insert(pbBarcode, {At(rbDetail, {16, 4}), QSize(100, 100)}));
         Expect(shot, code != nullptr, "the barcode button inserted no barcode");
         if (!code) return;
         code->SetBarcodeType(bcQRCode);
         code->SetExpression("'ORDER ' + order_id");
         TControl* field = Insert(pbDBText, {At(rbDetail, {140, 40}), QSize(96, 16)});
         WhileModal(dlgFields, [] {
           ChooseItem(dlgFields->ListBox1, "order_id");
           Click(dlgFields->OkButton);
         });
         DoubleClick(Page(), CenterOnPage(field));
         TShot::Settle();
         shot.Take("design");
         WhilePreviewShows(true, [&shot](TQRStandardPreview* window) {
           shot.Take("preview");
           Click(window->ToolBar1()->widgetForAction(window->Command("ZoomToWidth")));
           TShot::Settle();
           shot.Take("preview-width");
           Click(window->ExitButton());
         });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_F9);
         TShot::Settle();
         // The same report into a PDF, read back by a barcode reader when one is installed.
         const std::string pdf = WritePdf(doc, "uishot-pictures.pdf");
         const QString png = QDir(QDir::tempPath()).filePath("uishot-pictures");
         const std::string command = "pdftoppm -r 150 -f 1 -l 1 -singlefile -png '" + pdf + "' '" +
                                     png.toStdString() + "' && zbarimg --raw -q '" + png.toStdString() +
                                     ".png' | head -3";
         std::printf("uishot: codes read from the PDF's first page:\n");
         std::fflush(stdout);
         Expect(shot, std::system(command.c_str()) == 0, "the PDF's first page could not be read back");
       }},
      {"keyboard",
       [](TShot& shot) {
         // A report made, previewed and saved with the keyboard alone: Ctrl+N and the data
         // wizard by its keys, the Insert menu, typing, Tab through the elements, Ctrl+F11
         // to the properties window, F9 and Escape, Ctrl+S.
         bool wizard = false;
         WhileModal(dlgData, [&shot, &wizard] {
           wizard = TabTo(dlgData->ListBox1);
           TypeText("Sample");
           Press(Qt::Key_Return);
           Press(Qt::Key_Return);  // Table is chosen
           wizard = wizard && TabTo(dlgData->ListBox2);
           TypeText("customers");
           Press(Qt::Key_Return);
           shot.Take("wizard-last-page");
           Press(Qt::Key_Return);  // Ok, not Cancel
         });
         Press(Qt::Key_N, Qt::ControlModifier);
         Expect(shot, wizard, "the wizard's lists could not be reached with Tab");
         if (!Doc() || !Doc()->DataSet) {
           Expect(shot, false, "Ctrl+N and the wizard's keys did not make a document on the customers table");
           return;
         }
         Press(Qt::Key_I, Qt::AltModifier);
         shot.Take("insert-menu");
         Press(Qt::Key_L);
         auto* label = dynamic_cast<TQRLabel*>(Doc()->SelectedElement());
         TypeText("Customer");
         Expect(shot, label && label->Caption() == "Customer", "typing on the inserted label did not replace its caption");
         Press(Qt::Key_I, Qt::AltModifier);
         Press(Qt::Key_D);
         auto* field = dynamic_cast<TQRDBText*>(Doc()->SelectedElement());
         Expect(shot, field && label && field->Parent() == label->Parent() &&
                          !(field->BoundsRect().Left < label->BoundsRect().Right &&
                            label->BoundsRect().Left < field->BoundsRect().Right &&
                            field->BoundsRect().Top < label->BoundsRect().Bottom &&
                            label->BoundsRect().Top < field->BoundsRect().Bottom),
                "the data field did not go beside the label on its band");
         WhileModal(dlgFields, [] {
           TypeText("company");
           Press(Qt::Key_Return);
         });
         Press(Qt::Key_Return);  // Enter on a data field opens the field dialog
         Expect(shot, field && field->DataField() == "company", "the field dialog did not set the data field");
         shot.Take("elements");
         Press(Qt::Key_Tab, Qt::ShiftModifier);
         Expect(shot, Doc()->SelectedElement() != field, "Shift+Tab did not step to another element");
         Press(Qt::Key_F11, Qt::ControlModifier);
         Expect(shot, QApplication::activeWindow() == frmProps, "Ctrl+F11 did not take the keyboard to the properties window");
         TakeWithProperties(shot, "properties-focused");
         frmMain->activateWindow();
         QTest::qWaitForWindowActive(frmMain);
         bool previewed = false;
         WhilePreviewShows(false, [&shot, &previewed](TQRStandardPreview* window) {
           shot.Take("preview");
           previewed = true;
           QTest::keyClick(window, Qt::Key_Escape);
         });
         Press(Qt::Key_F9);
         Expect(shot, previewed, "F9 did not show the preview, or Escape did not close it");
         const std::string file = QDir(QDir::tempPath()).filePath("uishot-keyboard.rpt").toStdString();
         frmMain->SaveDialog = [file](const std::string&) -> std::optional<std::string> { return file; };
         Press(Qt::Key_S, Qt::ControlModifier);
         frmMain->SaveDialog = nullptr;
         Expect(shot, Doc()->FileName == file && !Doc()->Modified, "Ctrl+S on the new document did not save it");
         std::remove(file.c_str());
       }},
      {"reopen",
       [](TShot& shot) {
         // New on the order lines, a data field chosen with the field dialog, Save as,
         // every window closed, and the file opened the way the command line opens it.
         WhileModal(dlgData, [] {
           ToTablePreview("order_lines");
           Click(dlgData->Button3);
         });
         Click(ToolButtonOf("actNew"));
         if (!Doc() || !Doc()->DataSet) {
           Expect(shot, false, "New did not give the document the order lines");
           return;
         }
         TControl* field = Insert(pbDBText, {At(rbDetail, {16, 4}), QSize(96, 16)});
         WhileModal(dlgFields, [] {
           ChooseItem(dlgFields->ListBox1, "quantity");
           Click(dlgFields->OkButton);
         });
         DoubleClick(Page(), CenterOnPage(field));
         shot.Take("before-save");
         const std::string fieldName = field->Name();
         const std::string file = QDir(QDir::tempPath()).filePath("uishot-saved.rpt").toStdString();
         frmMain->SaveDialog = [file](const std::string&) -> std::optional<std::string> { return file; };
         frmMain->Action("actSaveAs")->trigger();
         frmMain->SaveDialog = nullptr;
         Expect(shot, !Doc()->Modified && Doc()->FileName == file, "Save as did not save the document");
         frmMain->CloseAllDocuments();
         TShot::Settle();
         OpenFiles({file});
         TShot::Settle();
         TfrmDoc* doc = Doc();
         auto* reopened = doc ? dynamic_cast<TQRDBText*>(doc->Report->FindComponent(fieldName)) : nullptr;
         Expect(shot, reopened && reopened->DataField() == "quantity" && doc->DataSet && doc->DataSet->Active() &&
                          reopened->DataSet() == doc->DataSet,
                "the saved report did not open with its data field bound to the order lines");
         shot.Take("reopened");
         std::remove(file.c_str());
       }},
      {"preview",
       [](TShot& shot) {
         // The example of orders grouped by customer, over every order of the sample
         // database (a long report), F9, and pictures while the pages are still being
         // made, after the end, the whole page and the width; then Close.
         OpenFiles({std::string(RPT_EXAMPLES_DIR) + "/orders_by_customer.rpt"});
         TShot::Settle();
         TfrmDoc* doc = Doc();
         auto* query = doc ? dynamic_cast<TQuery*>(doc->DataSet) : nullptr;
         if (!query || !query->Active()) {
           Expect(shot, false, "the example report did not open on the sample database");
           return;
         }
         query->Close();
         std::string sql = query->SQL()->Text();
         const size_t where = sql.find("where ");
         if (where != std::string::npos) sql.erase(where, sql.find("order by") - where);
         query->SQL()->SetText(sql);
         query->Open();
         auto steps = std::make_shared<std::function<void(int)>>();
         *steps = [&shot, weak = std::weak_ptr(steps), doc](int tries) {
           auto steps = weak.lock();
           if (!steps) return;
           auto* window = dynamic_cast<TQRStandardPreview*>(QApplication::activeModalWidget());
           if (!window || !window->isVisible() || !window->QRPreview()->Image()->HasPage()) {
             if (tries > 0) QTimer::singleShot(20, [steps, tries] { (*steps)(tries - 1); });
             else Fail("F9 showed no preview with a first page");
             return;
           }
           TQRPreview* preview = window->QRPreview();
           // The first page shows while generation goes on.
           const bool generating = !window->GenerationOver();
           std::printf("uishot: first page shown while generating: %s (%s)\n", generating ? "yes" : "no",
                       qPrintable(window->PanelText(1)));
           Expect(shot, !window->Command("LoadReport")->isEnabled() || !generating,
                  "Load was usable while the pages were being made");
           shot.Take("generating");
           // A little later the count has grown.
           QTest::qWait(400);
           std::printf("uishot: a moment later: %s\n", qPrintable(window->PanelText(1)));
           shot.Take("generating-later");
           for (int waited = 0; !window->GenerationOver() && waited < 60000; waited += 50) QTest::qWait(50);
           TShot::Settle();
           Expect(shot, window->GenerationOver() && window->Command("SaveReport")->isEnabled() &&
                            window->Command("Print")->isEnabled(),
                  "the end of generation did not enable Save and Print");
           shot.Take("finished");
           // The outline beside the page lists every customer; a click shows its place.
           QTreeWidget* outline = window->Outline();
           Expect(shot, !window->OutlineDock()->isHidden() && outline->topLevelItemCount() == 1 &&
                            outline->topLevelItem(0)->childCount() > 20,
                  "the outline does not list the customers under the report's title");
           if (outline->topLevelItemCount() == 1 && outline->topLevelItem(0)->childCount() > 20) {
             QTreeWidgetItem* item = outline->topLevelItem(0)->child(20);
             const int32_t page = item->data(0, Qt::UserRole).toInt();
             outline->scrollToItem(item);
             Click(outline->viewport(), outline->visualItemRect(item).center());
             TShot::Settle();
             std::printf("uishot: outline entry %s is on page %d; shown: %s\n", qPrintable(item->text(0)), page,
                         qPrintable(window->PanelText(1)));
             Expect(shot, preview->PageNumber() == page, "a click on an outline entry did not show its page");
             shot.Take("outline-entry");
             // A customer's total links back to its heading: found on the page shown and clicked.
             TQRPreviewImage* image = preview->Image();
             QWidget* peer = PeerWidget(image);
             // Only where the page shows: a user clicks what is on the screen.
             QPoint link(-1, -1);
             const QRect seen = peer ? peer->visibleRegion().boundingRect() : QRect();
             for (int y = seen.top(); y < seen.bottom() - 2 && link.y() < 0; y += 3)
               for (int x = seen.left(); x < seen.left() + seen.width() / 3 && link.y() < 0; x += 6)
                 if (image->LinkAt(x, y).rfind("#", 0) == 0) link = QPoint(x + 2, y + 1);
             if (peer && link.y() >= 0) {
               const std::string target = image->LinkAt(link.x(), link.y());
               QMouseEvent move(QEvent::MouseMove, QPointF(link), peer->mapToGlobal(QPointF(link)), Qt::NoButton,
                                Qt::NoButton, Qt::NoModifier);
               QApplication::sendEvent(peer, &move);
               TShot::Settle();
               Expect(shot, peer->cursor().shape() == Qt::PointingHandCursor, "the pointer is no hand over a link");
               Click(peer, link);
               TShot::Settle();
               std::printf("uishot: link %s clicked; shown: %s\n", target.c_str(), qPrintable(window->PanelText(1)));
               Expect(shot, preview->PageNumber() != page || image->LinkAt(link.x(), link.y()) != target,
                      "a click on a link did not show its bookmark");
               shot.Take("link-followed");
             } else {
               Expect(shot, false, "no link to a customer found on the page shown");
             }
             window->FirstPageClick();
             window->centralWidget()->setFocus();
           }
           Click(window->ToolBar1()->widgetForAction(window->Command("ZoomFit")));
           Expect(shot, preview->ZoomMode() == zmFitPage, "Zoom to fit did not fit the page");
           shot.Take("zoom-fit");
           QTest::keyClick(WindowOf(window), Qt::Key_PageDown);
           Click(window->ToolBar1()->widgetForAction(window->Command("ZoomToWidth")));
           Expect(shot, preview->ZoomMode() == zmFitWidth && preview->PageNumber() == 2,
                  "Page Down and Zoom to width did not show page 2 across the width");
           shot.Take("page2-zoom-width");
           Click(window->ExitButton());
           (void)doc;
         };
         QTimer::singleShot(20, [steps] { (*steps)(500); });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_F9);
         TShot::Settle();
         for (int waited = 0; doc->Report->GenerationRunning() && waited < 10000; waited += 50) QTest::qWait(50);
         Expect(shot, !doc->Report->GenerationRunning() && !QApplication::activeModalWidget(),
                "closing the preview did not end it");
         shot.Take("closed");
       }},
      {"highlights",
       [](TShot& shot) {
         // The grouped example's order total and its Highlights in the rule editor.
         OpenFiles({std::string(RPT_EXAMPLES_DIR) + "/orders_by_customer.rpt"});
         TShot::Settle();
         TfrmDoc* doc = Doc();
         auto* total = doc ? dynamic_cast<TQRPrintable*>(doc->Report->FindComponent("OrderTotal")) : nullptr;
         if (!total) {
           Expect(shot, false, "the example has no OrderTotal");
           return;
         }
         TQRHighlights rules;
         rules.AssignFrom(total->Highlights());
         TItemListDialog dialog(frmMain);
         dialog.Load(rules);
         dialog.show();
         Expect(shot, dialog.List->count() == 1 && dialog.Fields->findChild<QLineEdit*>("Condition"),
                "the rule editor does not show the example's rule");
         shot.Take("rule-editor");
         dialog.AddItem();
         shot.Take("rule-added");
         dialog.reject();
       }},
      {"print",
       [](TShot& shot) {
         // The long example, Ctrl+P: the print dialog with the PDF file printer and pages
         // 2 to 5; then the progress form during the pass, the document's commands off;
         // afterwards a PDF of four pages and the commands on again.
         TfrmDoc* doc = OpenLongExample(shot);
         if (!doc) return;
         const std::string pdf = QDir(QDir::tempPath()).filePath("uishot-print.pdf").toStdString();
         std::remove(pdf.c_str());
         auto progressShot = std::make_shared<QTimer>();
         progressShot->setInterval(20);
         QObject::connect(progressShot.get(), &QTimer::timeout, [&shot, timer = progressShot.get()] {
           QWidget* form = nullptr;
           for (QWidget* w : QApplication::topLevelWidgets())
             if (w->objectName() == "QRProgressForm" && w->isVisible()) form = w;
           auto* info = form ? form->findChild<QLabel*>("Info") : nullptr;
           // Once the pass has counted a share of its records.
           if (!info || info->text().isEmpty() || info->text().startsWith("0%")) return;
           timer->stop();
           std::printf("uishot: progress form shows \"%s\"\n", qPrintable(info->text()));
           Expect(shot, !frmMain->Action("actChangeData")->isEnabled() && !frmMain->Action("actPrint")->isEnabled() &&
                            !frmMain->Action("actClose")->isEnabled(),
                  "the document's commands stayed on while its report printed");
           shot.Take("progress");
         });
         auto steps = std::make_shared<std::function<void(int)>>();
         *steps = [&shot, weak = std::weak_ptr(steps), pdf, progressShot](int tries) {
           auto steps = weak.lock();
           if (!steps) return;
           auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
           if (!dialog || !dialog->isVisible() || dialog->objectName() != "QRPrintDialog") {
             if (tries > 0) QTimer::singleShot(50, [steps, tries] { (*steps)(tries - 1); });
             else Fail("Ctrl+P showed no print dialog");
             return;
           }
           // The window system places the dialog a moment after it shows.
           QTest::qWait(150);
           shot.Take("dialog");
           auto* printer = dialog->findChild<QComboBox*>("PrinterName");
           auto* file = dialog->findChild<QLineEdit*>("FileName");
           auto* from = dialog->findChild<QLineEdit*>("FromPage");
           auto* to = dialog->findChild<QLineEdit*>("ToPage");
           auto* ok = dialog->findChild<QPushButton*>("OkButton");
           if (!printer || !file || !from || !to || !ok) {
             Fail("the print dialog lacks its controls");
             dialog->reject();
             return;
           }
           printer->setCurrentIndex(printer->findText("PDF file"));
           file->setText(QString::fromStdString(pdf));
           Click(dialog->findChild<QRadioButton*>("PageNums"));
           Click(from);
           QTest::keyClicks(from, "2");
           Click(to);
           QTest::keyClicks(to, "5");
           shot.Take("dialog-pdf-pages-2-5");
           progressShot->start();
           Click(ok);
         };
         QTimer::singleShot(50, [steps] { (*steps)(60); });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_P, Qt::ControlModifier);
         TShot::Settle();
         progressShot->stop();
         const int pages = PdfPageCount(pdf);
         std::printf("uishot: the PDF has %d pages\n", pages);
         Expect(shot, pages == 4, "printing pages 2 to 5 did not give a PDF of four pages");
         Expect(shot, frmMain->Action("actChangeData")->isEnabled() && !doc->ReportBusy(),
                "the document's commands stayed off after the print");
         shot.Take("printed");
         std::remove(pdf.c_str());
       }},
      {"pagesettings",
       [](TShot& shot) {
         TfrmDoc* doc = NewDocument();
         // F12 runs the dialog modally: its steps run from the dialog's own event loop.
         auto steps = std::make_shared<std::function<void(int)>>();
         *steps = [&shot, weak = std::weak_ptr(steps)](int tries) {
           auto steps = weak.lock();
           if (!steps) return;
           auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
           if (!dialog || !dialog->isVisible()) {
             if (tries > 0) QTimer::singleShot(50, [steps, tries] { (*steps)(tries - 1); });
             return;
           }
           Expect(shot, dialog->objectName() == "dlgReportProps", "F12 opened another window");
           shot.Take("dialog");
           auto* paper = dialog->findChild<QComboBox*>("ComboBox1");
           auto* width = dialog->findChild<QLineEdit*>("Edit1");
           if (!paper || !width) {
             dialog->reject();
             return;
           }
           Click(paper);
           if (QAbstractItemView* list = paper->view(); list && list->isVisible())
             Click(list->viewport(), list->visualRect(paper->model()->index(7, 0)).center());
           Expect(shot, paper->currentText() == "Custom" && width->isEnabled() && width->text() == "210",
                  "choosing Custom did not fill and enable the size boxes");
           shot.Take("custom-paper");
           // A page 150 mm wide, typed over the width and confirmed with Enter.
           Click(width);
           QTest::keyClick(WindowOf(width), Qt::Key_End);
           QTest::keyClick(WindowOf(width), Qt::Key_Home, Qt::ShiftModifier);
           for (char c : std::string("150")) QTest::keyClick(WindowOf(width), c);
           QTest::keyClick(WindowOf(width), Qt::Key_Return);
         };
         QTimer::singleShot(50, [steps] { (*steps)(40); });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_F12);
         TShot::Settle();
         const TQRPage* page = doc->Report->Page();
         Expect(shot, doc->Modified && page->PaperSize() == TQRPaperSize::Custom && page->NativeValue(pvWidth) == 1500,
                "Ok did not give the document a custom page 150 mm wide");
         // At 50 % the whole page shows, narrower than A4.
         frmMain->ComboBox1()->setCurrentIndex(1);
         shot.Take("custom-page-applied");
       }},
      {"inspector",
       [](TShot& shot) {
         // One label: its properties with Font opened; a caption, a font size and a
         // colour typed into the inspector; then three elements of different kinds.
         NewDocument();
         frmProps->move(frmMain->frameGeometry().right() + 8, frmMain->frameGeometry().top());
         frmProps->resize(260, 520);
         TControl* label = Insert(pbLabel, {At(rbTitle, {16, 8}), QSize(96, 16)});
         TZQKPropertyInspector* insp = frmProps->PropInsp;
         Expect(shot, insp->InspectedObjects().Count() == 1, "the properties window does not show the label");
         ExpandRow(insp->PropItems().FindItem("Font"));
         TZQKPropertyInspectorItem* font = insp->PropItems().FindItem("Font");
         Expect(shot, font && font->Expanded(), "the Font row did not open");
         shot.TakeDetail("label-font-expanded", frmProps, 1);
         TypeIntoRow(insp->PropItems().FindItem("Caption"), "Customer list");
         TypeIntoRow(insp->PropItems().FindItem("Font")->FindItem("Size"), "14");
         TypeIntoRow(insp->PropItems().FindItem("Color"), "clYellow");
         Expect(shot, CaptionOf(label) == "Customer list", "the caption typed in the inspector did not reach the label");
         TakeWithProperties(shot, "caption-size-colour-changed");
         // A frame: the Font row closed again so Frame's rows fit, bottom and left sides drawn 2 points wide.
         if (TZQKPropertyInspectorItem* f = insp->PropItems().FindItem("Font")) f->Row()->Collapse();
         ExpandRow(insp->PropItems().FindItem("Frame"));
         TZQKPropertyInspectorItem* frameRow = insp->PropItems().FindItem("Frame");
         Expect(shot, frameRow && frameRow->Expanded(), "the Frame row did not open");
         if (frameRow) {
           TypeIntoRow(frameRow->FindItem("DrawBottom"), "True");
           TypeIntoRow(insp->PropItems().FindItem("Frame")->FindItem("DrawLeft"), "True");
           TypeIntoRow(insp->PropItems().FindItem("Frame")->FindItem("Width"), "2");
         }
         const TQRFrame* frame = static_cast<TQRCustomLabel*>(label)->Frame();
         Expect(shot, frame->DrawBottom() && frame->DrawLeft() && !frame->DrawTop() && frame->Width() == 2,
                "the frame typed in the inspector did not reach the label");
         TakeWithProperties(shot, "frame-bottom-left-2pt");
         shot.TakeDetail("frame-close-up", PeerWidget(label), 4);
         ShowMenu(shot, 1, "menu-edit-undo-change");
         // A transparent label shows its band through it: the band coloured aqua, the
         // label's own colour given up.
         TQRCustomBand* title = Doc()->Report->FindBand(rbTitle);
         Doc()->ZQKDesigner1->Select({title});
         TShot::Settle();
         TypeIntoRow(insp->PropItems().FindItem("Color"), "clAqua");
         Doc()->ZQKDesigner1->Select({label});
         TShot::Settle();
         TypeIntoRow(insp->PropItems().FindItem("Transparent"), "True");
         const QImage under = PeerWidget(title)->grab(PeerWidget(label)->geometry()).toImage();
         int aqua = 0;
         for (int y = 0; y < under.height(); ++y)
           for (int x = 0; x < under.width(); ++x) aqua += (under.pixel(x, y) & 0xFFFFFF) == 0x00FFFFu;
         Expect(shot, aqua * 4 > under.width() * under.height(), "the band does not show through the transparent label");
         TakeWithProperties(shot, "transparent-label-on-aqua-band");

         TControl* field = Insert(pbDBText, {At(rbTitle, {150, 8}), QSize(80, 16)});
         TControl* memo = Insert(pbMemo, {At(rbTitle, {260, 8}), QSize(80, 32)});
         Doc()->ZQKDesigner1->Select({label, field, memo});
         TShot::Settle();
         Expect(shot, insp->InspectedObjects().Count() == 3 && frmProps->ZQKObjectComboBox1->DisplayText() ==
                                                                    "3 item(s) selected",
                "the three elements are not shown together");
         ExpandRow(insp->PropItems().FindItem("Font"));
         shot.TakeDetail("three-kinds-selected", frmProps, 1);
         TypeIntoRow(insp->PropItems().FindItem("Font")->FindItem("Size"), "12");
         bool allTwelve = true;
         for (TControl* c : {label, field, memo}) allTwelve = allTwelve && static_cast<TQRCustomLabel*>(c)->Font()->Size() == 12;
         Expect(shot, allTwelve, "the font size typed for three elements did not reach all three");
         TakeWithProperties(shot, "three-kinds-font-size-12");
         // The selector lists the report's elements.
         Click(frmProps->ZQKObjectComboBox1);
         Expect(shot, frmProps->ZQKObjectComboBox1->DroppedDown(), "the selector did not open");
         TakeWithProperties(shot, "selector-open");
         QTest::keyClick(frmProps->ZQKObjectComboBox1, Qt::Key_Escape);
       }},
      {"grouplist",
       [](TShot& shot) {
         // Orders grouped by customer with a freight subtotal in the group's footer, made
         // with the palette, the properties window and the dialogs alone: the footer is
         // linked by choosing it in the group's FooterBand row. The preview then shows
         // every customer's footer with its subtotal.
         WhileModal(dlgData, [] {
           TdlgData* d = dlgData;
           ChooseItem(d->ListBox1, "Sample");
           Click(d->Button3);
           Click(d->RadioButton2);
           Click(d->Button3);
           Click(d->Memo1);
           Type(d->Memo1,
                "SELECT customer_id, order_id, freight FROM orders\n"
                "WHERE customer_id <= 3 ORDER BY customer_id, order_id");
           Click(d->Button3);
           Click(d->Button3);
         });
         Click(ToolButtonOf("actNew"));
         TfrmDoc* doc = Doc();
         Expect(shot, doc && dynamic_cast<TQuery*>(doc->DataSet), "New did not bind the query of orders");
         if (!doc || !doc->DataSet) return;
         frmProps->move(frmMain->frameGeometry().right() + 8, frmMain->frameGeometry().top());
         frmProps->resize(260, 520);
         doc->SubWindow->showMaximized();
         TZQKPropertyInspector* insp = frmProps->PropInsp;
         // A data field on a band, its field chosen in the field dialog.
         auto field = [](TQRBandType band, int x, const char* name) {
           TControl* f = Insert(pbDBText, {At(band, {x, 4}), QSize(96, 16)});
           WhileModal(dlgFields, [name] {
             ChooseItem(dlgFields->ListBox1, name);
             Click(dlgFields->OkButton);
           });
           DoubleClick(Page(), CenterOnPage(f));
           return dynamic_cast<TQRDBText*>(f);
         };
         TQRDBText* order = field(rbDetail, 16, "order_id");
         TQRDBText* freight = field(rbDetail, 160, "freight");
         Expect(shot, order && order->DataField() == "order_id" && freight && freight->DataField() == "freight",
                "the field dialog did not bind the detail's fields");
         // The group, from the palette, breaking on the customer.
         Click(frmMain->PaletteButton(pbGroup));
         Click(Page(), At(rbPageFooter, {400, 8}));
         auto* group = dynamic_cast<TQRGroup*>(Engine()->Selection()->LastControl());
         Expect(shot, group && group->Parent() == doc->Report, "the group did not go onto the report");
         if (!group) return;
         TypeIntoRow(insp->PropItems().FindItem("Expression"), "customer_id");
         Expect(shot, group->Expression() == "customer_id", "the expression typed in the inspector did not reach the group");
         field(rbGroupHeader, 16, "customer_id");
         // A plain band, to become the footer.
         Click(frmMain->PaletteButton(pbBand));
         Click(Page(), At(rbPageFooter, {400, 8}));
         auto* footer = dynamic_cast<TQRBand*>(Engine()->Selection()->LastControl());
         Expect(shot, footer && footer->Parent() == doc->Report, "the band did not go onto the report");
         if (!footer) return;
         TakeWithProperties(shot, "group-and-band-inserted");
         // The group selected on the page; its FooterBand row lists the report's bands.
         Click(Page(), At(rbGroupHeader, {250, 10}));
         Expect(shot, insp->InspectedObjects().Count() == 1 && insp->InspectedObjects().Items(0) == group,
                "clicking the group band did not show it in the properties window");
         TZQKPropertyInspectorItem* footerRow = insp->PropItems().FindItem("FooterBand");
         Expect(shot, footerRow, "the group has no FooterBand row");
         if (!footerRow) return;
         footerRow->Activate();
         TShot::Settle();
         Click(insp->InplaceEditor()->Button());
         auto* list = insp->InplaceEditor()->findChild<QListWidget*>("InplaceEditList");
         const QString name = QString::fromStdString(footer->Name());
         Expect(shot, list && list->isVisible() && !list->findItems(name, Qt::MatchExactly).isEmpty(),
                "the FooterBand list does not offer the new band");
         TakeWithProperties(shot, "footerband-list");
         if (!list || !list->isVisible()) return;
         ChooseItem(list, name.toUtf8().constData());
         Expect(shot, group->FooterBand() == footer && footer->BandType() == rbGroupFooter,
                "choosing the band did not make it the group's footer");
         TakeWithProperties(shot, "footer-linked");
         // The subtotal: an expression on the footer, reset after each group.
         TControl* sum = Insert(pbExpr, {At(rbGroupFooter, {160, 4}), QSize(96, 16)});
         Expect(shot, dynamic_cast<TQRExpr*>(sum) && sum->Parent() == footer,
                "the expression did not go onto the footer");
         TypeIntoRow(insp->PropItems().FindItem("Expression"), "SUM(freight)");
         TypeIntoRow(insp->PropItems().FindItem("ResetAfterPrint"), "True");
         auto* sumExpr = dynamic_cast<TQRExpr*>(sum);
         Expect(shot, sumExpr && sumExpr->Expression() == "SUM(freight)" && sumExpr->ResetAfterPrint(),
                "the subtotal's expression and reset did not reach it");
         TakeWithProperties(shot, "subtotal-on-footer");
         // The preview, on the page where the first customer's subtotal prints.
         WhilePreviewShows(true, [&shot](TQRStandardPreview* window) {
           Click(window->ToolBar1()->widgetForAction(window->Command("ZoomToWidth")));
           TShot::Settle();
           shot.Take("preview");
           QTest::keyClick(WindowOf(window), Qt::Key_PageDown);
           TShot::Settle();
           shot.Take("preview-page2");
           Click(window->ExitButton());
         });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_F9);
         TShot::Settle();
         // Every customer's footer prints its own subtotal (the sums of the sample data).
         const std::string pdf = WritePdf(doc, "uishot-grouplist.pdf");
         const std::string text = PdfText(pdf);
         for (const char* subtotal : {"4749.1", "3619.66", "4587.36"}) {
           std::printf("uishot: subtotal %s printed: %s\n", subtotal,
                       text.find(subtotal) != std::string::npos ? "yes" : "no");
           Expect(shot, text.find(subtotal) != std::string::npos, "a customer's subtotal is missing from the pages");
         }
         std::remove(pdf.c_str());
       }},
      {"undo",
       [](TShot& shot) {
         // A row of labels inserted from the palette, aligned and spaced from the Align
         // tool bar, copied into a second report; undo and redo there and back.
         TfrmDoc* first = NewDocument();
         const QPoint spots[] = {{16, 8}, {110, 22}, {170, 4}, {330, 14}};
         std::vector<TComponent*> labels;
         for (QPoint spot : spots) {
           Click(frmMain->PaletteButton(pbLabel));
           Click(Page(), At(rbTitle, spot));
           labels.push_back(Engine()->Selection()->LastControl());
         }
         first->ZQKDesigner1->Select(labels);
         shot.Take("row-selected");
         QToolBar* alignBar = frmMain->findChild<QToolBar*>("ToolBar2");
         QToolBar* mainBar = frmMain->findChild<QToolBar*>("ToolBar1");
         auto button = [](QToolBar* bar, const char* action) { return bar->widgetForAction(frmMain->Action(action)); };
         Click(button(alignBar, "actALTop"));
         Click(button(alignBar, "actALHSpace"));
         const auto* row = static_cast<TControl*>(labels[1]);
         Expect(shot, row->Top() == static_cast<TControl*>(labels[0])->Top(), "the tops were not aligned");
         Expect(shot, first->UndoCaption() == "Undo Space Equally, Horizontally", "the spacing step is not named");
         shot.Take("aligned-and-spaced");
         ShowMenu(shot, 1, "menu-edit-undo-align");
         Click(button(mainBar, "actCopy"));

         TfrmDoc* second = NewDocument();
         second->ZQKDesigner1->Select({second->Report->FindBand(rbTitle)});
         Click(button(mainBar, "actPaste"));
         Expect(shot, second->SelectionCount() == 4, "the four labels were not pasted");
         shot.Take("pasted-into-second");
         ShowMenu(shot, 1, "menu-edit-undo-paste");
         QTest::keyClick(WindowOf(frmMain), Qt::Key_Z, Qt::ControlModifier);
         TShot::Settle();
         Expect(shot, second->SelectionCount() == 0 && !second->Modified, "undo did not take the paste back");
         shot.Take("paste-undone");
         QTest::keyClick(WindowOf(frmMain), Qt::Key_Y, Qt::ControlModifier);
         TShot::Settle();
         Expect(shot, second->SelectionCount() == 4, "redo did not paste again");
         shot.Take("paste-redone");

         // Back in the first report: undo the spacing and the alignment.
         Click(first->SubWindow, {60, 10});
         frmMain->Action("actUndo")->trigger();
         frmMain->Action("actUndo")->trigger();
         TShot::Settle();
         Expect(shot, first->UndoCaption() == "Undo Insert", "two undos did not take back the spacing and the alignment");
         Expect(shot, first->RedoCaption() == "Redo Align Top Edges", "the alignment step is not named");
         shot.Take("first-alignment-undone");
         ShowMenu(shot, 1, "menu-edit-redo-align");
         // Undo and Redo also head the design surface's context menu.
         TControl* last = Engine()->Selection()->LastControl();
         Engine()->ContextMenu(ClientToScreen(last, {10, 5}));
         TShot::Settle();
         shot.Take("context-menu-undo-redo");
         CloseMenus();
       }},
      {"undoreport",
       [](TShot& shot) {
         // A label, new page settings and new data, each a step of the Edit menu, then
         // undone one by one back to the report New made.
         TfrmDoc* doc = NewDocument();
         if (!doc) return;
         const std::string start = doc->DocumentBytes();
         Insert(pbLabel, {At(rbTitle, {16, 8}), QSize(96, 16)});
         auto* dialog = static_cast<TdlgReportProps*>(dlgReportProps);
         WhileModal(dialog, [&shot, dialog] {
           auto* orientation = dialog->findChild<QComboBox*>("ComboBox2");
           auto* left = dialog->findChild<QLineEdit*>("Edit3");
           if (!orientation || !left) return;
           Click(orientation);
           if (QAbstractItemView* list = orientation->view(); list && list->isVisible())
             Click(list->viewport(), list->visualRect(orientation->model()->index(1, 0)).center());
           // A left margin of 30 mm typed over the old one, confirmed with Enter.
           Click(left);
           QTest::keyClick(WindowOf(left), Qt::Key_End);
           QTest::keyClick(WindowOf(left), Qt::Key_Home, Qt::ShiftModifier);
           for (char c : std::string("30")) QTest::keyClick(WindowOf(left), c);
           shot.Take("page-settings-dialog");
           QTest::keyClick(WindowOf(left), Qt::Key_Return);
         });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_F12);
         TShot::Settle();
         const TQRPage* page = doc->Report->Page();
         Expect(shot, page->Orientation() == poLandscape && page->NativeValue(pvLeftMargin) == 300,
                "the page settings did not make the page landscape with a left margin of 30 mm");
         Expect(shot, doc->UndoCaption() == "Undo Page Settings", "the page settings are not an undoable step");
         shot.Take("page-settings-applied");
         ShowMenu(shot, 1, "menu-edit-undo-page-settings");
         // Report > Change data binds the orders instead of the customers.
         WhileModal(dlgData, [] {
           ToTablePreview("orders");
           Click(dlgData->Button3);
         });
         QTest::keyClick(WindowOf(frmMain), Qt::Key_R, Qt::AltModifier);
         TShot::Settle();
         if (QWidget* menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_C);
         TShot::Settle();
         auto* orders = dynamic_cast<TTable*>(doc->DataSet);
         Expect(shot, orders && orders->TableName() == "orders", "Change data did not bind the orders");
         Expect(shot, doc->UndoCaption() == "Undo Change Data", "Change data is not an undoable step");

         // Edit > Undo three times, each from the menu with its caption on show.
         auto undoFromMenu = [&shot](const std::string& step) {
           QMenuBar* bar = frmMain->menuBar();
           QAction* edit = bar->actions().value(1);
           if (!edit || !edit->menu()) return;
           Click(bar, bar->actionGeometry(edit).center());
           shot.Take(step);
           QMenu* menu = edit->menu();
           if (menu->isVisible()) Click(menu, menu->actionGeometry(frmMain->Action("actUndo")).center());
           TShot::Settle();
           CloseMenus();
         };
         undoFromMenu("menu-edit-undo-change-data");
         auto* customers = dynamic_cast<TTable*>(doc->DataSet);
         Expect(shot, customers && customers->TableName() == "customers" && customers->Active(),
                "undoing Change data did not bind the customers again");
         Expect(shot, doc->UndoCaption() == "Undo Page Settings" && doc->RedoCaption() == "Redo Change Data",
                "undoing Change data left the wrong steps");
         undoFromMenu("menu-edit-undo-page-settings-again");
         Expect(shot, doc->Report->Page()->Orientation() == poPortrait, "undoing the page settings kept landscape");
         shot.Take("page-settings-undone");
         undoFromMenu("menu-edit-undo-insert");
         Expect(shot, doc->DocumentBytes() == start && !doc->Modified && !doc->CanUndo(),
                "three undos did not give back the report New made");
         ShowMenu(shot, 1, "menu-edit-back-to-start");
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
    rpt::SetMessageBoxHook(nullptr);
    app.SetErrorHook([&failures](const std::string& m) {
      std::fprintf(stderr, "uishot: error shown to the user: %s\n", m.c_str());
      ++failures;
    });
    if (!QTest::qWaitForWindowExposed(rpt::frmMain)) std::fprintf(stderr, "uishot: the main window was not shown\n");
    TShot shot(dir, n);
    Scenarios().at(n)(shot);
    failures += shot.Failures + gFailures;
    gFailures = 0;
    // Leave without prompts: what the scenario changed is thrown away.
    for (rpt::TfrmDoc* d : rpt::frmMain->Documents()) d->Modified = false;
    rpt::frmMain->CloseAllDocuments();
    TShot::Settle();
    rpt::EndProgram();
    QCoreApplication::processEvents();
  }
  return failures == 0 ? 0 : 1;
}
