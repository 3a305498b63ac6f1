#include "report/QRPictures.h"

#include <zint.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "data/DB.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "report/QRDataCtrls.h"
#include "output/QRPrinter.h"

#ifdef RPT_HAVE_SVG
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#endif

namespace rpt {

namespace {

// Pictures larger than this are refused before they are decoded (a damaged or hostile
// header can claim any size).
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = int64_t(1) << 26;
// A printed picture needs no more detail than this.
constexpr double kPrintDpi = 300;
constexpr double kNativePerInch = 254;

QByteArray ToBytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

bool LooksLikeSvg(const std::string& bytes) {
  const std::string head = bytes.substr(0, 1024);
  return head.find("<svg") != std::string::npos;
}

#ifdef RPT_HAVE_SVG
bool SelfContainedSvg(const QByteArray& bytes, QByteArray& drawn, std::vector<std::string>& outside, int depth);

// What an href of a drawn element becomes: kept when it stays inside the picture (a
// fragment "#id", inline PNG, JPEG, BMP or GIF data), inline SVG data made self-contained
// in turn, else nothing (a file, an address, or inline data of another kind, which a
// picture reader could follow outside). Links (<a>) draw nothing and stay.
std::optional<QString> InsideReference(QStringView element, const QXmlStreamAttribute& attribute,
                                       std::vector<std::string>& outside, int depth) {
  const QStringView name = attribute.qualifiedName();
  const QString value = attribute.value().toString();
  if (name != u"href" && !name.endsWith(u":href")) return value;
  if (element == u"a" || element.endsWith(u":a")) return value;
  const QStringView trimmed = QStringView(value).trimmed();
  if (trimmed.startsWith(u'#')) return value;
  if (trimmed.startsWith(u"data:", Qt::CaseInsensitive)) {
    // The drawing library reads base64 data only, and lets the picture readers guess its kind.
    const qsizetype comma = trimmed.indexOf(u',');
    const QByteArray data =
        comma < 0 ? QByteArray() : QByteArray::fromBase64(trimmed.mid(comma + 1).toLatin1());
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray kind = QImageReader(&buffer).format().toLower();
    if (kind == "png" || kind == "jpeg" || kind == "jpg" || kind == "bmp" || kind == "gif") return value;
    QByteArray nested;
    if (kind == "svg" && depth < 8 && SelfContainedSvg(data, nested, outside, depth + 1))
      return QString::fromLatin1("data:image/svg+xml;base64," + nested.toBase64());
    outside.push_back("inline data that is no PNG, JPEG, BMP, GIF or sound SVG picture");
    return std::nullopt;
  }
  outside.push_back(trimmed.toString().toStdString());
  return std::nullopt;
}

// The SVG as the drawing library gets it: the same elements, attributes and text,
// without references to files or addresses (an <image> of "/home/.../private.png"
// would print that file into a report someone else made), without the document type
// (whose entities the reader has already put in place) and processing instructions.
// False when the XML is damaged; outside names what was left out.
bool SelfContainedSvg(const QByteArray& bytes, QByteArray& drawn, std::vector<std::string>& outside, int depth) {
  QXmlStreamReader reader(bytes);
  reader.setNamespaceProcessing(false);  // names and xmlns attributes exactly as written
  QXmlStreamWriter writer(&drawn);
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement: {
        const QString element = reader.qualifiedName().toString();
        writer.writeStartElement(element);
        for (const QXmlStreamAttribute& attribute : reader.attributes())
          if (const std::optional<QString> value = InsideReference(element, attribute, outside, depth))
            writer.writeAttribute(attribute.qualifiedName().toString(), *value);
        break;
      }
      case QXmlStreamReader::EndElement: writer.writeEndElement(); break;
      case QXmlStreamReader::Characters:
        if (reader.isCDATA())
          writer.writeCDATA(reader.text().toString());
        else
          writer.writeCharacters(reader.text().toString());
        break;
      default: break;  // the declaration, document type, comments, instructions, entities
    }
  }
  return !reader.hasError();
}
#endif

TPixels ToPixels(const QImage& image) {
  TPixels pixels;
  if (image.isNull()) return pixels;
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  pixels.Width = argb.width();
  pixels.Height = argb.height();
  pixels.Data.resize(size_t(pixels.Width) * size_t(pixels.Height));
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const uint32_t*>(argb.constScanLine(y));
    std::copy(line, line + argb.width(), pixels.Data.begin() + ptrdiff_t(y) * pixels.Width);
  }
  return pixels;
}

void Flag(bool& field, bool value, TCustomControl* control) {
  field = value;
  control->Invalidate();
}

// Text in the middle of a box of the design surface, cut at its edges.
void PaintCaption(TCanvas& canvas, const TFont& font, const TRect& box, const std::string& caption) {
  if (caption.empty()) return;
  canvas.SetFont(&font);
  canvas.Brush()->SetStyle(bsClear);
  const TSize extent = canvas.TextExtent(caption);
  canvas.TextRect(box, box.Left + std::max(2, (box.Width() - extent.cx) / 2),
                  box.Top + std::max(2, (box.Height() - extent.cy) / 2), caption);
}

}  // namespace

// ---------------------------------------------------------------------------
// TQRPicture

bool TQRPicture::SvgSupported() {
#ifdef RPT_HAVE_SVG
  return true;
#else
  return false;
#endif
}

void TQRPicture::Clear() {
  FBytes.clear();
  FFormat.clear();
  FImage = QImage();
  FSvgDrawn.clear();
  FWarning.clear();
  FPixelSize = QSize();
  FNativeWidth = FNativeHeight = 0;
  FPassableJpeg = false;
}

bool TQRPicture::Load(std::string bytes, std::string* error) {
  Clear();
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (bytes.empty()) return true;
  const QByteArray data = ToBytes(bytes);
  if (LooksLikeSvg(bytes)) {
#ifdef RPT_HAVE_SVG
    QByteArray drawn;
    std::vector<std::string> outside;
    if (!SelfContainedSvg(data, drawn, outside, 0)) return fail("The SVG picture is damaged");
    QSvgRenderer renderer(drawn);
    if (!renderer.isValid()) return fail("The SVG picture is damaged");
    if (!outside.empty())
      FWarning = rpt::Format(
          "The SVG picture refers to \"%s\"%s outside itself; a picture draws only what it holds, so %s left out",
          outside.front(), outside.size() > 1 ? rpt::Format(" and %d more", static_cast<int>(outside.size() - 1)) : "",
          outside.size() > 1 ? "they are" : "it is");
    FSvgDrawn = std::move(drawn);
    QSize size = renderer.defaultSize();
    if (size.isEmpty()) size = QSize(100, 100);
    FPixelSize = size;
    FNativeWidth = size.width() * kNativePerInch / kScreenPixelsPerInch;
    FNativeHeight = size.height() * kNativePerInch / kScreenPixelsPerInch;
    FFormat = "SVG";
    FBytes = std::move(bytes);
    return true;
#else
    return fail("SVG pictures are not supported by this build");
#endif
  }
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  const QByteArray format = reader.format().toLower();
  std::string name;
  if (format == "png") name = "PNG";
  else if (format == "jpeg" || format == "jpg") name = "JPEG";
  else if (format == "bmp") name = "BMP";
  else return fail("Not a PNG, JPEG, BMP or SVG picture");
  const QSize declared = reader.size();
  if (declared.width() > kMaxPictureSide || declared.height() > kMaxPictureSide ||
      int64_t(declared.width()) * declared.height() > kMaxPicturePixels)
    return fail("The picture is too large");
  QImage image;
  if (!reader.read(&image) || image.isNull()) return fail("The " + name + " picture is damaged");
  TJpegFrame frame;
  FPassableJpeg = name == "JPEG" && reader.transformation() == QImageIOHandler::TransformationNone &&
                  ReadJpegFrame(bytes, frame) && frame.Passable && frame.Width == image.width() &&
                  frame.Height == image.height();
  const double dpmX = image.dotsPerMeterX(), dpmY = image.dotsPerMeterY();
  // Resolutions outside what any picture is made at are taken as none.
  auto dpi = [](double dpm) { return dpm >= 400 && dpm <= 50000 ? dpm * 0.0254 : double(kScreenPixelsPerInch); };
  FImage = std::move(image);
  FPixelSize = FImage.size();
  FNativeWidth = FPixelSize.width() * kNativePerInch / dpi(dpmX);
  FNativeHeight = FPixelSize.height() * kNativePerInch / dpi(dpmY);
  FFormat = name;
  FBytes = std::move(bytes);
  return true;
}

TPixels TQRPicture::Render(int32_t width, int32_t height) const {
  if (Empty() || width <= 0 || height <= 0) return {};
  width = std::min(width, kMaxPictureSide);
  height = std::min(height, kMaxPictureSide);
  if (FFormat == "SVG") {
#ifdef RPT_HAVE_SVG
    // A renderer of its own: the design surface and a pass may draw at the same time.
    QSvgRenderer renderer(FSvgDrawn);
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, width, height));
    painter.end();
    return ToPixels(image);
#else
    return {};
#endif
  }
  if (FImage.width() == width && FImage.height() == height) {
    TPixels pixels = ToPixels(FImage);
    if (FPassableJpeg) pixels.Jpeg = FBytes;
    return pixels;
  }
  return ToPixels(FImage.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

// ---------------------------------------------------------------------------
// TQRPictureControl

RPT_BEGIN_CLASS(TQRPictureControl, TQRPrintable)
  c.Property("AutoSize", &TQRPictureControl::AutoSize, &TQRPictureControl::SetAutoSize);
  c.Property("Center", &TQRPictureControl::Center, &TQRPictureControl::SetCenter);
  c.Property("KeepAspect", &TQRPictureControl::KeepAspect, &TQRPictureControl::SetKeepAspect).Default(true);
  c.Property("Stretch", &TQRPictureControl::Stretch, &TQRPictureControl::SetStretch);
  c.Property("Transparent", &TQRPictureControl::Transparent, &TQRPictureControl::SetTransparent);
RPT_END_CLASS

TQRPictureControl::TQRPictureControl() {
  SetOpaque(false);
  SetBounds(Left(), Top(), 64, 64);
}

void TQRPictureControl::SetStretch(bool value) { Flag(FStretch, value, this); }
void TQRPictureControl::SetCenter(bool value) { Flag(FCenter, value, this); }
void TQRPictureControl::SetKeepAspect(bool value) { Flag(FKeepAspect, value, this); }
void TQRPictureControl::SetAutoSize(bool value) { Flag(FAutoSize, value, this); }

TRectF TQRPictureControl::PicturePlace(const TRectF& box, double naturalWidth, double naturalHeight) const {
  const double boxWidth = box.Right - box.Left, boxHeight = box.Bottom - box.Top;
  double width = naturalWidth, height = naturalHeight;
  if (FStretch) {
    width = boxWidth, height = boxHeight;
    if (FKeepAspect && naturalWidth > 0 && naturalHeight > 0) {
      const double scale = std::min(boxWidth / naturalWidth, boxHeight / naturalHeight);
      width = naturalWidth * scale, height = naturalHeight * scale;
    }
  }
  const double left = FCenter ? box.Left + (boxWidth - width) / 2 : box.Left;
  const double top = FCenter ? box.Top + (boxHeight - height) / 2 : box.Top;
  return {left, top, left + width, top + height};
}

void TQRPictureControl::FitToPicture(const TQRPicture& picture) {
  if (!FAutoSize || picture.Empty() || HasState(sfLoading)) return;
  FSize->SetNative(TQRPrintableSize::szWidth, picture.NativeWidth());
  FSize->SetNative(TQRPrintableSize::szHeight, picture.NativeHeight());
  FSize->ApplyToParent();
}

void TQRPictureControl::PaintPicture(const TQRPicture* picture, const std::string& caption) {
  TCanvas* canvas = Canvas();
  if (InGeneration() || !canvas) return;
  PaintPrintable(*canvas);
  const TRect box{0, 0, Width(), Height()};
  if (picture && !picture->Empty()) {
    // The picture's natural size in pixels of the design surface at the zoom.
    const double perNative = FZoom / 100.0 * kScreenPixelsPerInch / kNativePerInch;
    const TRectF place = PicturePlace({0, 0, double(box.Right), double(box.Bottom)},
                                      picture->NativeWidth() * perNative, picture->NativeHeight() * perNative);
    const TRect dest{Nearest(place.Left), Nearest(place.Top), Nearest(place.Right), Nearest(place.Bottom)};
    if (dest.Width() > 0 && dest.Height() > 0) {
      canvas->SetClipRect(box);
      canvas->StretchDraw(dest, picture->Render(dest.Width(), dest.Height()));
      canvas->ClearClipRect();
    }
  } else {
    PaintCaption(*canvas, *Font(), box, caption);
  }
  PaintFrameAndCornerMarks(*canvas);
}

void TQRPictureControl::Prepare(TQRPrinter* printer) {
  TQRPrintable::Prepare(printer);
  FWarningReported = false;
}

void TQRPictureControl::PrintPicture(const TQRPicture& picture, double offsetX, double offsetY) {
  if (!FinalPass() || !FPrinter || !FPrinter->PageCanvas()) return;
  if (!picture.Warning().empty() && !FWarningReported && FReport) {
    FReport->AddGenerationMessage(Format("%s: %s", Name(), picture.Warning()));
    FWarningReported = true;
  }
  TCanvas& canvas = *FPrinter->PageCanvas();
  const auto [left, top, width, height] = PrintedBox(offsetX, offsetY);
  PrintBackground(canvas, left, top, width, height);
  if (!picture.Empty()) {
    const TRectF place =
        PicturePlace({left, top, left + width, top + height}, picture.NativeWidth(), picture.NativeHeight());
    const TRect dest = DeviceRect(place.Left, place.Top, place.Right - place.Left, place.Bottom - place.Top);
    if (dest.Width() > 0 && dest.Height() > 0) {
      // Detail for the printed size, never more than the picture has (a vector picture
      // has what it is drawn at).
      const double printedWidth = (place.Right - place.Left) / kNativePerInch * kPrintDpi;
      const double printedHeight = (place.Bottom - place.Top) / kNativePerInch * kPrintDpi;
      const QSize pixels = picture.PixelSize();
      double scale = 1;
      if (picture.Format() != "SVG")
        scale = std::min(1.0, std::min(pixels.width() / printedWidth, pixels.height() / printedHeight));
      const int32_t w = std::max(1, static_cast<int32_t>(std::lround(printedWidth * scale)));
      const int32_t h = std::max(1, static_cast<int32_t>(std::lround(printedHeight * scale)));
      int32_t renderWidth = std::max(w, std::min(dest.Width(), pixels.width()));
      int32_t renderHeight = std::max(h, std::min(dest.Height(), pixels.height()));
      // A JPEG that needs all its pixels is drawn from them as they are, so a document
      // keeps its bytes rather than pixels resampled by a fraction of one.
      if (picture.PassableJpeg() && std::lround(printedWidth) >= pixels.width() &&
          std::lround(printedHeight) >= pixels.height()) {
        renderWidth = pixels.width();
        renderHeight = pixels.height();
      }
      canvas.SetClipRect(DeviceRect(left, top, width, height));
      canvas.StretchDraw(dest, picture.Render(renderWidth, renderHeight));
      canvas.ClearClipRect();
    }
  }
  TQRPrintable::PrintAt(offsetX, offsetY);
}

// ---------------------------------------------------------------------------
// TQRImage

RPT_BEGIN_CLASS(TQRImage, TQRPictureControl)
RPT_END_CLASS

TQRImage::TQRImage() = default;

bool TQRImage::SetPictureBytes(const std::string& bytes) {
  FPictureError.clear();
  const bool taken = FPicture.Load(bytes, &FPictureError);
  if (taken) FitToPicture(FPicture);
  Invalidate();
  return taken;
}

void TQRImage::LoadPictureFromFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EReadError(Format("Cannot open file \"%s\"", fileName));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw EReadError(Format("Cannot read file \"%s\"", fileName));
  const std::string data = bytes.str();
  if (data.empty()) throw EReadError(Format("The file \"%s\" is empty", fileName));
  std::string error;
  TQRPicture check;
  if (!check.Load(data, &error)) throw EReadError(Format("%s: %s", fileName, error));
  SetPictureBytes(data);
}

void TQRImage::DefineProperties(TFiler& filer) {
  TQRPictureControl::DefineProperties(filer);
  // The bytes as given, so the file holds the picture exactly; a picture that cannot be
  // decoded loads empty with its reason in PictureError, and the report loads.
  filer.DefineBinaryData(
      "PictureData",
      [this](TStream& s) {
        FPictureError.clear();
        if (!FPicture.Load(s.ReadRest(), &FPictureError))
          FPictureError = Format("The picture of %s is damaged and was left out: %s", Name(), FPictureError);
      },
      [this](TStream& s) { s.Write(FPicture.Bytes().data(), FPicture.Bytes().size()); }, !FPicture.Empty());
}

void TQRImage::AfterLoad() {
  TQRPictureControl::AfterLoad();
  Invalidate();
}

void TQRImage::Paint() {
  PaintPicture(&FPicture, FPictureError.empty() ? "(" + Name() + ")" : "(damaged picture)");
}

void TQRImage::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable()) return;
  PrintPicture(FPicture, offsetX, offsetY);
}

// ---------------------------------------------------------------------------
// TQRDBImage

RPT_BEGIN_CLASS(TQRDBImage, TQRPictureControl)
  c.Property("DataField", &TQRDBImage::DataField, &TQRDBImage::SetDataField);
  c.Property("DataSet", &TQRDBImage::DataSet, &TQRDBImage::SetDataSet);
RPT_END_CLASS

TQRDBImage::TQRDBImage() = default;

void TQRDBImage::SetDataSet(TDataSet* value) {
  FDataSet = value;
  if (value) WatchComponent(value);
  Invalidate();
}

void TQRDBImage::SetDataField(const std::string& value) {
  FDataField = value;
  Invalidate();
}

void TQRDBImage::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TQRPictureControl::ComponentNotification(component, operation);
  if (operation == coRemove && component == FDataSet) {
    FDataSet = nullptr;
    FFieldIndex = -1;
  }
}

void TQRDBImage::Paint() { PaintPicture(nullptr, FDataField.empty() ? "(" + Name() + ")" : FDataField); }

void TQRDBImage::Prepare(TQRPrinter* printer) {
  TQRPictureControl::Prepare(printer);
  FFieldIndex = -1;
  FPrinted.Clear();
  if (!FDataSet) return;
  if (TField* field = FDataSet->FindField(FDataField)) FFieldIndex = field->Index();
}

void TQRDBImage::Unprepare() {
  FFieldIndex = -1;
  FPrinted.Clear();
  TQRPictureControl::Unprepare();
}

void TQRDBImage::PrintAt(double offsetX, double offsetY) {
  // An export pass takes no pictures: nothing to decode.
  if (!IsPrintable() || !FinalPass()) return;
  std::string bytes;
  // The index finds the current field: a dataset makes its fields afresh when it reopens.
  if (FDataSet && FDataSet->Active() && FFieldIndex >= 0 && FFieldIndex < FDataSet->FieldCount()) {
    try {
      const TField* field = FDataSet->Fields(FFieldIndex);
      if (!field->IsNull()) bytes = field->AsString();
    } catch (const std::exception&) {
      bytes.clear();
    }
  }
  // A field that holds no picture (or a damaged one) prints nothing.
  if (bytes != FPrinted.Bytes() && !FPrinted.Load(bytes)) FPrinted.Clear();
  PrintPicture(FPrinted, offsetX, offsetY);
}

bool IsFieldPrintable(const TComponent* component) {
  return dynamic_cast<const TQRDBText*>(component) || dynamic_cast<const TQRDBImage*>(component);
}

TDataSet* FieldPrintableDataSet(const TComponent* component) {
  if (const auto* text = dynamic_cast<const TQRDBText*>(component)) return text->DataSet();
  if (const auto* image = dynamic_cast<const TQRDBImage*>(component)) return image->DataSet();
  return nullptr;
}

void SetFieldPrintableDataSet(TComponent* component, TDataSet* dataSet) {
  if (auto* text = dynamic_cast<TQRDBText*>(component)) text->SetDataSet(dataSet);
  else if (auto* image = dynamic_cast<TQRDBImage*>(component)) image->SetDataSet(dataSet);
}

// ---------------------------------------------------------------------------
// Barcodes

namespace {

int ZintSymbology(TQRBarcodeType type) {
  switch (type) {
    case bcCode128: return BARCODE_CODE128;
    case bcEAN13: return BARCODE_EANX;
    case bcUPCA: return BARCODE_UPCA;
    case bcCode39: return BARCODE_CODE39;
    case bcQRCode: return BARCODE_QRCODE;
    case bcDataMatrix: return BARCODE_DATAMATRIX;
    case bcPDF417: return BARCODE_PDF417;
  }
  return BARCODE_CODE128;
}

// A text every symbology encodes, for the design surface of a code whose text is computed.
std::string SampleText(TQRBarcodeType type) {
  switch (type) {
    case bcEAN13: return "400638133393";
    case bcUPCA: return "03600029145";
    case bcCode39: return "CODE 39";
    default: return "Sample 12345";
  }
}

bool IsMatrix(TQRBarcodeType type) { return type == bcQRCode || type == bcDataMatrix || type == bcPDF417; }

struct TZintSymbol {
  zint_symbol* Symbol = ZBarcode_Create();
  ~TZintSymbol() {
    if (Symbol) ZBarcode_Delete(Symbol);
  }
};

}  // namespace

std::string BarcodeTypeName(TQRBarcodeType type) {
  static const char* const names[] = {"Code 128", "EAN-13", "UPC-A", "Code 39", "QR Code", "Data Matrix", "PDF417"};
  return names[std::min<size_t>(type, std::size(names) - 1)];
}

TQRBarcodeSymbol EncodeBarcode(TQRBarcodeType type, const std::string& text, bool showText) {
  TQRBarcodeSymbol result;
  TZintSymbol holder;
  zint_symbol* symbol = holder.Symbol;
  if (!symbol) {
    result.Error = "The barcode library has no memory";
    return result;
  }
  symbol->symbology = ZintSymbology(type);
  symbol->input_mode = UNICODE_MODE;
  symbol->show_hrt = showText && !IsMatrix(type) ? 1 : 0;
  // Four modules of quiet zone around 2D codes, as readers expect; 1D codes have theirs.
  if (IsMatrix(type)) symbol->whitespace_width = symbol->whitespace_height = type == bcQRCode ? 4 : 2;
  else symbol->whitespace_width = 10;
  if (text.empty()) {
    result.Error = "No text to encode";
    return result;
  }
  int status = ZBarcode_Encode(symbol, reinterpret_cast<const unsigned char*>(text.data()),
                               static_cast<int>(text.size()));
  if (status < ZINT_ERROR) status = ZBarcode_Buffer_Vector(symbol, 0);
  if (status >= ZINT_ERROR || !symbol->vector) {
    result.Error = symbol->errtxt[0] ? symbol->errtxt : "The text cannot be encoded";
    return result;
  }
  result.Width = symbol->vector->width;
  result.Height = symbol->vector->height;
  for (const zint_vector_rect* r = symbol->vector->rectangles; r; r = r->next)
    if (r->colour == -1 || r->colour == 7)  // foreground or black
      result.Bars.push_back({r->x, r->y, double(r->x) + r->width, double(r->y) + r->height});
  for (const zint_vector_string* s = symbol->vector->strings; s; s = s->next)
    result.Texts.push_back({s->x, s->y, s->fsize, s->halign, reinterpret_cast<const char*>(s->text)});
  for (int row = 0; row < symbol->rows; ++row) {
    std::string line;
    for (int col = 0; col < symbol->width; ++col)
      line += (symbol->encoded_data[row][col / 8] >> (col % 8)) & 1 ? '1' : '0';
    result.Modules.push_back(std::move(line));
  }
  return result;
}

RPT_BEGIN_CLASS(TQRBarcode, TQRPrintable)
  c.Property("BarColor", &TQRBarcode::BarColor, &TQRBarcode::SetBarColor).Default(clBlack);
  c.Property("BarcodeType", &TQRBarcode::BarcodeType, &TQRBarcode::SetBarcodeType);
  c.Property("Color", &TQRBarcode::Color, &TQRBarcode::SetColor);
  c.Property("Expression", &TQRBarcode::Expression, &TQRBarcode::SetExpression);
  c.Property("Font", &TQRBarcode::Font, &TQRBarcode::SetFont);
  c.Property("ShowText", &TQRBarcode::ShowText, &TQRBarcode::SetShowText).Default(true);
  c.Property("Text", &TQRBarcode::Text, &TQRBarcode::SetText);
  c.Property("Transparent", &TQRBarcode::Transparent, &TQRBarcode::SetTransparent);
RPT_END_CLASS

TQRBarcode::TQRBarcode() : FEvaluator(std::make_unique<TQREvaluator>()) {
  SetOpaque(true);
  SetBounds(Left(), Top(), 160, 64);
}

TQRBarcode::~TQRBarcode() = default;

void TQRBarcode::SetBarcodeType(TQRBarcodeType value) {
  FBarcodeType = value;
  Invalidate();
}

void TQRBarcode::SetText(const std::string& value) {
  FText = value;
  Invalidate();
}

void TQRBarcode::SetExpression(const std::string& value) {
  FExpression = value;
  Invalidate();
}

void TQRBarcode::SetShowText(bool value) {
  FShowText = value;
  Invalidate();
}

void TQRBarcode::SetBarColor(TColor value) {
  FBarColor = value;
  Invalidate();
}

const TQRBarcodeSymbol& TQRBarcode::Symbol(TCache& cache, const std::string& text) const {
  std::string key = std::to_string(FBarcodeType) + (FShowText ? "T" : "t") + '\x1f' + text;
  if (key != cache.Key) {
    cache.Symbol = EncodeBarcode(FBarcodeType, text, FShowText);
    cache.Key = std::move(key);
  }
  return cache.Symbol;
}

void TQRBarcode::DrawSymbol(TCanvas& canvas, const TQRBarcodeSymbol& symbol, const TRectF& box, TColor bars) const {
  const double boxWidth = box.Right - box.Left, boxHeight = box.Bottom - box.Top;
  if (boxWidth <= 0 || boxHeight <= 0) return;
  if (!symbol.Error.empty()) {
    // The library's message where the code would be.
    canvas.SetFont(Font());
    canvas.Font()->SetColor(clRed);
    canvas.Brush()->SetStyle(bsClear);
    const TRect clip{static_cast<int32_t>(std::floor(box.Left)), static_cast<int32_t>(std::floor(box.Top)),
                     static_cast<int32_t>(std::ceil(box.Right)), static_cast<int32_t>(std::ceil(box.Bottom))};
    canvas.TextRect(clip, clip.Left + 1, clip.Top + 1, symbol.Error);
    return;
  }
  if (symbol.Width <= 0 || symbol.Height <= 0) return;
  double sx = boxWidth / symbol.Width, sy = boxHeight / symbol.Height;
  double left = box.Left, top = box.Top;
  if (IsMatrix(FBarcodeType)) {
    // Square modules, centred.
    sx = sy = std::min(sx, sy);
    left += (boxWidth - symbol.Width * sx) / 2;
    top += (boxHeight - symbol.Height * sy) / 2;
  }
  std::vector<TRectF> rects;
  rects.reserve(symbol.Bars.size());
  for (const TRectF& b : symbol.Bars)
    rects.push_back({left + b.Left * sx, top + b.Top * sy, left + b.Right * sx, top + b.Bottom * sy});
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Brush()->SetColor(bars);
  canvas.FillRectsF(rects);
  if (symbol.Texts.empty()) return;
  canvas.SetFont(Font());
  canvas.Font()->SetColor(bars);
  canvas.Font()->SetPixelsPerInch(canvas.PixelsPerInch());
  canvas.Brush()->SetStyle(bsClear);
  for (const TQRBarcodeSymbol::TText& t : symbol.Texts) {
    canvas.Font()->SetHeight(-std::max(1, static_cast<int32_t>(std::lround(t.Size * sy))));
    const TTextExtentF extent = canvas.TextExtentF(t.Text);
    double x = left + t.X * sx;
    if (t.HAlign == 0) x -= extent.Width / 2;
    else if (t.HAlign == 2) x -= extent.Width;
    const double y = top + t.Y * sy - extent.Ascent;
    canvas.TextOut(static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y)), t.Text);
  }
}

void TQRBarcode::Paint() {
  TCanvas* canvas = Canvas();
  if (InGeneration() || !canvas) return;
  PaintPrintable(*canvas);
  if (Opaque()) {
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(Color());
    canvas->FillRect({0, 0, Width(), Height()});
  }
  if (!FExpression.empty()) {
    // The value is known only when the report prints: a grey sample of the symbology
    // under the expression that gives it.
    DrawSymbol(*canvas, Symbol(FPaintCache, SampleText(FBarcodeType)), {0, 0, double(Width()), double(Height())},
               clSilver);
    canvas->SetFont(Font());
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(clWhite);
    const TSize extent = canvas->TextExtent(FExpression);
    canvas->TextOut(std::max(0, (Width() - extent.cx) / 2), std::max(0, (Height() - extent.cy) / 2), FExpression);
  } else if (FText.empty()) {
    PaintCaption(*canvas, *Font(), {0, 0, Width(), Height()}, BarcodeTypeName(FBarcodeType) + " (" + Name() + ")");
  } else {
    DrawSymbol(*canvas, Symbol(FPaintCache, FText), {0, 0, double(Width()), double(Height())}, FBarColor);
  }
  PaintFrameAndCornerMarks(*canvas);
}

void TQRBarcode::Prepare(TQRPrinter* printer) {
  TQRPrintable::Prepare(printer);
  FErrorReported = false;
  FPrintedText.clear();
  if (FExpression.empty()) return;
  FEvaluator->SetDataSetList(FReport ? FReport->RunDataSets() : nullptr);
  FEvaluator->SetLocalEnvironment(FReport ? FReport->Functions() : nullptr);
  FEvaluator->Compile(FExpression);
}

void TQRBarcode::Unprepare() {
  FEvaluator->SetDataSetList(nullptr);
  FEvaluator->Discard();
  TQRPrintable::Unprepare();
}

void TQRBarcode::PrintAt(double offsetX, double offsetY) {
  if (!IsPrintable() || !FinalPass() || !FPrinter || !FPrinter->PageCanvas()) return;
  std::string text = FText;
  if (!FExpression.empty())
    text = FEvaluator->Compiled() ? TQRExpr::ValueText(FEvaluator->Evaluate(), "") : std::string();
  FPrintedText = text;
  TCanvas& canvas = *FPrinter->PageCanvas();
  const auto [left, top, width, height] = PrintedBox(offsetX, offsetY);
  PrintBackground(canvas, left, top, width, height);
  // Nothing to encode (an empty field) prints no code and is no fault.
  if (text.empty()) {
    TQRPrintable::PrintAt(offsetX, offsetY);
    return;
  }
  const TQRBarcodeSymbol& symbol = Symbol(FPrintCache, text);
  if (!symbol.Error.empty() && !FErrorReported && FReport) {
    FReport->AddGenerationMessage(Format("%s: the text \"%s\" cannot be encoded as %s: %s", Name(), text,
                                         BarcodeTypeName(FBarcodeType), symbol.Error));
    FErrorReported = true;
  }
  // Fractional device positions: bars keep their widths on a page of any resolution.
  const double hs = FPrinter->HorzScale(), vs = FPrinter->VertScale();
  const double x0 = (left - FPrinter->DeviceLeftOffset()) * hs, y0 = (top - FPrinter->DeviceTopOffset()) * vs;
  DrawSymbol(canvas, symbol, {x0, y0, x0 + width * hs, y0 + height * vs}, FBarColor);
  TQRPrintable::PrintAt(offsetX, offsetY);
}

}  // namespace rpt
