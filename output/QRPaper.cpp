#include "output/QRPaper.h"

#include <array>

namespace rpt {

namespace {

constexpr std::array<TPaperDimensions, kPaperSizeCount> kTable = {{
    {0, 0},         {215.9, 279.4}, {215.9, 279.4}, {279.4, 431.8}, {431.8, 279.4}, {215.9, 355.6},
    {139.7, 215.9}, {190.5, 254},   {297, 420},     {210, 297},     {210, 297},     {148, 210},
    {250, 354},     {182, 257},     {215.9, 330.2}, {215, 275},     {254, 355.6},   {279.4, 431.8},
    {215.9, 279.0}, {98.43, 225.4}, {104.8, 241.3}, {114.3, 263.5}, {101.6, 279.4}, {127, 292.1},
    {100, 100},     {100, 100},     {100, 100},     {0, 0},
}};

constexpr std::array<int, kBinCount> kBinCodes = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};

}  // namespace

TPaperDimensions PaperSizeTable(TQRPaperSize size) {
  const auto i = static_cast<size_t>(size);
  return i < kTable.size() ? kTable[i] : TPaperDimensions{0, 0};
}

int PaperCode(TQRPaperSize size) {
  if (size == TQRPaperSize::Custom) return 256;
  return size < TQRPaperSize::Custom ? static_cast<int>(size) : 0;
}

const std::string& PaperSizeName(TQRPaperSize size) {
  static const std::array<std::string, kPaperSizeCount> names = {
      "Default size",
      "Letter 8 1/2 x 11 in",
      "Letter Small 8 1/2 x 11 in",
      "Tabloid 11 x 17 in",
      "Ledger 17 x 11 in",
      "Legal 8 1/2 x 14 in",
      "Statement 5 1/2 x 8 1/2 in",
      "Executive7 1/2 x 10 in",
      "A3 297 x 420 mm",
      "A4 210 x 297 mm",
      "A4 Small 210 x 297 mm",
      "A5 148 x 210 mm",
      "B4 250 x 354 mm",
      "B5 182 x 257 mm",
      "Folio 8 1/2 x 13 in",
      "Quarto 215 x 275 mm",
      "10x14 in",
      "11x17 in",
      "Note 8 1/2 x 11 in",
      "Envelope #9 3 7/8 x 8 7/8",
      "Envelope #10 4 1/8 x 9 1/2",
      "Envelope #11 4 1/2 x 10 3/8",
      "Envelope #12 4 \\276 x 11",
      "Envelope #14 4 \\276 x 11",
      "C size sheet",
      "D size sheet",
      "E size sheet",
      "Custom Size",
  };
  const auto i = static_cast<size_t>(size);
  return names[i < names.size() ? i : 0];
}

int BinCode(TQRBin bin) {
  const auto i = static_cast<size_t>(bin);
  return i < kBinCodes.size() ? kBinCodes[i] : 0;
}

const std::string& BinName(TQRBin bin) {
  static const std::array<std::string, kBinCount> names = {
      "First", "Upper", "Lower", "Middle", "Manual", "Envelope", "EnvManual", "Auto", "Tractor", "SmallFormat",
      "LargeFormat", "LargeCapacity", "Cassette", "Last"};
  const auto i = static_cast<size_t>(bin);
  return names[i < names.size() ? i : 0];
}

}  // namespace rpt
