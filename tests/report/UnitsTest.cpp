// Unit conversions between native units (0.1 mm) and the units a user edits in.
#include <gtest/gtest.h>

#include "report/QRUnits.h"

namespace rpt {
namespace {

TEST(UnitsTest, EveryUnitConvertsBothWays) {
  TUnitContext c;
  c.Resolution = 96;
  c.Zoom = 150;
  c.FontSize = 12;
  struct TCase {
    TQRUnit Unit;
    bool Horizontal;
    long double Native;
    long double Shown;
  };
  const TCase cases[] = {
      {MM, true, 254, 25.4L},
      {Inches, false, 254, 1},
      {Pixels, true, 254, 96 * 1.5L},
      {Characters, true, 254, 254 / (80 / 12.0L / 2.54L) / 10},
      {Characters, false, 254, 254 / (145.3L / 12.0L / 2.54L) / 10},
      {Native, true, 254, 254},
  };
  for (const TCase& t : cases) {
    SCOPED_TRACE(static_cast<int>(t.Unit));
    EXPECT_NEAR(static_cast<double>(NativeToUnit(t.Unit, t.Horizontal, t.Native, c)), static_cast<double>(t.Shown),
                1e-9);
    EXPECT_NEAR(static_cast<double>(UnitToNative(t.Unit, t.Horizontal, t.Shown, c)), static_cast<double>(t.Native),
                1e-9);
    // Exact inverses over a spread of values.
    for (long double v : {0.0L, 1.0L, 17.3L, 2970.0L, -5.5L}) {
      EXPECT_NEAR(static_cast<double>(UnitToNative(t.Unit, t.Horizontal, NativeToUnit(t.Unit, t.Horizontal, v, c), c)),
                  static_cast<double>(v), 1e-9);
    }
  }
}

TEST(UnitsTest, CharactersUseTheFontSizeMagnitude) {
  TUnitContext negative;
  negative.FontSize = -12;
  TUnitContext positive;
  positive.FontSize = 12;
  EXPECT_DOUBLE_EQ(static_cast<double>(NativeToUnit(Characters, true, 500, negative)),
                   static_cast<double>(NativeToUnit(Characters, true, 500, positive)));
  EXPECT_GT(NativeToUnit(Characters, true, 500, negative), 0);
  // Rows are taller than columns are wide, so fewer rows than columns fit in a length.
  EXPECT_LT(NativeToUnit(Characters, false, 500, positive), NativeToUnit(Characters, true, 500, positive));
}

TEST(UnitsTest, PixelsFollowZoom) {
  TUnitContext c;
  c.Resolution = 96;
  c.Zoom = 100;
  EXPECT_NEAR(static_cast<double>(NativeToUnit(Pixels, true, 2100, c)), 2100 * 96 / 254.0, 1e-9);
  c.Zoom = 200;
  EXPECT_NEAR(static_cast<double>(NativeToUnit(Pixels, true, 2100, c)), 2 * 2100 * 96 / 254.0, 1e-9);
}

TEST(UnitsTest, PaperTable) {
  EXPECT_EQ(TablePaperWidth(TQRPaperSize::A4), 2100);
  EXPECT_EQ(TablePaperLength(TQRPaperSize::A4), 2970);
  EXPECT_EQ(TablePaperLength(TQRPaperSize::Note), 2790);
  EXPECT_EQ(TablePaperLength(TQRPaperSize::Letter), 2794);
  EXPECT_EQ(TablePaperWidth(TQRPaperSize::Env9), 984);  // 98.43 mm
  EXPECT_EQ(PaperCode(TQRPaperSize::Custom), 256);
  EXPECT_EQ(PaperCode(TQRPaperSize::ESheet), 26);
  EXPECT_EQ(BinCode(TQRBin::Cassette), 14);
  EXPECT_EQ(BinCode(TQRBin::Last), 14);
  EXPECT_EQ(BinCode(TQRBin::Upper), 1);
  EXPECT_EQ(PaperSizeName(TQRPaperSize::Env12), "Envelope #12 4 \\276 x 11");
  EXPECT_EQ(PaperSizeName(TQRPaperSize::Custom), "Custom Size");
  // Halves go to the even integer.
  EXPECT_EQ(Nearest(2.5), 2);
  EXPECT_EQ(Nearest(3.5), 4);
  EXPECT_EQ(Nearest(-2.5), -2);
}

}  // namespace
}  // namespace rpt
