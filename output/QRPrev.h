#pragma once
// The preview: a scrolling control that shows one recorded page of a report printer at
// a zoom and follows the printer's news while the pages are generated, and the standard
// preview window around it (tool bar, status bar, save and load of recordings, print).
// The window is opened through a preview interface, so another window can be plugged in.
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Metafile.h"
#include "output/QRPrinter.h"

class QAction;
class QDockWidget;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QToolBar;
class QStatusBar;
class QToolButton;

namespace rpt {

enum TQRZoomMode : uint8_t { zmFitPage, zmFitWidth, zmFree };

RPT_EVENT_TYPE(TQRPageAvailableEvent, void(TObject*, int32_t))
RPT_EVENT_TYPE(TQRProgressUpdateEvent, void(TObject*, int32_t))

// The page itself: the recorded page played onto a white picture of the control's size
// (kept until the page or the size changes), with an outline and a shadow.
class TQRPreviewImage : public TCustomControl {
  RPT_CLASS(TQRPreviewImage, TCustomControl)
  TQRPreviewImage();

  TQRPrinter* PageSource() const { return FPageSource; }
  void SetPageSource(TQRPrinter* value) { FPageSource = value; }
  int32_t PageNumber() const { return FPageNumber; }
  bool HasPage() const { return FPage != nullptr; }
  int32_t Zoom() const { return FZoom; }
  void SetZoom(int32_t value) { FZoom = value; }
  // Loads page n of the printer (none when it is not stored yet) and repaints.
  void ShowPage(int32_t n);
  // The shown page's size in screen pixels at 100 %, taken from its recording.
  std::optional<QSizeF> PageSize() const;
  // The picture of the page at the control's size, drawn when first needed.
  const QImage& PageImage();
  // Pages drawn since the control was made (each page or size once).
  int RenderCount() const { return FRenderCount; }
  // The target of the shown page's link at (x, y) of the control, or "".
  std::string LinkAt(int32_t x, int32_t y) const;
  // The control's y of a height on the shown page, in the page's own pixels.
  int32_t ControlY(int32_t pageY) const;
  // Runs with the target of a link clicked.
  std::function<void(const std::string&)> OnLink;

 protected:
  void Paint() override;
  void BoundsChanged() override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

 private:
  void DrawPage();
  std::vector<TPageAnnotation> FLinks;
  TQRPrinter* FPageSource = nullptr;
  int32_t FPageNumber = 1;
  int32_t FZoom = 100;
  std::unique_ptr<TMetafile> FPage;
  QImage FImage;
  int FRenderCount = 0;
};

// The scrolling control: one page at Zoom percent, centred while it is smaller than the
// control. It is its printer's notify window while attached, so it hears which pages
// are stored and how far generation is.
class TQRPreview : public TCustomForm {
  RPT_CLASS(TQRPreview, TCustomForm)
  TQRPreview();

  TQRPreviewImage* Image() const { return FImage; }
  TQRPrinter* PageSource() const { return FPageSource; }
  // Attaches a printer (or none): the one before stops being previewed, which cancels a
  // generation still running for it.
  void SetPageSource(TQRPrinter* value);
  int32_t PageNumber() const { return FPageNumber; }
  // Pages outside 1..TotalPages are ignored.
  void SetPageNumber(int32_t value);
  int32_t Zoom() const { return FZoom; }
  // Zooms outside 2..2000 are ignored; a zoom set here is free (zmFree).
  void SetZoom(int32_t value);
  TQRZoomMode ZoomMode() const { return FZoomMode; }
  // The pages the printer has announced so far (the last page-available news).
  int32_t AvailablePages() const { return FAvailablePages; }
  // Shows page n scrolled to a height on it (in the page's own pixels).
  void ShowPlace(int32_t n, int32_t pageY);

  void FitToPage();
  void FitToWidth();
  void ApplyZoom();
  // Zoom in or out by a step, keeping the mode free.
  void ZoomBy(int steps);

  TQRPageAvailableEvent OnPageAvailable;
  TQRProgressUpdateEvent OnProgressUpdate;

  void WndProc(TMessage& message) override;

 protected:
  void Resize() override;
  void BeforeDestruction() override;

 private:
  // The page's size at 100 % in screen pixels: the shown page's own, else Letter taken
  // as pixels (nothing is known about a page not yet made).
  QSizeF PagePixels() const;
  void ReapplyZoomMode();
  void PageArrived(int32_t pages);
  void WheelTurned(TObject* sender, TShiftState shift, int32_t delta, TPoint pos, bool& handled);
  TQRPreviewImage* FImage = nullptr;
  TQRPrinter* FPageSource = nullptr;
  int32_t FPageNumber = 1;
  int32_t FZoom = 100;
  TQRZoomMode FZoomMode = zmFree;
  int32_t FAvailablePages = 0;
};

// The standard preview window of one report run.
class TQRStandardPreview : public QMainWindow {
 public:
  TQRStandardPreview(QWidget* parent, TQRPrinter* printer);
  ~TQRStandardPreview() override;

  // Shows the window and its page caption.
  void ShowPreview();

  TQRPreview* QRPreview() const { return FQRPreview; }
  // The printer shown: none once the window closed or the printer was freed.
  TQRPrinter* Printer() const;
  QStatusBar* StatusBar() const;
  QString PanelText(int panel) const;
  QToolBar* ToolBar1() const { return FToolBar; }
  // The tool bar's commands by name: ZoomFit, Zoom100, ZoomToWidth, FirstPage,
  // PreviousPage, ToolButton2 (next page), LastPage, PrintSetup, Print, SaveReport,
  // LoadReport, ExitButton.
  QAction* Command(const std::string& name) const;
  QToolButton* ExitButton() const { return FExitButton; }

  // The handlers of the tool bar and the keys.
  void ZoomToFitClick();
  void ZoomTo100Click();
  void ZoomToWidthClick();
  void FirstPageClick();
  void PrevPageClick();
  void NextPageClick();
  void LastPageClick();
  void PrintSetupClick();
  void PrintClick();
  void SaveClick();
  void LoadClick();
  void ExitClick();
  void FormKeyDown(uint16_t& key, TShiftState shift);
  void UpdatePageCaption();
  // Follows a link: "#title" shows the bookmark's place, a web or mail address opens
  // in the desktop's handler; anything else is refused.
  void FollowLink(const std::string& target);
  // The outline of the bookmarks (hidden while there are none).
  QTreeWidget* Outline() const { return FOutline; }
  QDockWidget* OutlineDock() const { return FOutlineDock; }
  // Saves to a file: the recording with the first choice (filter 0), else the export
  // filter of entry filter - 1; errors propagate and the pages stay as they were.
  void SaveTo(const std::string& fileName, int filter);
  // The choice a name asks for: an extension of the recording or of an export filter
  // wins over the type chosen in the dialog (a user typing "orders.pdf" wants a PDF).
  static int ChoiceForName(const std::string& fileName, int chosen);
  // Loads a recording into the window; a file that cannot be read leaves what showed.
  void LoadFrom(const std::string& fileName);
  // Whether generation for this window is over (finished, stopped or loaded).
  bool GenerationOver() const;
  // What the window says while the page store fills: "" while there is room, a warning
  // once the pages take three quarters of what the store holds.
  static std::string StoreWarning(int64_t storedBytes);
  QLabel* StoreWarningLabel() const { return FStoreWarning; }

  // The file dialogs; tests replace them. Save answers the file and the 0-based choice.
  std::function<std::optional<std::pair<std::string, int>>()> SaveDialog;
  std::function<std::optional<std::string>()> LoadDialog;
  // Opens a web or mail address; tests replace it.
  std::function<void(const std::string&)> OpenAddress;
  // Runs once the window has closed (a modal opening waits for it).
  std::function<void()> OnClosed;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateToolBar();
  void CreateStatusBar();
  void CreateOutline();
  // Adds the bookmarks made since the last look (all anew for another recording), and
  // shows the pages again once their page count is known.
  void RefreshPages();
  QAction* AddCommand(const char* name, const char* hint, int image, void (TQRStandardPreview::*handler)());
  void PageAvailable(int32_t pages);
  void ProgressUpdate(int32_t progress);
  // Enables what depends on the state of generation.
  void UpdateCommands();
  std::optional<std::pair<std::string, int>> RunSaveDialog();
  std::optional<std::string> RunLoadDialog();

  TQRPreview* FQRPreview;
  QWidget* FHost = nullptr;
  QToolBar* FToolBar = nullptr;
  QToolButton* FExitButton = nullptr;
  QLabel* FPanels[2] = {nullptr, nullptr};
  QLabel* FStoreWarning = nullptr;
  std::map<std::string, QAction*> FCommands;
  QDockWidget* FOutlineDock = nullptr;
  QTreeWidget* FOutline = nullptr;
  size_t FOutlineCount = 0;
  // The outline's items that can take children, by level, innermost last.
  std::vector<std::pair<int32_t, QTreeWidgetItem*>> FOutlineParents;
  bool FCountShown = false;
  int32_t FProgressShown = 0;
  bool FClosing = false;
};

// Opens a preview window for a printer; another interface can plug in a window of its own.
class TQRPreviewInterface : public TComponent {
  RPT_CLASS(TQRPreviewInterface, TComponent)
  TQRPreviewInterface() = default;
  // The window, shown; none in this base class.
  virtual QWidget* OpenPreview(TQRPrinter* printer);
  // Shows the window modally and returns once it has closed (the window is then gone).
  virtual QWidget* OpenPreviewModal(TQRPrinter* printer);
};

class TQRStandardPreviewInterface : public TQRPreviewInterface {
  RPT_CLASS(TQRStandardPreviewInterface, TQRPreviewInterface)
  TQRStandardPreviewInterface() = default;
  QWidget* OpenPreview(TQRPrinter* printer) override;
  QWidget* OpenPreviewModal(TQRPrinter* printer) override;
};

// The class whose objects open previews; printers use it when they show one.
void SetPreviewInterfaceClass(const TClassDescriptor* cls);
// Makes the standard preview the one printers open (called at start-up).
void RegisterStandardPreview();

// The eleven 16 x 16 tool bar images, drawn here: zoom to fit, 100 %, zoom to width,
// first, previous, next, last page, printer setup, print, load, save.
QImage PreviewToolImage(int index);

}  // namespace rpt
