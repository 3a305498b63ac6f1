#pragma once
// Pictures and barcodes: a picture held in the report (TQRImage, a company logo), the
// picture in a blob field of the current record (TQRDBImage) and a barcode or 2D code
// of a text or an expression (TQRBarcode). Pictures print as bitmaps at up to 300 dots
// per inch of their printed size; bars and modules print as rectangles, so they stay
// sharp at any resolution.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <memory>
#include <string>
#include <vector>

#include "expr/QRExpr.h"
#include "report/QRCtrls.h"

namespace rpt {

class TDataSet;

// The bytes of a picture as given (PNG, JPEG, BMP or SVG) and what they show. Const
// access is safe from any thread.
class TQRPicture {
 public:
  // Takes the bytes when they are a picture of a known kind; otherwise the picture is
  // left empty and error says why. Empty bytes clear the picture.
  bool Load(std::string bytes, std::string* error = nullptr);
  void Clear();
  bool Empty() const { return FBytes.empty(); }
  const std::string& Bytes() const { return FBytes; }
  // "PNG", "JPEG", "BMP" or "SVG"; empty when there is no picture.
  const std::string& Format() const { return FFormat; }
  // The natural size in pixels and, from the picture's resolution (96 per inch when it
  // has none), in native units.
  QSize PixelSize() const { return FPixelSize; }
  double NativeWidth() const { return FNativeWidth; }
  double NativeHeight() const { return FNativeHeight; }
  // The picture at a size in pixels (a vector picture is drawn at that size). A JPEG that
  // a document can hold as it is comes with its bytes at its own size.
  TPixels Render(int32_t width, int32_t height) const;
  // A JPEG whose bytes show exactly the pixels decoded from them (no turn by its camera
  // data, components every document reader takes).
  bool PassableJpeg() const { return FPassableJpeg; }
  // Set when the picture was taken but part of it is not drawn: an SVG's references to
  // files or addresses outside its bytes. The bytes are kept as given.
  const std::string& Warning() const { return FWarning; }

  // Whether this build draws vector (SVG) pictures.
  static bool SvgSupported();

 private:
  std::string FBytes;
  std::string FFormat;
  QImage FImage;  // raster pictures
  QByteArray FSvgDrawn;  // vector pictures: what is drawn (no outside references)
  std::string FWarning;
  QSize FPixelSize;
  double FNativeWidth = 0, FNativeHeight = 0;
  bool FPassableJpeg = false;
};

// What a picture printable shares: the drawing options and the drawing itself.
class TQRPictureControl : public TQRPrintable {
  RPT_CLASS(TQRPictureControl, TQRPrintable)
  TQRPictureControl();

  // Stretch: fill the box (KeepAspect: as large as fits, proportions kept); otherwise
  // the natural size, cut at the box. Center: in the middle of the box, else at its top
  // left. AutoSize: a picture given to the control sizes the box to the picture. A new
  // control stretches with the aspect kept: the picture fits the box drawn for it.
  bool Stretch() const { return FStretch; }
  void SetStretch(bool value);
  bool Center() const { return FCenter; }
  void SetCenter(bool value);
  bool KeepAspect() const { return FKeepAspect; }
  void SetKeepAspect(bool value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);

  // Where a picture of a natural size goes in a box (any unit, both the same).
  TRectF PicturePlace(const TRectF& box, double naturalWidth, double naturalHeight) const;

  void Prepare(TQRPrinter* printer) override;

 protected:
  // Design-time picture: background, the picture or a caption naming what prints.
  void PaintPicture(const TQRPicture* picture, const std::string& caption);
  // Prints a picture into the control's box at the band's offset (final pass only); a
  // picture's warning is reported once a pass.
  void PrintPicture(const TQRPicture& picture, double offsetX, double offsetY);
  // AutoSize: the box takes the picture's natural size.
  void FitToPicture(const TQRPicture& picture);

 private:
  bool FStretch = true;
  bool FCenter = false;
  bool FKeepAspect = true;
  bool FAutoSize = false;
  bool FWarningReported = false;
};

// A picture stored in the report file (binary property "PictureData"), a logo.
class TQRImage : public TQRPictureControl {
  RPT_CLASS(TQRImage, TQRPictureControl)
  TQRImage();

  const TQRPicture& Picture() const { return FPicture; }
  // Takes the bytes of a picture; false (and the picture empty) when they are not one.
  bool SetPictureBytes(const std::string& bytes);
  // Reads a picture file; fails with EReadError naming the file and the problem.
  void LoadPictureFromFile(const std::string& fileName);
  // Why the last picture given or read was refused; empty when it was taken.
  const std::string& PictureError() const { return FPictureError; }

  void PrintAt(double offsetX, double offsetY) override;
  void DefineProperties(TFiler& filer) override;
  void AfterLoad() override;

 protected:
  void Paint() override;

 private:
  TQRPicture FPicture;
  std::string FPictureError;
};

// The picture in a blob field of the current record; a field without a picture prints
// nothing.
class TQRDBImage : public TQRPictureControl {
  RPT_CLASS(TQRDBImage, TQRPictureControl)
  TQRDBImage();

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* value);
  const std::string& DataField() const { return FDataField; }
  void SetDataField(const std::string& value);

  void Prepare(TQRPrinter* printer) override;
  void Unprepare() override;
  void PrintAt(double offsetX, double offsetY) override;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void Paint() override;

 private:
  TDataSet* FDataSet = nullptr;
  std::string FDataField;
  int FFieldIndex = -1;
  // The last record's picture, decoded once while the field keeps the same bytes.
  TQRPicture FPrinted;
};

// The printables that read a field of a dataset (data fields and picture fields): the
// dataset they read, or none; IsFieldPrintable tells them from the rest.
bool IsFieldPrintable(const TComponent* component);
TDataSet* FieldPrintableDataSet(const TComponent* component);
void SetFieldPrintableDataSet(TComponent* component, TDataSet* dataSet);

enum TQRBarcodeType : uint8_t { bcCode128, bcEAN13, bcUPCA, bcCode39, bcQRCode, bcDataMatrix, bcPDF417 };
RPT_ENUM_TYPE(TQRBarcodeType, "bcCode128", "bcEAN13", "bcUPCA", "bcCode39", "bcQRCode", "bcDataMatrix", "bcPDF417")

// A symbol as the barcode library lays it out, in its own units (module widths).
struct TQRBarcodeSymbol {
  struct TText {
    double X = 0, Y = 0;  // Y: the baseline
    double Size = 0;      // font size
    int HAlign = 0;       // 0 centre, 1 left, 2 right
    std::string Text;
  };
  double Width = 0, Height = 0;
  std::vector<TRectF> Bars;
  std::vector<TText> Texts;
  // Set when the text cannot be encoded: the library's message.
  std::string Error;
  // The module matrix (rows of '1' and '0'), for checks against a reader.
  std::vector<std::string> Modules;
};

// Encodes a text (UTF-8) in a symbology; never throws.
TQRBarcodeSymbol EncodeBarcode(TQRBarcodeType type, const std::string& text, bool showText);
// The symbology's name ("EAN-13").
std::string BarcodeTypeName(TQRBarcodeType type);

class TQRBarcode : public TQRPrintable {
  RPT_CLASS(TQRBarcode, TQRPrintable)
  TQRBarcode();
  ~TQRBarcode() override;

  TQRBarcodeType BarcodeType() const { return FBarcodeType; }
  void SetBarcodeType(TQRBarcodeType value);
  // What is encoded: the value of Expression for each print when there is one, else Text.
  const std::string& Text() const { return FText; }
  void SetText(const std::string& value);
  const std::string& Expression() const { return FExpression; }
  void SetExpression(const std::string& value);
  // The human-readable text under 1D codes.
  bool ShowText() const { return FShowText; }
  void SetShowText(bool value);
  TColor BarColor() const { return FBarColor; }
  void SetBarColor(TColor value);
  // The text the last print encoded.
  const std::string& PrintedText() const { return FPrintedText; }

  void Prepare(TQRPrinter* printer) override;
  void Unprepare() override;
  void PrintAt(double offsetX, double offsetY) override;

  // Draws a symbol into a box of device pixels (2D codes keep square modules).
  void DrawSymbol(TCanvas& canvas, const TQRBarcodeSymbol& symbol, const TRectF& box, TColor bars) const;

 protected:
  void Paint() override;

 private:
  // The symbol of a text, kept while the text and options stay the same; one cache for
  // the design surface and one for the pass, which runs on a thread of its own.
  struct TCache {
    std::string Key;
    TQRBarcodeSymbol Symbol;
  };
  const TQRBarcodeSymbol& Symbol(TCache& cache, const std::string& text) const;

  TQRBarcodeType FBarcodeType = bcCode128;
  std::string FText;
  std::string FExpression;
  bool FShowText = true;
  TColor FBarColor = clBlack;
  std::unique_ptr<TQREvaluator> FEvaluator;
  std::string FPrintedText;
  bool FErrorReported = false;
  mutable TCache FPaintCache, FPrintCache;
};

}  // namespace rpt
