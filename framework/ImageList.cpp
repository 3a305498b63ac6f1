#include "framework/ImageList.h"

#include <QBuffer>
#include <QPainter>
#include <algorithm>

#include "framework/QtCanvas.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

TChangeLink::~TChangeLink() {
  if (FSender) FSender->UnRegisterChanges(this);
}

RPT_BEGIN_CLASS(TImageList, TComponent)
  c.Property("Height", &TImageList::Height, &TImageList::SetHeight).Default(16);
  c.Property("Width", &TImageList::Width, &TImageList::SetWidth).Default(16);
  c.Property("OnChange", &TImageList::OnChange, &TImageList::OnChange);
RPT_END_CLASS

TImageList::~TImageList() {
  // Reached without Free(): links must not point at a list that is gone.
  for (TChangeLink* link : FLinks) link->FSender = nullptr;
}

void TImageList::Destroy() {
  for (TChangeLink* link : FLinks) link->FSender = nullptr;
  FLinks.clear();
  TComponent::Destroy();
}

void TImageList::SetWidth(int32_t value) {
  if (value < 1) throw EComponentError("Invalid image size");
  if (value == FWidth) return;
  FWidth = value;
  FImages.clear();
  Change();
}

void TImageList::SetHeight(int32_t value) {
  if (value < 1) throw EComponentError("Invalid image size");
  if (value == FHeight) return;
  FHeight = value;
  FImages.clear();
  Change();
}

void TImageList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
}

std::vector<QImage> TImageList::Split(const QImage& source) const {
  if (source.isNull()) throw EInvalidImage("Invalid image");
  const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  std::vector<QImage> parts;
  if (image.height() == FHeight && image.width() % FWidth == 0) {
    for (int x = 0; x < image.width(); x += FWidth) parts.push_back(image.copy(x, 0, FWidth, FHeight));
    return parts;
  }
  // Any other size: scaled to fit, centred on a transparent cell.
  QImage cell(FWidth, FHeight, QImage::Format_ARGB32_Premultiplied);
  cell.fill(Qt::transparent);
  const QImage scaled = image.scaled(FWidth, FHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QPainter p(&cell);
  p.drawImage((FWidth - scaled.width()) / 2, (FHeight - scaled.height()) / 2, scaled);
  p.end();
  parts.push_back(cell);
  return parts;
}

int TImageList::Add(const QImage& image) {
  std::vector<QImage> parts = Split(image);
  const int first = Count();
  for (QImage& part : parts) FImages.push_back(std::move(part));
  Change();
  return first;
}

int TImageList::AddMasked(const QImage& image, TColor maskColor) {
  if (image.isNull()) throw EInvalidImage("Invalid image");
  QImage masked = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb mask = ToQColor(maskColor).rgb() & 0x00FFFFFF;
  for (int y = 0; y < masked.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
    for (int x = 0; x < masked.width(); ++x)
      if ((line[x] & 0x00FFFFFF) == mask) line[x] = 0;
  }
  return Add(masked);
}

void TImageList::Replace(int index, const QImage& image) {
  CheckIndex(index);
  std::vector<QImage> parts = Split(image);
  FImages[static_cast<size_t>(index)] = std::move(parts.front());
  Change();
}

void TImageList::Delete(int index) {
  CheckIndex(index);
  FImages.erase(FImages.begin() + index);
  Change();
}

void TImageList::Clear() {
  if (FImages.empty()) return;
  FImages.clear();
  Change();
}

QImage TImageList::Image(int index) const {
  CheckIndex(index);
  return FImages[static_cast<size_t>(index)];
}

void TImageList::Draw(TCanvas* canvas, int32_t x, int32_t y, int index) const {
  if (!canvas || index < 0 || index >= Count()) return;
  const QImage& image = FImages[static_cast<size_t>(index)];
  if (auto* qc = dynamic_cast<TQtCanvas*>(canvas)) {
    QPainter* p = qc->Painter();
    p->save();
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    p->drawImage(x, y, image);
    p->restore();
    return;
  }
  // Canvases without a painter (a metafile being recorded) get the opaque pixels.
  const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
  for (int row = 0; row < plain.height(); ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(plain.constScanLine(row));
    for (int col = 0; col < plain.width(); ++col)
      if (qAlpha(line[col]) >= 128)
        canvas->SetPixel(x + col, y + row,
                         TColor(qRed(line[col]) | (qGreen(line[col]) << 8) | (qBlue(line[col]) << 16)));
  }
}

void TImageList::DefineProperties(TFiler& filer) {
  TComponent::DefineProperties(filer);
  filer.DefineBinaryData(
      "Bitmap", [this](TStream& s) { ReadImages(s); }, [this](TStream& s) { WriteImages(s); }, !FImages.empty());
}

void TImageList::ReadImages(TStream& stream) {
  const std::string bytes = stream.ReadRest();
  QImage strip;
  // Width and Height come first in the stream: a strip of another size is damaged.
  if (!strip.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "PNG") ||
      strip.height() != FHeight || strip.width() % FWidth != 0)
    throw EReadError("Invalid image data");
  FImages = Split(strip);
  Change();
}

void TImageList::WriteImages(TStream& stream) const {
  QImage strip(FWidth * Count(), FHeight, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  for (int i = 0; i < Count(); ++i) p.drawImage(i * FWidth, 0, FImages[static_cast<size_t>(i)]);
  p.end();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!strip.save(&buffer, "PNG")) throw EWriteError("Invalid image data");
  stream.Write(png.constData(), static_cast<size_t>(png.size()));
}

void TImageList::RegisterChanges(TChangeLink* link) {
  if (!link || link->FSender == this) return;
  if (link->FSender) link->FSender->UnRegisterChanges(link);
  link->FSender = this;
  FLinks.push_back(link);
}

void TImageList::UnRegisterChanges(TChangeLink* link) {
  if (!link) return;
  FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), link), FLinks.end());
  if (link->FSender == this) link->FSender = nullptr;
}

void TImageList::Change() {
  // A copy: a watcher may unregister (or register another) while it is told.
  const std::vector<TChangeLink*> links = FLinks;
  for (TChangeLink* link : links)
    if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end() && link->OnChange) link->OnChange(this);
  if (OnChange) OnChange(this);
}

}  // namespace rpt
