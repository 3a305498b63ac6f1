#include "report/QRTableFilters.h"

#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "report/QRDataCtrls.h"
#include "report/QuickRpt.h"

namespace rpt {

// ---------------------------------------------------------------------------
// The rows of a pass

TQRTableFilter::TQRTableFilter(std::string fileName) : TQRExportFilter(std::move(fileName)) {}

TQRTableFilter::~TQRTableFilter() = default;

void TQRTableFilter::Start(TCustomQuickRep&) {
  Abandon();
  FHeaderSeen = false;
  FRowCount = 0;
  FPending = std::make_unique<TPendingFile>(FileName());
  try {
    Open(FPending->TempName());
  } catch (...) {
    Abandon();
    throw;
  }
}

void TQRTableFilter::Band(const TQRCustomBand& band, const std::vector<TQRExportItem>& items) {
  if (!FPending) return;
  const TQRBandType type = band.BandType();
  // The column header repeats on every page; the table takes it once, before its rows.
  if (type == rbColumnHeader && !FHeaderSeen && FRowCount == 0) {
    FHeaderSeen = true;
    WriteRow(items, true);
  } else if (type == rbDetail) {
    WriteRow(items, false);
    ++FRowCount;
  }
}

void TQRTableFilter::End() {
  if (!FPending) return;
  try {
    Close();
    FPending->Commit();
  } catch (...) {
    Abandon();
    throw;
  }
  FPending.reset();
}

void TQRTableFilter::Abandon() {
  if (!FPending) return;
  Drop();
  FPending.reset();
}

// ---------------------------------------------------------------------------
// CSV

namespace {
constexpr size_t kCsvBufferSize = 1 << 16;
}

TQRCSVFilter::~TQRCSVFilter() { Drop(); }

std::string TQRCSVFilter::Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void TQRCSVFilter::Open(const std::string& tempName) {
  FFile = ::open(tempName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (FFile < 0) throw EFCreateError(Format("Cannot create file \"%s\". %s", FileName(), std::strerror(errno)));
  FBuffer.clear();
}

void TQRCSVFilter::WriteRow(const std::vector<TQRExportItem>& items, bool) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) FBuffer += ',';
    FBuffer += Field(items[i].Text);
  }
  FBuffer += "\r\n";
  if (FBuffer.size() >= kCsvBufferSize) Flush();
}

void TQRCSVFilter::Flush() {
  for (size_t done = 0; done < FBuffer.size();) {
    const ssize_t n = ::write(FFile, FBuffer.data() + done, FBuffer.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EWriteError(Format("Cannot write file \"%s\". %s", FileName(), std::strerror(errno)));
    }
    done += static_cast<size_t>(n);
  }
  FBuffer.clear();
}

void TQRCSVFilter::Close() {
  Flush();
  const int fd = FFile;
  FFile = -1;
  if (::close(fd) != 0) throw EWriteError(Format("Cannot write file \"%s\". %s", FileName(), std::strerror(errno)));
}

void TQRCSVFilter::Drop() {
  if (FFile >= 0) ::close(FFile);
  FFile = -1;
  FBuffer.clear();
}

// ---------------------------------------------------------------------------
// Workbook

namespace {

// Serial day numbers of the spreadsheet and of our date values count from the same day
// (30 December 1899), but the spreadsheet's days before 1 March 1900 are off by its
// phantom 29 February: those dates, and those before the first day, go as text.
constexpr double kFirstSerialDate = 61;
constexpr size_t kMaxCellText = 32767;

// A column as wide as the element it comes from: native units (0.1 mm) to the sheet's
// widths in characters of its default font (about 1.9 mm each), at least the default.
double ColumnWidth(double nativeWidth) { return std::max(8.43, std::round(nativeWidth / 19.0 * 100) / 100); }

std::string CellError(const std::string& fileName, lxw_error error) {
  return Format("Cannot write file \"%s\". %s", fileName, lxw_strerror(error));
}

}  // namespace

struct TQRXLSXFilter::TWorkbook {
  lxw_workbook* Book = nullptr;
  lxw_worksheet* Sheet = nullptr;
  // Cell formats by number format and style, made once each.
  std::map<std::string, lxw_format*> Formats;
  uint32_t Row = 0;
  bool ColumnsSet = false;

  // The format of a cell: a number format ("" for none), bold for the header row, and
  // the style a Highlights rule gave the print; none when all are the defaults.
  lxw_format* CellFormat(const std::string& number, bool bold, const TQRExportItem* item) {
    bold = bold || (item && item->Bold);
    const bool italic = item && item->Italic;
    const TColor font = item ? item->FontColor : clNone, back = item ? item->BackColor : clNone;
    if (number.empty() && !bold && !italic && font == clNone && back == clNone) return nullptr;
    const std::string key = number + '\n' + char('0' + bold) + char('0' + italic) + std::to_string(font) + ',' +
                            std::to_string(back);
    lxw_format*& format = Formats[key];
    if (format) return format;
    format = workbook_add_format(Book);
    if (!format) return nullptr;
    if (!number.empty()) format_set_num_format(format, number.c_str());
    if (bold) format_set_bold(format);
    if (italic) format_set_italic(format);
    if (font != clNone) format_set_font_color(format, Rgb(font));
    if (back != clNone) {
      format_set_pattern(format, LXW_PATTERN_SOLID);
      format_set_bg_color(format, Rgb(back));
    }
    return format;
  }
  // 0xRRGGBB of a colour (system colours as this desktop shows them).
  static lxw_color_t Rgb(TColor color) {
    const auto c = static_cast<uint32_t>(ColorToRGB(color));
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
};

TQRXLSXFilter::TQRXLSXFilter(std::string fileName) : TQRTableFilter(std::move(fileName)) {}

TQRXLSXFilter::~TQRXLSXFilter() { Drop(); }

std::string TQRXLSXFilter::NumberFormat(const std::string& mask) {
  std::string format;
  bool literal = false;
  for (char c : mask) {
    if (c == '\'') {
      literal = !literal;
      format += '"';
    } else if (literal && c == '"') {
      format += "\\\"";
    } else {
      format += c;
    }
  }
  if (literal) format += '"';
  return format;
}

void TQRXLSXFilter::Open(const std::string& tempName) {
  auto book = std::make_unique<TWorkbook>();
  lxw_workbook_options options{};
  // Rows go to disk as they are written, so a long report needs no more memory.
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = LXW_TRUE;
  book->Book = workbook_new_opt(tempName.c_str(), &options);
  if (!book->Book) throw EFCreateError(Format("Cannot create file \"%s\"", FileName()));
  FBook = std::move(book);
  FBook->Sheet = workbook_add_worksheet(FBook->Book, nullptr);
  if (!FBook->Sheet) throw EFCreateError(Format("Cannot create file \"%s\"", FileName()));
}

void TQRXLSXFilter::WriteRow(const std::vector<TQRExportItem>& items, bool header) {
  TWorkbook& book = *FBook;
  if (book.Row >= kMaxRows)
    throw EWriteError(Format("Cannot write file \"%s\". A sheet holds at most %d rows", FileName(), kMaxRows));
  if (!header && !book.ColumnsSet) {
    book.ColumnsSet = true;
    for (size_t i = 0; i < items.size() && i < LXW_COL_MAX; ++i) {
      const auto col = static_cast<lxw_col_t>(i);
      worksheet_set_column(book.Sheet, col, col, ColumnWidth(items[i].Width), nullptr);
    }
  }
  for (size_t i = 0; i < items.size() && i < LXW_COL_MAX; ++i) {
    const TQRExportItem& item = items[i];
    const auto col = static_cast<lxw_col_t>(i);
    const TVariant& v = item.Value;
    std::string mask;
    if (const auto* field = dynamic_cast<const TQRDBText*>(item.Control)) mask = field->Mask();
    else if (const auto* expr = dynamic_cast<const TQRExpr*>(item.Control)) mask = expr->Mask();
    const TQRExportItem* styled = header ? nullptr : &item;
    lxw_format* numberFormat = book.CellFormat(mask.empty() ? "" : NumberFormat(mask), false, styled);
    lxw_format* plain = book.CellFormat("", header, styled);
    lxw_error error = LXW_NO_ERROR;
    switch (header ? TVariant::varString : v.Type) {
      case TVariant::varEmpty:
      case TVariant::varNull:
        break;
      case TVariant::varShortInt:
      case TVariant::varSmallint:
      case TVariant::varInteger:
      case TVariant::varByte:
      case TVariant::varWord:
      case TVariant::varLongWord:
      case TVariant::varInt64:
        error = worksheet_write_number(book.Sheet, book.Row, col, static_cast<double>(v.Int), numberFormat);
        break;
      case TVariant::varSingle:
      case TVariant::varDouble:
        if (std::isfinite(v.Float))
          error = worksheet_write_number(book.Sheet, book.Row, col, v.Float, numberFormat);
        else
          error = worksheet_write_string(book.Sheet, book.Row, col, item.Text.c_str(), plain);
        break;
      case TVariant::varCurrency:
        error = worksheet_write_number(book.Sheet, book.Row, col, static_cast<double>(v.Int) / 10000.0, numberFormat);
        break;
      case TVariant::varDate:
        if (std::isfinite(v.Float) && v.Float >= kFirstSerialDate)
          error = worksheet_write_number(
              book.Sheet, book.Row, col, v.Float,
              book.CellFormat(v.Float == std::floor(v.Float) ? "yyyy-mm-dd" : "yyyy-mm-dd hh:mm:ss", false, styled));
        else
          error = worksheet_write_string(book.Sheet, book.Row, col, item.Text.c_str(), plain);
        break;
      case TVariant::varBoolean:
        error = worksheet_write_boolean(book.Sheet, book.Row, col, v.Int != 0, plain);
        break;
      default: {
        const std::string& text = header ? item.Text : (v.Type == TVariant::varString || v.Type == TVariant::varOleStr)
                                                           ? v.Text
                                                           : item.Text;
        if (text.empty()) break;
        // A cell holds at most 32767 characters; longer texts are cut at a character.
        std::string cell = text.substr(0, kMaxCellText);
        while (cell.size() > 0 && cell.size() < text.size() && (static_cast<unsigned char>(text[cell.size()]) & 0xC0) == 0x80)
          cell.pop_back();
        error = worksheet_write_string(book.Sheet, book.Row, col, cell.c_str(), plain);
        break;
      }
    }
    if (error != LXW_NO_ERROR) throw EWriteError(CellError(FileName(), error));
  }
  ++book.Row;
}

void TQRXLSXFilter::Close() {
  lxw_workbook* workbook = FBook->Book;
  FBook.reset();
  const lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) throw EWriteError(CellError(FileName(), error));
}

void TQRXLSXFilter::Drop() {
  if (!FBook) return;
  lxw_workbook_free(FBook->Book);
  FBook.reset();
}

}  // namespace rpt
