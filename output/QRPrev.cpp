#include "output/QRPrev.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "framework/Application.h"
#include "framework/MetafilePlayer.h"
#include "framework/Peer.h"
#include "framework/QtCanvas.h"
#include "objects/ClassBuilder.h"
#include "output/QRPageFilters.h"
#include "output/QRPageImage.h"

namespace rpt {

namespace {

constexpr int32_t kMinZoom = 2;
constexpr int32_t kMaxZoom = 2000;
// The page of an empty preview: the Letter entry of the paper table taken as pixels.
constexpr double kLetterWidth = 215.9;
constexpr double kLetterLength = 279.4;
// Pictures of a page larger than this are not kept: the page is played straight onto
// the screen, only where it shows.
constexpr int64_t kMaxCachedPixels = int64_t(4096) * 4096;
// How often the window looks whether a generation that sends no more news has ended.
constexpr int kStatusPollMs = 200;

const char* const kRecordingCaption = "Recorded report";
const char* const kRecordingExtension = "QRP";

// Halves to even, as the zoom arithmetic is defined.
int32_t RoundEven(double x) { return static_cast<int32_t>(std::nearbyint(x)); }

}  // namespace

// ---------------------------------------------------------------------------
// TQRPreviewImage

RPT_BEGIN_CLASS(TQRPreviewImage, TCustomControl)
RPT_END_CLASS

TQRPreviewImage::TQRPreviewImage() {
  SetBounds(0, 0, 100, 50);
  SetParentColor(true);
}

void TQRPreviewImage::ShowPage(int32_t n) {
  FPageNumber = n;
  FPage.reset();
  FImage = QImage();
  FLinks.clear();
  if (FPageSource) FPage = FPageSource->PageImage(n);
  if (FPage)
    for (TPageAnnotation& a : FPage->Annotations())
      if (a.Kind == TPageAnnotation::akLink && IsSafeLinkTarget(a.Text)) FLinks.push_back(std::move(a));
  DrawPage();
}

// The page is drawn at (1, 1) over the control less its frame and shadow.
std::string TQRPreviewImage::LinkAt(int32_t x, int32_t y) const {
  if (!FPage || FLinks.empty() || Width() <= 4 || Height() <= 4) return {};
  const double px = (x - 1) * double(FPage->Width()) / (Width() - 4);
  const double py = (y - 1) * double(FPage->Height()) / (Height() - 4);
  for (const TPageAnnotation& link : FLinks)
    if (px >= link.Rect.Left && px < link.Rect.Right && py >= link.Rect.Top && py < link.Rect.Bottom) return link.Text;
  return {};
}

int32_t TQRPreviewImage::ControlY(int32_t pageY) const {
  if (!FPage || FPage->Height() <= 0) return 0;
  return 1 + static_cast<int32_t>(std::lround(double(pageY) * (Height() - 4) / FPage->Height()));
}

void TQRPreviewImage::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseMove(shift, x, y);
  SetCursor(LinkAt(x, y).empty() ? crDefault : crHandPoint);
}

void TQRPreviewImage::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (button != mbLeft || !OnLink) return;
  if (const std::string target = LinkAt(x, y); !target.empty()) OnLink(target);
}

std::optional<QSizeF> TQRPreviewImage::PageSize() const {
  if (!FPage || FPage->Width() <= 0 || FPage->Height() <= 0) return std::nullopt;
  return QSizeF(FPage->Width() * kScreenPixelsPerInch / FPage->DpiX(),
                FPage->Height() * kScreenPixelsPerInch / FPage->DpiY());
}

const QImage& TQRPreviewImage::PageImage() {
  const int w = Width() - 4, h = Height() - 4;
  if (!FPage || w < 1 || h < 1 || int64_t(w) * h > kMaxCachedPixels) {
    FImage = QImage();
    return FImage;
  }
  if (FImage.isNull() || FImage.width() != w || FImage.height() != h) {
    FImage = RenderPageImage(*FPage, w, h);
    ++FRenderCount;
  }
  return FImage;
}

void TQRPreviewImage::BoundsChanged() {
  TCustomControl::BoundsChanged();
  if (!FImage.isNull() && (FImage.width() != Width() - 4 || FImage.height() != Height() - 4)) FImage = QImage();
}

void TQRPreviewImage::DrawPage() { Invalidate(); }

void TQRPreviewImage::Paint() {
  TCanvas* canvas = Canvas();
  if (!canvas || !HasPage()) return;
  const int32_t w = Width(), h = Height();
  canvas->Pen()->SetColor(clWhite);
  canvas->Brush()->SetColor(clWhite);
  canvas->Brush()->SetStyle(bsSolid);
  canvas->FillRect({1, 1, w - 3, h - 3});
  if (auto* qt = dynamic_cast<TQtCanvas*>(canvas)) {
    QPainter& painter = *qt->Painter();
    const QImage& image = PageImage();
    if (!image.isNull()) {
      painter.drawImage(1, 1, image);
    } else {
      // A page too large to keep as a picture plays where the painter's clip shows it.
      painter.save();
      painter.setClipRect(QRect(1, 1, w - 4, h - 4), Qt::IntersectClip);
      PlayMetafile(*FPage, painter, QRectF(1, 1, w - 4, h - 4));
      painter.restore();
    }
  }
  canvas->Pen()->SetColor(clBlack);
  canvas->Pen()->SetWidth(1);
  canvas->MoveTo(0, 0);
  canvas->LineTo(0, h - 3);
  canvas->LineTo(w - 3, h - 3);
  canvas->LineTo(w - 3, 0);
  canvas->LineTo(0, 0);
  canvas->Brush()->SetColor(clBlack);
  canvas->FillRect({w - 2, 2, w, h});
  canvas->FillRect({2, h - 2, w, h});
}

// ---------------------------------------------------------------------------
// TQRPreview

RPT_BEGIN_CLASS(TQRPreview, TCustomForm)
  c.Property("PageNumber", &TQRPreview::PageNumber, &TQRPreview::SetPageNumber).Default(1);
  c.Property("Zoom", &TQRPreview::Zoom, &TQRPreview::SetZoom).Default(100);
RPT_END_CLASS

TQRPreview::TQRPreview() {
  SetBounds(0, 0, 250, 250);
  SetColor(clAppWorkSpace);
  HorzScrollBar()->SetTracking(true);
  VertScrollBar()->SetTracking(true);
  HorzScrollBar()->SetIncrement(16);
  VertScrollBar()->SetIncrement(16);
  SetAutoScroll(true);
  SetTabStop(true);
  FImage = TComponent::Create<TQRPreviewImage>(this);
  FImage->SetParent(this);
  OnMouseWheel = [this](TObject* s, TShiftState shift, int32_t d, TPoint p, bool& h) { WheelTurned(s, shift, d, p, h); };
  FImage->OnMouseWheel = OnMouseWheel;
  // Keys pressed while the page has the focus reach the preview's handler.
  FImage->OnKeyDown = [this](TObject*, uint16_t& key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(this, key, shift);
  };
}

void TQRPreview::BeforeDestruction() {
  SetPageSource(nullptr);
  TCustomForm::BeforeDestruction();
}

void TQRPreview::SetPageSource(TQRPrinter* value) {
  if (FPageSource && FPageSource->NotifyWindow == this) {
    // Not previewed any more: a generation still running for it stops.
    FPageSource->SetPreviewShown(false);
    FPageSource->NotifyWindow = nullptr;
  }
  FPageSource = value;
  FImage->SetPageSource(value);
  FAvailablePages = 0;
  if (value) {
    value->NotifyWindow = this;
    value->SetPreviewShown(true);
    // Pages stored before this control listened were announced to nobody.
    FAvailablePages = value->PageList().TotalPages();
  }
  // Page 1, read once (also when it was shown before: the printer may be another).
  FPageNumber = 1;
  FImage->ShowPage(1);
  SetScrollPos({0, 0});
  Invalidate();
  // A user acting on the page reaches the preview's handlers.
  FImage->OnClick = OnClick;
  FImage->OnDblClick = OnDblClick;
  FImage->OnMouseDown = OnMouseDown;
  FImage->OnMouseMove = OnMouseMove;
  FImage->OnMouseUp = OnMouseUp;
}

void TQRPreview::SetPageNumber(int32_t value) {
  if (value == FPageNumber && FImage->HasPage()) return;
  if (value <= 0 || !FPageSource || value > FPageSource->TotalPages()) return;
  FImage->ShowPage(value);
  FPageNumber = value;
  SetScrollPos({0, 0});
}

void TQRPreview::SetZoom(int32_t value) {
  if (value < kMinZoom || value > kMaxZoom) return;
  FZoomMode = zmFree;
  FZoom = value;
  ApplyZoom();
}

void TQRPreview::ZoomBy(int steps) {
  // Steps of a quarter up and a fifth down: one step in and one out come back.
  double z = FZoom;
  for (int i = 0; i < std::abs(steps); ++i) z = steps > 0 ? z * 1.25 : z / 1.25;
  SetZoom(std::clamp(RoundEven(z), kMinZoom, kMaxZoom));
}

QSizeF TQRPreview::PagePixels() const {
  if (std::optional<QSizeF> size = FImage->PageSize()) return *size;
  return {kLetterWidth, kLetterLength};
}

void TQRPreview::ApplyZoom() {
  const QSizeF page = PagePixels();
  const int32_t w = RoundEven(page.width() / 100 * FZoom) + 4;
  const int32_t h = RoundEven(page.height() / 100 * FZoom) + 4;
  SetScrollPos({0, 0});
  const int32_t left = w < Width() ? (Width() - w) / 2 : 0;
  const int32_t top = h < Height() ? (Height() - h) / 2 : 0;
  FImage->SetBounds(left, top, w, h);
  SetScrollPos({0, 0});
  FImage->SetZoom(FZoom);
}

void TQRPreview::FitToPage() {
  const QSizeF page = PagePixels();
  const int32_t zx = RoundEven(Width() / page.width() * 95);
  const int32_t zy = RoundEven(Height() / page.height() * 95);
  SetZoom(std::min(zx, zy));
  FZoomMode = zmFitPage;
}

void TQRPreview::FitToWidth() {
  const bool known = FImage->PageSize().has_value();
  const QSizeF page = PagePixels();
  SetZoom(RoundEven(Width() / page.width() * (known ? 90 : 95)));
  ApplyZoom();
  FZoomMode = zmFitWidth;
}

void TQRPreview::ReapplyZoomMode() {
  if (FZoomMode == zmFitPage)
    FitToPage();
  else if (FZoomMode == zmFitWidth)
    FitToWidth();
  ApplyZoom();
}

void TQRPreview::Resize() {
  TCustomForm::Resize();
  if (FImage) ReapplyZoomMode();
}

void TQRPreview::ShowPlace(int32_t n, int32_t pageY) {
  SetPageNumber(n);
  if (FPageNumber != n) return;
  // A little above the place, so that what leads to it shows too.
  VertScrollBar()->SetPosition(FImage->Top() + VertScrollBar()->Position() + FImage->ControlY(pageY) - 8);
}

void TQRPreview::PageArrived(int32_t pages) {
  FAvailablePages = std::max(FAvailablePages, pages);
  // The page shown was waiting for this one: load it, fitted to the width.
  if (pages == FPageNumber && !FImage->HasPage() && FAvailablePages >= FImage->PageNumber()) {
    FImage->ShowPage(FImage->PageNumber());
    FitToWidth();
  }
  if (OnPageAvailable) OnPageAvailable(this, pages);
}

void TQRPreview::WheelTurned(TObject*, TShiftState shift, int32_t delta, TPoint, bool& handled) {
  handled = true;
  if (delta == 0) return;
  if (shift.Contains(ssCtrl)) {
    ZoomBy(delta > 0 ? 1 : -1);
    return;
  }
  // Three lines of the bar's step for each notch of a wheel.
  const int32_t distance = delta * 3 * VertScrollBar()->Increment() / 120;
  if (shift.Contains(ssShift))
    ScrollBy(distance, 0);
  else
    ScrollBy(0, distance);
}

void TQRPreview::WndProc(TMessage& message) {
  switch (message.Msg) {
    // The numbers travel whole: a long report has more pages than 16 bits count.
    case CM_QRPAGEAVAILABLE:
      PageArrived(static_cast<int32_t>(message.WParam));
      return;
    case CM_QRPROGRESSUPDATE:
      if (OnProgressUpdate) OnProgressUpdate(this, static_cast<int32_t>(message.WParam));
      return;
    case CM_QRPAGESOURCEGONE:
      if (reinterpret_cast<TQRPrinter*>(message.LParam) == FPageSource && FPageSource) {
        FPageSource = nullptr;
        FImage->SetPageSource(nullptr);
        FImage->ShowPage(FPageNumber);
        if (OnPageAvailable) OnPageAvailable(this, 0);
      }
      return;
    default:
      TCustomForm::WndProc(message);
  }
}

// ---------------------------------------------------------------------------
// Tool bar images: simple line drawings in the window text colour on transparency.

namespace {

void DrawMagnifier(QPainter& p, const QString& label) {
  p.setPen(QPen(QColor(40, 40, 40), 1.4));
  p.setBrush(QColor(220, 235, 250));
  p.drawEllipse(QRectF(1.5, 1.5, 9.5, 9.5));
  p.setPen(QPen(QColor(40, 40, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
  if (!label.isEmpty()) {
    QFont f = p.font();
    f.setPixelSize(7);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(20, 20, 120));
    p.drawText(QRectF(1.5, 1.5, 9.5, 9.5), Qt::AlignCenter, label);
  }
}

void DrawSheet(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(Qt::white);
  p.drawRect(r);
}

void DrawArrow(QPainter& p, bool left, bool bar, bool twice) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 90, 170));
  auto triangle = [&](double tip) {
    QPainterPath path;
    const double base = left ? tip + 6 : tip - 6;
    path.moveTo(tip, 8);
    path.lineTo(base, 2.5);
    path.lineTo(base, 13.5);
    path.closeSubpath();
    p.drawPath(path);
  };
  if (twice) {
    triangle(left ? 4 : 12);
  } else {
    triangle(left ? 5 : 11);
  }
  if (bar) p.fillRect(left ? QRectF(2, 2.5, 2, 11) : QRectF(12, 2.5, 2, 11), QColor(30, 90, 170));
}

void DrawPrinter(QPainter& p, bool gear) {
  DrawSheet(p, QRectF(4.5, 1.5, 7, 5));
  p.setPen(QPen(QColor(50, 50, 50), 1));
  p.setBrush(QColor(170, 170, 170));
  p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
  DrawSheet(p, QRectF(4.5, 10.5, 7, 4));
  p.fillRect(QRectF(11, 8, 2, 1.5), QColor(60, 180, 60));
  if (gear) {
    p.setPen(QPen(QColor(30, 30, 30), 1.2));
    p.setBrush(QColor(240, 200, 60));
    p.drawEllipse(QRectF(9.5, 9.5, 6, 6));
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QRectF(11.75, 11.75, 1.5, 1.5));
  }
}

void DrawDisk(QPainter& p) {
  p.setPen(QPen(QColor(30, 40, 80), 1));
  p.setBrush(QColor(50, 80, 160));
  p.drawRect(QRectF(1.5, 1.5, 13, 13));
  p.fillRect(QRectF(4, 2, 8, 5), Qt::white);
  p.fillRect(QRectF(5, 10, 6, 4.5), QColor(200, 200, 200));
}

void DrawFolder(QPainter& p) {
  p.setPen(QPen(QColor(120, 90, 20), 1));
  p.setBrush(QColor(240, 200, 90));
  QPainterPath path;
  path.moveTo(1.5, 3.5);
  path.lineTo(6, 3.5);
  path.lineTo(7.5, 5);
  path.lineTo(14.5, 5);
  path.lineTo(14.5, 13.5);
  path.lineTo(1.5, 13.5);
  path.closeSubpath();
  p.drawPath(path);
  p.setBrush(QColor(250, 220, 130));
  p.drawRect(QRectF(1.5, 7, 13, 6.5));
}

}  // namespace

QImage PreviewToolImage(int index) {
  QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  switch (index) {
    case 0:  // zoom to fit: a whole sheet inside the lens
      DrawSheet(p, QRectF(3.5, 0.5, 9, 12));
      DrawMagnifier(p, {});
      break;
    case 1:
      DrawMagnifier(p, "1:1");
      break;
    case 2:  // zoom to width: arrows to both sides
      DrawMagnifier(p, {});
      p.setPen(QPen(QColor(30, 90, 170), 1.5));
      p.drawLine(QPointF(3, 6.25), QPointF(9.5, 6.25));
      p.drawLine(QPointF(3, 6.25), QPointF(5, 4.5));
      p.drawLine(QPointF(3, 6.25), QPointF(5, 8));
      p.drawLine(QPointF(9.5, 6.25), QPointF(7.5, 4.5));
      p.drawLine(QPointF(9.5, 6.25), QPointF(7.5, 8));
      break;
    case 3:
      DrawArrow(p, true, true, false);
      break;
    case 4:
      DrawArrow(p, true, false, false);
      break;
    case 5:
      DrawArrow(p, false, false, false);
      break;
    case 6:
      DrawArrow(p, false, true, false);
      break;
    case 7:
      DrawPrinter(p, true);
      break;
    case 8:
      DrawPrinter(p, false);
      break;
    case 9:
      DrawFolder(p);
      break;
    case 10:
      DrawDisk(p);
      break;
    default:
      break;
  }
  return image;
}

// ---------------------------------------------------------------------------
// TQRStandardPreview

TQRStandardPreview::TQRStandardPreview(QWidget* parent, TQRPrinter* printer) : QMainWindow(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName("QRStandardPreview");
  setWindowTitle(printer && !printer->Title.empty() ? QString::fromStdString(printer->Title) : "Print Preview");
  resize(652, 579);
  FQRPreview = TComponent::Create<TQRPreview>(nullptr);
  FQRPreview->SetName("QRPreview");
  QWidget* peer = CreateFormPeer(FQRPreview, this);
  setCentralWidget(peer);
  FQRPreview->SetVisible(true);
  peer->setFocusPolicy(Qt::StrongFocus);
  CreateToolBar();
  CreateStatusBar();
  CreateOutline();
  OpenAddress = [](const std::string& address) { QDesktopServices::openUrl(QUrl(QString::fromStdString(address))); };
  FQRPreview->Image()->OnLink = [this](const std::string& target) { FollowLink(target); };
  FQRPreview->OnPageAvailable = [this](TObject*, int32_t pages) { PageAvailable(pages); };
  FQRPreview->OnProgressUpdate = [this](TObject*, int32_t progress) { ProgressUpdate(progress); };
  FQRPreview->OnKeyDown = [this](TObject*, uint16_t& key, TShiftState shift) { FormKeyDown(key, shift); };
  FQRPreview->SetPageSource(printer);
  FProgressShown = 0;
  // Zoom to width pressed (without its handler's message round: nothing may run before
  // the window is complete).
  Command("ZoomToWidth")->setChecked(true);
  FQRPreview->FitToWidth();
  UpdateCommands();
  // A pass that ends without a last page (stopped, failed) sends no news: look.
  auto* poll = new QTimer(this);
  poll->setInterval(kStatusPollMs);
  connect(poll, &QTimer::timeout, this, [this, poll] {
    UpdateCommands();
    if (const TQRPrinter* printer = Printer(); printer && FStoreWarning->isHidden()) {
      const std::string warning = StoreWarning(printer->PageList().StoredBytes());
      FStoreWarning->setText(QString::fromStdString(warning));
      FStoreWarning->setVisible(!warning.empty());
    }
    if (GenerationOver()) {
      UpdatePageCaption();
      RefreshPages();
      poll->stop();
    }
  });
  RefreshPages();
  if (!GenerationOver()) poll->start();
}

TQRStandardPreview::~TQRStandardPreview() {
  // The control and its peer go before the window's widgets do.
  if (FQRPreview) {
    FQRPreview->SetPageSource(nullptr);
    FQRPreview->Free();
  }
}

QAction* TQRStandardPreview::AddCommand(const char* name, const char* hint, int image,
                                        void (TQRStandardPreview::*handler)()) {
  auto* action = new QAction(QIcon(QPixmap::fromImage(PreviewToolImage(image))), hint, this);
  action->setObjectName(name);
  action->setToolTip(hint);
  connect(action, &QAction::triggered, this, [this, handler] { HandleErrors([this, handler] { (this->*handler)(); }); });
  FCommands[name] = action;
  FToolBar->addAction(action);
  return action;
}

void TQRStandardPreview::CreateToolBar() {
  FToolBar = addToolBar("ToolBar1");
  FToolBar->setObjectName("ToolBar1");
  FToolBar->setMovable(false);
  FToolBar->setIconSize(QSize(16, 16));
  FToolBar->setContentsMargins(2, 2, 2, 2);
  auto divider = [this] { FToolBar->addSeparator(); };
  auto* zoomGroup = new QActionGroup(this);
  for (QAction* a : {AddCommand("ZoomFit", "Zoom to fit", 0, &TQRStandardPreview::ZoomToFitClick),
                     AddCommand("Zoom100", "100%", 1, &TQRStandardPreview::ZoomTo100Click),
                     AddCommand("ZoomToWidth", "Zoom to width", 2, &TQRStandardPreview::ZoomToWidthClick)}) {
    a->setCheckable(true);
    zoomGroup->addAction(a);
  }
  divider();
  AddCommand("FirstPage", "First page", 3, &TQRStandardPreview::FirstPageClick);
  AddCommand("PreviousPage", "Previous page", 4, &TQRStandardPreview::PrevPageClick);
  AddCommand("ToolButton2", "Next page", 5, &TQRStandardPreview::NextPageClick);
  AddCommand("LastPage", "Last page", 6, &TQRStandardPreview::LastPageClick);
  divider();
  AddCommand("PrintSetup", "Printer setup", 7, &TQRStandardPreview::PrintSetupClick)->setEnabled(false);
  AddCommand("Print", "Print", 8, &TQRStandardPreview::PrintClick)->setEnabled(false);
  divider();
  AddCommand("SaveReport", "Save Report", 10, &TQRStandardPreview::SaveClick);
  AddCommand("LoadReport", "Load Report", 9, &TQRStandardPreview::LoadClick);
  divider();
  FExitButton = new QToolButton(FToolBar);
  FExitButton->setObjectName("ExitButton");
  FExitButton->setText("&Close");
  FExitButton->setMinimumSize(40, 22);
  FExitButton->setAutoRaise(true);
  connect(FExitButton, &QToolButton::clicked, this, [this] { ExitClick(); });
  FToolBar->addWidget(FExitButton);
}

void TQRStandardPreview::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar");
  bar->setSizeGripEnabled(false);
  FPanels[0] = new QLabel("0%", bar);
  FPanels[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FPanels[0]->setMinimumWidth(40);
  FPanels[1] = new QLabel("Page", bar);
  FPanels[1]->setMinimumWidth(50);
  for (QLabel* panel : FPanels) {
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(panel);
  }
  FStoreWarning = new QLabel(bar);
  FStoreWarning->setObjectName("StoreWarning");
  FStoreWarning->setStyleSheet("color: #b00000");
  FStoreWarning->hide();
  bar->addWidget(FStoreWarning, 1);
}

std::string TQRStandardPreview::StoreWarning(int64_t storedBytes) {
  constexpr int64_t kMB = 1 << 20;
  if (storedBytes < TQRPageList::kMaxStoreBytes / 4 * 3) return {};
  return "The pages take " + std::to_string(storedBytes / kMB) + " MB of the " +
         std::to_string(TQRPageList::kMaxStoreBytes / kMB + 1) +
         " MB a preview holds; the report stops when it is full. rpttool render writes a PDF of any length.";
}

void TQRStandardPreview::CreateOutline() {
  FOutlineDock = new QDockWidget("Outline", this);
  FOutlineDock->setObjectName("OutlineDock");
  FOutlineDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  FOutline = new QTreeWidget(FOutlineDock);
  FOutline->setObjectName("Outline");
  FOutline->setHeaderHidden(true);
  FOutline->setColumnCount(1);
  FOutlineDock->setWidget(FOutline);
  addDockWidget(Qt::LeftDockWidgetArea, FOutlineDock);
  resizeDocks({FOutlineDock}, {220}, Qt::Horizontal);
  FOutlineDock->hide();
  connect(FOutline, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    FQRPreview->ShowPlace(item->data(0, Qt::UserRole).toInt(), item->data(0, Qt::UserRole + 1).toInt());
    UpdatePageCaption();
  });
}

void TQRStandardPreview::RefreshPages() {
  TQRPrinter* printer = Printer();
  if (!printer) return;
  TQRPageList& pages = printer->PageList();
  // Pages shown with "?" for their count show it now.
  if (!FCountShown && pages.HoldsCountMarks() && pages.CountKnown() && GenerationOver()) {
    FCountShown = true;
    FQRPreview->Image()->ShowPage(FQRPreview->PageNumber());
  }
  for (const TQRPageList::TBookmark& b : pages.Bookmarks(FOutlineCount)) {
    while (!FOutlineParents.empty() && FOutlineParents.back().first >= b.Level) FOutlineParents.pop_back();
    const QStringList title{QString::fromStdString(b.Title)};
    auto* item = FOutlineParents.empty() ? new QTreeWidgetItem(FOutline, title)
                                         : new QTreeWidgetItem(FOutlineParents.back().second, title);
    item->setData(0, Qt::UserRole, b.Page);
    item->setData(0, Qt::UserRole + 1, b.Top);
    item->setToolTip(0, QString("Page %1").arg(b.Page));
    if (b.Level == 0) item->setExpanded(true);
    FOutlineParents.emplace_back(b.Level, item);
    ++FOutlineCount;
  }
  if (FOutlineCount > 0 && FOutlineDock->isHidden()) FOutlineDock->show();
}

void TQRStandardPreview::FollowLink(const std::string& target) {
  if (!IsSafeLinkTarget(target)) return;
  if (target[0] != '#') {
    if (OpenAddress) OpenAddress(target);
    return;
  }
  TQRPrinter* printer = Printer();
  if (!printer) return;
  for (const TQRPageList::TBookmark& b : printer->PageList().Bookmarks())
    if (b.Title == target.substr(1)) {
      FQRPreview->ShowPlace(b.Page, b.Top);
      UpdatePageCaption();
      return;
    }
}

QStatusBar* TQRStandardPreview::StatusBar() const { return const_cast<TQRStandardPreview*>(this)->statusBar(); }

QString TQRStandardPreview::PanelText(int panel) const {
  return panel >= 0 && panel < 2 ? FPanels[panel]->text() : QString();
}

QAction* TQRStandardPreview::Command(const std::string& name) const {
  const auto it = FCommands.find(name);
  return it == FCommands.end() ? nullptr : it->second;
}

void TQRStandardPreview::ShowPreview() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->availableGeometry());
  showMaximized();
  UpdatePageCaption();
}

TQRPrinter* TQRStandardPreview::Printer() const { return FClosing ? nullptr : FQRPreview->PageSource(); }

bool TQRStandardPreview::GenerationOver() const {
  const TQRPrinter* printer = Printer();
  // The status turns finished before the store's header is written: wait for that too.
  return !printer || (printer->Status() != qsBusy && !printer->DocumentOpen());
}

void TQRStandardPreview::UpdateCommands() {
  const TQRPrinter* printer = Printer();
  const bool over = GenerationOver();
  const bool pages = printer && printer->Status() == qsFinished && printer->TotalPages() > 0;
  // While the pass runs, the page store is being written: saving would copy half of it
  // and loading would replace it under the generator.
  Command("SaveReport")->setEnabled(over && pages);
  Command("LoadReport")->setEnabled(over);
  Command("Print")->setEnabled(over && pages);
  Command("PrintSetup")->setEnabled(over && pages && !printer->LoadedFromFile());
  // A pass too short to report progress still ends: no figure stays behind.
  if (over) FPanels[0]->clear();
}

void TQRStandardPreview::UpdatePageCaption() {
  const TQRPrinter* printer = Printer();
  const int32_t total = printer ? printer->TotalPages() : 0;
  FPanels[1]->setText(QString("Page %1 of %2").arg(FQRPreview->PageNumber()).arg(total));
}

void TQRStandardPreview::PageAvailable(int32_t) {
  UpdatePageCaption();
  UpdateCommands();
  RefreshPages();
}

void TQRStandardPreview::ProgressUpdate(int32_t progress) {
  if (progress >= FProgressShown + 5) {
    FPanels[0]->setText(QString("%1%").arg(progress));
    FProgressShown = progress;
  }
  if (progress == 0 || progress == 100) FPanels[0]->clear();
}

void TQRStandardPreview::ZoomToFitClick() {
  QCoreApplication::processEvents();
  FQRPreview->FitToPage();
  Command("ZoomFit")->setChecked(true);
}

void TQRStandardPreview::ZoomTo100Click() {
  QCoreApplication::processEvents();
  FQRPreview->SetZoom(100);
  Command("Zoom100")->setChecked(true);
}

void TQRStandardPreview::ZoomToWidthClick() {
  QCoreApplication::processEvents();
  FQRPreview->FitToWidth();
  Command("ZoomToWidth")->setChecked(true);
}

void TQRStandardPreview::FirstPageClick() {
  FQRPreview->SetPageNumber(1);
  UpdatePageCaption();
}

void TQRStandardPreview::PrevPageClick() {
  FQRPreview->SetPageNumber(FQRPreview->PageNumber() - 1);
  UpdatePageCaption();
}

void TQRStandardPreview::NextPageClick() {
  FQRPreview->SetPageNumber(FQRPreview->PageNumber() + 1);
  UpdatePageCaption();
}

void TQRStandardPreview::LastPageClick() {
  if (TQRPrinter* printer = Printer()) FQRPreview->SetPageNumber(printer->TotalPages());
  UpdatePageCaption();
}

void TQRStandardPreview::PrintSetupClick() {
  if (TQRPrinter* printer = Printer(); printer && GenerationOver()) printer->RunPrintSetup();
}

void TQRStandardPreview::PrintClick() {
  if (TQRPrinter* printer = Printer(); printer && GenerationOver()) printer->PrintRecording();
}

std::optional<std::pair<std::string, int>> TQRStandardPreview::RunSaveDialog() {
  const std::string filter = std::string(kRecordingCaption) + "(*." + kRecordingExtension + ")";
  const std::string exports = ExportFilters().SaveDialogFilter();
  const QString filters = QString::fromStdString(exports.empty() ? filter : filter + ";;" + exports);
  QFileDialog dialog(this, "Save report", QString(), AnyCaseFilters(filters));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(kRecordingExtension);
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& chosen) {
    // The suffix follows the choice: "(*.pdf)" gives pdf.
    const qsizetype dot = chosen.lastIndexOf("*.");
    if (dot >= 0) dialog.setDefaultSuffix(chosen.mid(dot + 2).chopped(1));
  });
  if (ExecDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const int choice = static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
  return std::make_pair(dialog.selectedFiles().first().toStdString(), std::max(0, choice));
}

std::optional<std::string> TQRStandardPreview::RunLoadDialog() {
  const QString filter = QString("%1 (*.%2)").arg(kRecordingCaption, kRecordingExtension);
  QFileDialog dialog(this, "Load report", QString(), AnyCaseFilters(filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (ExecDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

void TQRStandardPreview::SaveClick() {
  // News already posted (the pass's end) is taken in before the state is trusted.
  QCoreApplication::processEvents();
  UpdateCommands();
  if (!Command("SaveReport")->isEnabled()) return;
  const auto chosen = SaveDialog ? SaveDialog() : RunSaveDialog();
  if (!chosen) return;
  SaveTo(chosen->first, ChoiceForName(chosen->first, chosen->second));
}

int TQRStandardPreview::ChoiceForName(const std::string& fileName, int chosen) {
  const std::string extension = std::filesystem::path(fileName).extension().string();
  if (extension.size() < 2) return chosen;
  if (QString::fromStdString(extension.substr(1)).compare(kRecordingExtension, Qt::CaseInsensitive) == 0) return 0;
  const auto& entries = ExportFilters().Filters();
  for (size_t i = 0; i < entries.size(); ++i)
    if (QString::fromStdString(extension.substr(1)).compare(QString::fromStdString(entries[i].Extension),
                                                            Qt::CaseInsensitive) == 0)
      return static_cast<int>(i) + 1;
  return chosen;
}

void TQRStandardPreview::SaveTo(const std::string& fileName, int filter) {
  TQRPrinter* printer = Printer();
  if (!printer || !GenerationOver()) return;
  if (filter <= 0) {
    printer->SaveRecording(fileName);
    return;
  }
  const auto& entries = ExportFilters().Filters();
  if (filter - 1 >= static_cast<int>(entries.size())) throw EQRError("Unknown file type");
  const TQRExportFilterEntry& entry = entries[static_cast<size_t>(filter - 1)];
  std::unique_ptr<TQRExportFilter> made = entry.FilterClass(fileName);
  if (!made) throw EQRError("Cannot write " + entry.Description);
  if (made->WritesPages())
    made->WritePages(*printer, 1, printer->TotalPages());
  else
    printer->ExportVia(*made);
  // A PDF written with texts no installed font shows is kept, and the user told which.
  if (const auto* pdf = dynamic_cast<const TQRPDFFilter*>(made.get()); pdf && !pdf->MissingFontMessages().empty()) {
    std::string text = "The PDF is written, but some of its text shows as empty boxes:";
    for (const std::string& message : pdf->MissingFontMessages()) text += "\n" + message;
    MessageDlg(text, mtWarning, {mbOK});
  }
}

void TQRStandardPreview::LoadClick() {
  QCoreApplication::processEvents();
  UpdateCommands();
  if (!Command("LoadReport")->isEnabled()) return;
  const auto chosen = LoadDialog ? LoadDialog() : RunLoadDialog();
  if (!chosen) return;
  if (!QFileInfo::exists(QString::fromStdString(*chosen))) {
    ShowMessage("File does not exist");
    return;
  }
  LoadFrom(*chosen);
}

void TQRStandardPreview::LoadFrom(const std::string& fileName) {
  TQRPrinter* printer = Printer();
  if (!printer || !GenerationOver()) return;
  // The file is checked on a printer of its own first: a damaged file fails there and
  // the pages on show stay.
  {
    TQRPrinter check(std::vector<TPrinterDevice>{});
    check.LoadRecording(fileName);
    check.PageList().ScanRecords();
  }
  printer->LoadRecording(fileName);
  FQRPreview->SetPageSource(printer);
  FQRPreview->Image()->ShowPage(1);
  FQRPreview->FitToWidth();
  Command("ZoomToWidth")->setChecked(true);
  FOutline->clear();
  FOutlineParents.clear();
  FOutlineCount = 0;
  FOutlineDock->hide();
  UpdatePageCaption();
  UpdateCommands();
  RefreshPages();
}

void TQRStandardPreview::ExitClick() { close(); }

void TQRStandardPreview::FormKeyDown(uint16_t& key, TShiftState shift) {
  const bool ctrlOnly = shift == TShiftState{ssCtrl};
  switch (key) {
    case VK_ESCAPE:
      close();
      break;
    case VK_PRIOR:
      ctrlOnly ? FirstPageClick() : PrevPageClick();
      break;
    case VK_NEXT:
      ctrlOnly ? LastPageClick() : NextPageClick();
      break;
    case VK_HOME:
      FirstPageClick();
      break;
    case VK_END:
      LastPageClick();
      break;
    case VK_UP:
    case VK_DOWN:
      FQRPreview->ScrollBy(0, (key == VK_UP ? 1 : -1) * FQRPreview->VertScrollBar()->Increment());
      break;
    case VK_LEFT:
    case VK_RIGHT:
      FQRPreview->ScrollBy((key == VK_LEFT ? 1 : -1) * FQRPreview->HorzScrollBar()->Increment(), 0);
      break;
    default:
      return;
  }
  key = 0;
}

void TQRStandardPreview::keyPressEvent(QKeyEvent* event) {
  uint16_t key = VirtualKeyOf(event->key());
  FormKeyDown(key, ShiftStateOf(event->modifiers(), Qt::NoButton));
  if (key != 0) QMainWindow::keyPressEvent(event);
}

void TQRStandardPreview::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FQRPreview->ApplyZoom();
}

void TQRStandardPreview::closeEvent(QCloseEvent* event) {
  if (!FClosing) {
    FClosing = true;
    TQRPrinter* printer = FQRPreview->PageSource();
    // Detached first: the report frees the printer when it hears the preview closed.
    FQRPreview->SetPageSource(nullptr);
    if (printer) printer->PreviewClosed(FQRPreview);
  }
  event->accept();
  if (OnClosed) OnClosed();
}

// ---------------------------------------------------------------------------
// Preview interfaces

RPT_BEGIN_CLASS(TQRPreviewInterface, TComponent)
RPT_END_CLASS

RPT_BEGIN_CLASS(TQRStandardPreviewInterface, TQRPreviewInterface)
RPT_END_CLASS

QWidget* TQRPreviewInterface::OpenPreview(TQRPrinter*) { return nullptr; }
QWidget* TQRPreviewInterface::OpenPreviewModal(TQRPrinter*) { return nullptr; }

QWidget* TQRStandardPreviewInterface::OpenPreview(TQRPrinter* printer) {
  auto* window = new TQRStandardPreview(nullptr, printer);
  window->ShowPreview();
  return window;
}

QWidget* TQRStandardPreviewInterface::OpenPreviewModal(TQRPrinter* printer) {
  auto* window = new TQRStandardPreview(nullptr, printer);
  QEventLoop loop;
  bool closed = false;
  window->OnClosed = [&loop, &closed] {
    closed = true;
    loop.quit();
  };
  window->setWindowModality(Qt::ApplicationModal);
  window->ShowPreview();
  if (!closed) loop.exec();
  return nullptr;
}

namespace {
const TClassDescriptor* gPreviewInterfaceClass = nullptr;
}

void SetPreviewInterfaceClass(const TClassDescriptor* cls) {
  gPreviewInterfaceClass = cls;
  if (!cls) {
    TQRPrinter::PreviewInterface = nullptr;
    return;
  }
  TQRPrinter::PreviewInterface = [](TQRPrinter* printer, bool modal) {
    if (!gPreviewInterfaceClass) return;
    std::unique_ptr<TComponent> made(gPreviewInterfaceClass->CreateComponent(nullptr));
    auto* opener = dynamic_cast<TQRPreviewInterface*>(made.get());
    if (!opener) return;
    if (modal)
      opener->OpenPreviewModal(printer);
    else
      opener->OpenPreview(printer);
  };
}

void RegisterStandardPreview() { SetPreviewInterfaceClass(&TQRStandardPreviewInterface::StaticClass()); }

}  // namespace rpt
