#pragma once
// Export filters that turn a report into a table through its export pass: one row per
// printed detail band (the printables' texts from left to right; charts, pictures and
// barcodes print no text and add nothing), headed by the texts of
// the first column header band printed, when the report has one. CSV writes the printed
// texts; the workbook writes typed cells: numbers, dates and truth values as such, the
// rest as text. Both write under a temporary name that takes the file's own name only at
// the end of a pass that ran through; a cancelled or failed pass leaves no file.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "output/QRExport.h"

namespace rpt {

class TPendingFile;

class TQRTableFilter : public TQRExportFilter {
 public:
  explicit TQRTableFilter(std::string fileName);
  ~TQRTableFilter() override;

  void Start(TCustomQuickRep& report) override;
  void Band(const TQRCustomBand& band, const std::vector<TQRExportItem>& items) override;
  void End() override;
  void Abandon() override;

  // Detail rows written by the pass, the header line not counted.
  int64_t RowCount() const { return FRowCount; }

 protected:
  // The file under its temporary name; Close must report a write that failed.
  virtual void Open(const std::string& tempName) = 0;
  virtual void WriteRow(const std::vector<TQRExportItem>& items, bool header) = 0;
  virtual void Close() = 0;
  // Frees what an open file holds after a failure, without reporting anything.
  virtual void Drop() = 0;

 private:
  std::unique_ptr<TPendingFile> FPending;
  bool FHeaderSeen = false;
  int64_t FRowCount = 0;
};

// Comma-separated values as RFC 4180 has them: UTF-8 without a byte-order mark, lines
// ended by CR LF, a field in double quotes (its quotes doubled) when it holds a comma,
// a quote or a line break.
class TQRCSVFilter : public TQRTableFilter {
 public:
  using TQRTableFilter::TQRTableFilter;
  ~TQRCSVFilter() override;
  // One field as it is written.
  static std::string Field(const std::string& text);

 protected:
  void Open(const std::string& tempName) override;
  void WriteRow(const std::vector<TQRExportItem>& items, bool header) override;
  void Close() override;
  void Drop() override;

 private:
  void Flush();
  int FFile = -1;
  std::string FBuffer;
};

// An .xlsx workbook with one sheet. Numbers get the number format of the control's
// mask where it has one, dates the format yyyy-mm-dd (with the time when they have
// one); the header row is bold.
class TQRXLSXFilter : public TQRTableFilter {
 public:
  explicit TQRXLSXFilter(std::string fileName);
  ~TQRXLSXFilter() override;
  // The spreadsheet number format of a report mask ("" for none): quoted literals of
  // the mask become double-quoted ones.
  static std::string NumberFormat(const std::string& mask);
  static constexpr int64_t kMaxRows = 1048576;

 protected:
  void Open(const std::string& tempName) override;
  void WriteRow(const std::vector<TQRExportItem>& items, bool header) override;
  void Close() override;
  void Drop() override;

 private:
  struct TWorkbook;
  std::unique_ptr<TWorkbook> FBook;
};

}  // namespace rpt
