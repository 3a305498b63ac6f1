#pragma once
// The main window: the multiple-document frame that owns every command as an action,
// with the menus, both tool bars, the context menu, the palette and the zoom box.
#include <QButtonGroup>
#include <QComboBox>
#include <QMainWindow>
#include <QMdiArea>
#include <QToolBar>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/frmPropsUnit.h"
#include "framework/Actions.h"
#include "framework/Menus.h"

class QToolButton;

namespace rpt {

class TfrmDoc;
class TClassDescriptor;
class TdlgData;
class TDataSet;
class TQRParameters;
class TImageList;
class TdlgFields;
class TdlgLinesEditor;

// Horizontal and vertical alignment codes of an align action's tag.
struct TAlignCodes {
  int Horizontal = 0;
  int Vertical = 0;
};
TAlignCodes AlignCodesForTag(int tag);

class TfrmMain : public QMainWindow {
 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The active document: the active child window, or none.
  TfrmDoc* ActiveDocument() const;
  // The active document when no pass runs on its report: the one the commands work on.
  TfrmDoc* EditableDocument() const;
  // Open document windows in the frame's order (bottom of the stack first).
  std::vector<TfrmDoc*> Documents() const;

  void SelectedPaletteClass(const TClassDescriptor*& cls) const;
  void ResetPalette();
  // Opens a report file in a new document window and shows it; a file that cannot be
  // opened raises its error and leaves no window.
  // A report file in a document window; a recorded report in a preview (none returned).
  TfrmDoc* OpenFile(const std::string& fileName);
  void SaveDocument(TfrmDoc* doc);
  bool SaveDocumentAs(TfrmDoc* doc);
  bool CloseAllDocuments();
  void SyncZoomCombo(bool clear);
  // Detail data: the data dialog makes a sub-detail's dataset for the target (see
  // TfrmDoc::PlaceDetailDataSet); a confirmed one is a step of the document's history.
  void EditDetailData(TfrmDoc* doc, TComponent* target);
  // Images of the proxies of tables (0) and queries (1) on design surfaces.
  TImageList* NonvisualImages() const { return FNonvisualImages; }

  // Shows a document window in the frame and activates it.
  void ShowDocument(TfrmDoc* doc);
  void DocumentGone(QMdiSubWindow* sub);

  TActionList* ActionList() const { return FActions; }
  TAction* Action(const std::string& name) const { return FActions->Find(name); }
  TPopupMenu* PopupMenu1() const { return FPopupMenu1; }
  QComboBox* ComboBox1() const { return FComboBox1; }
  QMdiArea* MdiArea() const { return FMdi; }
  QToolButton* PaletteButton(int index) const { return FPaletteButtons[static_cast<size_t>(index)]; }
  int PaletteButtonCount() const { return static_cast<int>(FPaletteButtons.size()); }

  // Where the next file dialog starts: the working directory at start-up, then the
  // folder of the last file chosen in either dialog.
  const QString& DialogDirectory() const { return FDialogDirectory; }

  // Dialog steps the tests replace: the file dialogs (none: cancelled) and the data
  // dialog of New and Change data (false: cancelled); by default the data dialog runs
  // with the document as owner and its dataset is bound to the document.
  std::function<std::optional<std::string>(const std::string& proposed)> SaveDialog;
  std::function<std::optional<std::string>()> OpenDialog;
  // The picture of an inserted picture element (none: cancelled, the element stays empty).
  std::function<std::optional<std::string>()> PictureDialog;
  std::optional<std::string> ChoosePicture();
  std::function<bool(TfrmDoc*)> DataDialog;
  // The data dialog of Detail data: a new dataset without owner, or none (cancelled).
  std::function<TDataSet*(TfrmDoc*)> DetailDataDialog;
  // Preview and print of a document's report; by default the report's own.
  std::function<void(TfrmDoc*)> PreviewReport;
  std::function<void(TfrmDoc*)> PrintReport;
  // Sets the values of the report's parameters before a preview or print (by default
  // the parameter dialog, shown only when the report has some); false cancels the run.
  std::function<bool(TfrmDoc*)> AskParameters;
  // Report > Parameters: edits a copy of the report's parameters; false when cancelled.
  std::function<bool(TfrmDoc*, TQRParameters&)> ParametersDialog;
  // After the data dialog: offers to declare the ":NAME"s of the new SQL as parameters.
  void DeclareParameters(TfrmDoc* doc);
  // The question before closing the program while passes run, for the documents named.
  static std::string StopPassesQuestion(const std::string& documents);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBars();
  void CreatePalette(QWidget* parent);
  TAction* Add(const std::string& name, const std::string& category, const std::string& caption,
               const std::string& keys, int image, int tag = 0);
  void PreviewOrPrint(bool print);
  // Print setup, then the print; a changed orientation resizes the report.
  void PrintDocument(TfrmDoc* doc);
  // What the last pass over the document's report reported (values it could not print).
  void ShowGenerationMessages(TfrmDoc* doc);
  // A document whose report is busy takes no input on its design surface.
  void SyncBusyDocuments();
  // Before the program closes: passes still running are stopped once the user agrees.
  // A print runs beneath this call, so it is asked to stop and the window closes again
  // after it has returned; false while anything still has to end first.
  bool StopPassesForClosing();
  void ZoomChanged(int index);
  // The grab handles follow the report after a zoom.
  static void UpdateHandles(TfrmDoc* doc);
  bool ClaimsShortcut(int key) const;
  // Whether the focus is in a text the user types outside the design surfaces (the
  // inspector's editor, a dialog's field): the text editing keys are then that text's.
  static bool TypingInText();
  void TileDocuments(bool horizontally);
  void ArrangeIcons();
  void CascadeDocuments();
  int CascadeStep() const;

  TActionList* FActions;
  TPopupMenu* FPopupMenu1;
  TImageList* FNonvisualImages;
  QMdiArea* FMdi;
  QComboBox* FComboBox1 = nullptr;
  QButtonGroup* FPalette = nullptr;
  std::vector<QToolButton*> FPaletteButtons;
  QAction* FCloseItem = nullptr;
  bool FSyncingZoom = false;
  int FNextPlace = 0;  // cascade position of the next new window
  QString FDialogDirectory;
  int FBusyIdleId = 0;
  bool FCloseWhenPassEnds = false;
};

// The single-instance windows, reachable by their component names.
extern TfrmMain* frmMain;
extern TdlgData* dlgData;
extern TfrmProps* frmProps;
extern TdlgLinesEditor* dlgLinesEditor;
extern TdlgFields* dlgFields;
extern QWidget* dlgReportProps;

// Creates the six single-instance windows in their fixed order; frmProps is shown.
void CreateSingleInstanceWindows();
void DestroySingleInstanceWindows();

}  // namespace rpt
