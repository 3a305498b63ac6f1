#pragma once
// Export filters: objects made with the name of the file they write. A filter either
// writes the recorded pages of a report printer (a PDF, images), or takes an export
// pass of the report: Start once, Band for every band printed (with the text and typed
// value of each printable on it, left to right), End after the last page. The library
// lists the filters the preview's save dialog and rpttool offer.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "objects/StdTypes.h"
#include "objects/TypeInfo.h"

namespace rpt {

class TCustomQuickRep;
class TQRCustomBand;
class TQRPrintable;
class TQRPrinter;

struct TQRExportItem {
  const TQRPrintable* Control = nullptr;
  double Left = 0, Top = 0, Width = 0, Height = 0;  // page position, native units
  std::string Text;                                  // what printed
  TVariant Value;                                    // the typed value, where there is one
  // The style a Highlights rule gave this print (clNone, false: the element's own).
  TColor FontColor = clNone, BackColor = clNone;
  bool Bold = false, Italic = false;
};

class TQRExportFilter {
 public:
  explicit TQRExportFilter(std::string fileName) : FFileName(std::move(fileName)) {}
  virtual ~TQRExportFilter() = default;
  TQRExportFilter(const TQRExportFilter&) = delete;
  TQRExportFilter& operator=(const TQRExportFilter&) = delete;
  const std::string& FileName() const { return FFileName; }

  // Filters of recorded pages write pages first..last (1-based, inclusive) of a printer
  // whose pages are all generated; the others need an export pass.
  virtual bool WritesPages() const { return false; }
  virtual void WritePages(TQRPrinter& /*printer*/, int32_t /*first*/, int32_t /*last*/) {}

  // The export pass. End follows a pass that ran to its end; a pass that was cancelled
  // or failed calls Abandon instead, which leaves no file behind.
  virtual void Start(TCustomQuickRep& /*report*/) {}
  virtual void Band(const TQRCustomBand& /*band*/, const std::vector<TQRExportItem>& /*items*/) {}
  virtual void End() {}
  virtual void Abandon() {}

 private:
  std::string FFileName;
};

// One choice of the library: what makes a filter for a file name, its description in
// the save dialog ("PDF document") and its extension without the dot ("pdf").
struct TQRExportFilterEntry {
  std::function<std::unique_ptr<TQRExportFilter>(const std::string& fileName)> FilterClass;
  std::string Description;
  std::string Extension;
};

class TQRExportFilterLibrary {
 public:
  const std::vector<TQRExportFilterEntry>& Filters() const { return FFilters; }
  // A filter registered twice for an extension replaces the first.
  void AddFilter(TQRExportFilterEntry entry);
  void RemoveFilter(const std::string& extension);
  // The entry for an extension (any case, with or without the dot), or none.
  const TQRExportFilterEntry* FindByExtension(std::string extension) const;
  // The save dialog's filter string: "Description (*.ext)" entries separated by ";;".
  std::string SaveDialogFilter() const;

 private:
  std::vector<TQRExportFilterEntry> FFilters;
};

// The program's library, made on first use; the filters register themselves at start-up.
TQRExportFilterLibrary& ExportFilters();

}  // namespace rpt
