#pragma once
// The report document window: one open report with its dataset, file name and
// unsaved-changes flag, shown as a child window of the main window.
#include <QMdiSubWindow>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "designer/Designer.h"
#include "framework/Controls.h"
#include "report/QuickRpt.h"

namespace rpt {

class TfrmDoc : public TCustomForm {
  RPT_CLASS(TfrmDoc, TCustomForm)

  TfrmDoc();

  // A new document window (the counter names it), and one loaded from a file; a file
  // that fails to load destroys the window and the error propagates. A new document
  // starts with a title, a column header, a detail and a page footer band; a window
  // that is about to load a file starts with none, so the file's bands are all it has.
  static TfrmDoc* CreateNew(TComponent* owner, bool withDefaultBands = true);
  static TfrmDoc* CreateFromFile(TComponent* owner, const std::string& fileName);
  // The program-wide counter of new documents (starts at 1).
  static int& Counter();
  // Whether the last close handling let its window close.
  static bool LastCloseAccepted;

  TZQKDesignPanel* ZQKDesignPanel1 = nullptr;
  TZQKDesigner* ZQKDesigner1 = nullptr;
  TNotifyQuickRep* Report = nullptr;  // no owner: destroyed by the window
  TDataSet* DataSet = nullptr;        // owned by the window; may be none
  std::string FileName;
  bool Modified = false;

  // Set by the main window around a print: its pass runs on this thread and lets
  // messages run meanwhile.
  bool Printing = false;
  // Whether a pass runs on the report (a print, or a preview's thread): the report may
  // then neither change nor go, and the window refuses to close.
  bool ReportBusy() const;

  void AssignDataSet(TDataSet* dataSet);
  // A change the design history does not record (only while the designer is inactive):
  // it stays modified whatever is undone, and the earlier steps can no longer be undone.
  void MarkModified();
  // The report equals its file now: undoing or redoing back to here is unmodified.
  void MarkSaved();
  // The .rpt file: header, then the report's component stream. Saving replaces the
  // file only when every byte is written; loading replaces the report only when the
  // whole file was read.
  void SaveToFile(const std::string& fileName);
  // The document as its file holds it (header and stream), and the document made again
  // from such bytes: a new report (the zoom stays) and, when the header names other
  // data, a new dataset; bytes that cannot be read change nothing.
  std::string DocumentBytes() const;
  void LoadDocumentBytes(const std::string& bytes);
  void LoadFromFile(const std::string& fileName);
  // A sub-detail's data: a table or query the report owns (streamed with it, closed; its
  // passes open it). The target decides where it goes: a sub-detail band gets it (its
  // data fields too), replacing a dataset the report owned; a dataset the report owns is
  // replaced under its name and place, in every band and field that used it; with no
  // target it is the data of the one sub-detail that has none, if there is exactly one.
  // Each query parameter without a report function gets one reading the master's field
  // of the same name. The report takes made.
  void PlaceDetailDataSet(TDataSet* made, TComponent* target);
  // The dataset a data field in this band (or in a child band of it) reads: its
  // sub-detail's, else the window's.
  TDataSet* DataSetForBand(const TControl* control) const;
  // Opens the dataset a file names; when that fails the user may still open the report,
  // with the dataset bound but closed. Raises the failure when the user declines.
  static void OpenStoredDataSet(TDataSet& dataSet);

  // What the editing commands ask of the design surface; a window without a designer
  // has an empty selection and nothing to copy or paste.
  bool CanCopy() const { return ZQKDesigner1 && ZQKDesigner1->CanCopy(); }
  bool CanCut() const { return ZQKDesigner1 && ZQKDesigner1->CanCut(); }
  bool CanPaste() const { return ZQKDesigner1 && ZQKDesigner1->CanPaste(); }
  bool CanUndo() const { return ZQKDesigner1 && ZQKDesigner1->CanUndo(); }
  bool CanRedo() const { return ZQKDesigner1 && ZQKDesigner1->CanRedo(); }
  std::string UndoCaption() const { return ZQKDesigner1 ? ZQKDesigner1->UndoCaption() : "Undo"; }
  std::string RedoCaption() const { return ZQKDesigner1 ? ZQKDesigner1->RedoCaption() : "Redo"; }

  // The editing commands of the Edit and Align menus on this window's design surface;
  // each does nothing while the designer is inactive.
  void Undo();
  void Redo();
  void CutSelection();
  void CopySelection();
  void PasteSelection();
  void DeleteSelection();
  void SelectAll();
  // Tag 0..9 of an align command (AlignCodesForTag).
  void AlignSelection(int horizontal, int vertical);
  void AlignSelectionToGrid();
  void BringSelectionToFront();
  void SendSelectionToBack();
  // Lock sets are design information of the session, not part of the report: no
  // modification and no step.
  void LockSelection(TZQKDesignerLockMode mode);
  void UnlockAll();
  void ToggleEnabled();
  void EnableAll();
  // A recorded change of the report itself or of its data (page settings, Change data,
  // Detail data): one step of the design history holding the whole document.
  void ChangeDocument(const std::string& caption, const std::function<void()>& change, int mergeKey = 0);
  // A recorded change of some elements: one step of the design history.
  void ChangeElements(const std::string& caption, const std::vector<TComponent*>& elements,
                      const std::function<void()>& change, int mergeKey = 0);
  // The report itself selected counts as no element.
  int SelectionCount() const;
  bool OneElementSelected() const { return SelectionCount() == 1; }

  // The child window that shows this form; set by the main window.
  QPointer<QMdiSubWindow> SubWindow;
  bool Releasing() const { return FReleasing; }

  // When the properties window shows this document: the designer's selection becomes the
  // inspected objects and the selector's selected objects.
  void PushSelection();
  // The report's OnNotify: every component the report gains or loses.
  void ReportNotification(TNotifyQuickRep* sender, TComponent* component, TComponentOperation operation);
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
  void ZQKDesigner1DblClick(TObject* sender);
  // The one selected element (the selection's last), or none unless exactly one is.
  TComponent* SelectedElement() const;
  // The keyboard's insert: an element of the class into the band of the selected element
  // (the detail band, else the first, when none is selected), a band into the report,
  // at a free place. Throws when the report has no band to take an element.
  void InsertElement(const TClassDescriptor& cls);

 protected:
  void Destroy() override;

 private:
  void RefreshAndMark();
  bool ShownInProperties() const;
  bool DesignerActive() const { return ZQKDesigner1 && ZQKDesigner1->Active(); }
  // Functions for a query's parameters that name a field of the window's dataset.
  void DefineParameterFunctions(TDataSet* made);
  // The editor of a data field, memo, expression memo or expression (first matching
  // class, descendants count); a confirmed edit refreshes and marks.
  void EditElement(TComponent* element);
  // A report with the window's settings: no owner, named Report, printed also without
  // data, and telling the window about its components.
  TNotifyQuickRep* MakeReport();
  bool FReleasing = false;
};

// The file name without its directory.
std::string ExtractFileName(const std::string& path);

// The text after one typed character: codes from 32 up (bytes 128..255 too) are
// appended, Backspace removes the last character, other control codes change nothing.
// Returns whether the text changed.
bool TypeCharacter(std::string& text, char key);

}  // namespace rpt
