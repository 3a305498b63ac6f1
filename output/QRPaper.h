#pragma once
// Paper sizes, paper sources and page orientation shared by the report page and the
// report printer, with the platform codes written into a printer's settings block.
// No Qt, so the report model and headless tools use it freely.
#include <cmath>
#include <cstdint>
#include <string>
#include "objects/TypeInfo.h"

namespace rpt {

enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };
RPT_ENUM_TYPE(TPrinterOrientation, "poPortrait", "poLandscape")

enum class TQRPaperSize : uint8_t {
  Default, Letter, LetterSmall, Tabloid, Ledger, Legal, Statement, Executive, A3, A4, A4Small, A5, B4, B5, Folio,
  Quarto, qr10X14, qr11X17, Note, Env9, Env10, Env11, Env12, Env14, CSheet, DSheet, ESheet, Custom
};
RPT_ENUM_TYPE(TQRPaperSize, "Default", "Letter", "LetterSmall", "Tabloid", "Ledger", "Legal", "Statement",
              "Executive", "A3", "A4", "A4Small", "A5", "B4", "B5", "Folio", "Quarto", "qr10X14", "qr11X17", "Note",
              "Env9", "Env10", "Env11", "Env12", "Env14", "CSheet", "DSheet", "ESheet", "Custom")
constexpr int kPaperSizeCount = 28;

enum class TQRBin : uint8_t {
  First, Upper, Lower, Middle, Manual, Envelope, EnvManual, Auto, Tractor, SmallFormat, LargeFormat,
  LargeCapacity, Cassette, Last
};
RPT_ENUM_TYPE(TQRBin, "First", "Upper", "Lower", "Middle", "Manual", "Envelope", "EnvManual", "Auto", "Tractor",
              "SmallFormat", "LargeFormat", "LargeCapacity", "Cassette", "Last")
constexpr int kBinCount = 14;

struct TPaperDimensions {
  double Width;   // portrait, millimetres
  double Length;
};

// Portrait width x length in millimetres of the sizes Letter..ESheet; Default and
// Custom have no entry (0 x 0).
TPaperDimensions PaperSizeTable(TQRPaperSize size);
// The paper code written into the device settings (Custom 256, Default 0: not written).
int PaperCode(TQRPaperSize size);
// The display name of a size ("A4 210 x 297 mm").
const std::string& PaperSizeName(TQRPaperSize size);
// The source code of a bin (Cassette and Last share 14).
int BinCode(TQRBin bin);
const std::string& BinName(TQRBin bin);

// The integer nearest to x, halves going to the even integer. Values beyond the 32-bit
// range are clamped rather than left undefined.
inline int32_t Nearest(double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(std::nearbyint(x));  // the default rounding mode is to-nearest-even
}

// Table dimensions in tenths of a millimetre: nearest(mm x 10).
inline int32_t TablePaperWidth(TQRPaperSize size) { return Nearest(PaperSizeTable(size).Width * 10); }
inline int32_t TablePaperLength(TQRPaperSize size) { return Nearest(PaperSizeTable(size).Length * 10); }

}  // namespace rpt
