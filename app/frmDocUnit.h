#pragma once
// The report document window: one open report with its dataset, file name and
// unsaved-changes flag, shown as a child window of the main window.
#include <QMdiSubWindow>
#include <QPointer>
#include <string>

#include "designer/Designer.h"
#include "framework/Controls.h"

namespace rpt {

// Stands in for the report until the report classes exist: a white page-sized panel
// with a zoom. Streamed under its own class name.
class TReportStandIn : public TCustomPanel {
  RPT_CLASS(TReportStandIn, TCustomPanel)
  TReportStandIn();
  int32_t Zoom() const { return FZoom; }
  // Values outside 1..300 are ignored; the panel's size follows the zoom.
  void SetZoom(int32_t value);

 private:
  int32_t FZoom = 100;
};

class TfrmDoc : public TCustomForm {
  RPT_CLASS(TfrmDoc, TCustomForm)

  TfrmDoc();

  // A new document window (the counter names it), and one loaded from a file; a file
  // that fails to load destroys the window and the error propagates.
  static TfrmDoc* CreateNew(TComponent* owner);
  static TfrmDoc* CreateFromFile(TComponent* owner, const std::string& fileName);
  // The program-wide counter of new documents (starts at 1).
  static int& Counter();
  // Whether the last close handling let its window close.
  static bool LastCloseAccepted;

  TZQKDesignPanel* ZQKDesignPanel1 = nullptr;
  TZQKDesigner* ZQKDesigner1 = nullptr;
  TReportStandIn* Report = nullptr;  // no owner: destroyed by the window
  TComponent* DataSet = nullptr;     // owned by the window; may be none
  std::string FileName;
  bool Modified = false;

  void AssignDataSet(TComponent* dataSet);
  void MarkModified() { Modified = true; }
  // The .rpt file: header, then the report's component stream. Saving replaces the
  // file only when every byte is written.
  void SaveToFile(const std::string& fileName);
  void LoadFromFile(const std::string& fileName);

  // What the editing commands ask of the design surface; a window without a designer
  // has an empty selection and nothing to copy or paste.
  bool CanCopy() const { return ZQKDesigner1 && ZQKDesigner1->CanCopy(); }
  bool CanCut() const { return ZQKDesigner1 && ZQKDesigner1->CanCut(); }
  bool CanPaste() const { return ZQKDesigner1 && ZQKDesigner1->CanPaste(); }
  // The report itself selected counts as no element.
  int SelectionCount() const;
  bool OneElementSelected() const { return SelectionCount() == 1; }

  // The child window that shows this form; set by the main window.
  QPointer<QMdiSubWindow> SubWindow;
  bool Releasing() const { return FReleasing; }

  void FormActivate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormDestroy(TObject* sender);
  void ZQKDesigner1ComponentInserting(TObject* sender, TComponentClass& componentClass);
  void ZQKDesigner1ComponentInserted(TObject* sender);
  void ZQKDesigner1ChangeSelection(TObject* sender);
  void ZQKDesigner1Change(TObject* sender);
  void ZQKDesigner1ComponentHint(TObject* sender, TComponent* component, std::string& hint);
  void ZQKDesigner1KeyDown(TObject* sender, uint16_t& key, TShiftState shift);
  void ZQKDesigner1KeyPress(TObject* sender, char& key);
  // The one selected element (the selection's last), or none unless exactly one is.
  TComponent* SelectedElement() const;

 protected:
  void Destroy() override;

 private:
  void RefreshAndMark();
  // Sets a published DataSet property of the component to the window's dataset.
  void BindDataSet(TComponent* component);
  bool FReleasing = false;
};

// The file name without its directory.
std::string ExtractFileName(const std::string& path);

// The report's element classes are told apart by their registered names, so the
// document works with whichever classes the report module registers.
// True when the component's class or one of its ancestors has the name.
bool InheritsFromClass(const TComponent* component, std::string_view className);
// The text after one typed character: codes from 32 up (bytes 128..255 too) are
// appended, Backspace removes the last character, other control codes change nothing.
// Returns whether the text changed.
bool TypeCharacter(std::string& text, char key);

}  // namespace rpt
