#pragma once
// The render path shared by `rpttool render` and the public library (internal: Qt
// and the report classes show here). A .rpt file is loaded as a document window loads
// it, bound to its data, and generated into a recorded-report file (.qrp) or through
// the export filter of the output's extension (.pdf, .png, .csv, .xlsx). The output
// appears under its name only once complete; a failure or a cancelled pass leaves none.
#include <QDateTime>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "objects/Exceptions.h"
#include "objects/ReportFile.h"
#include "output/QRPrinter.h"
#include "report/QuickRpt.h"

namespace rpt {

class TDataSet;

// A pass stopped by its progress callback: nothing was written.
class EQRRenderCancelled : public EQRError {
  using EQRError::EQRError;
};

struct TLoadedReport {
  TReportFileHeader Header;
  TOwnedPtr<TNotifyQuickRep> Report;
};

// A report without owner named Report that prints when empty; the header's dataset is
// neither made nor bound. A missing file fails with EFOpenError, damaged contents with
// an EReadError whose message starts with the name.
TLoadedReport LoadReportFile(const std::string& fileName);
TLoadedReport LoadReportBytes(const std::string& bytes, const std::string& name);

struct TRowSet;
// The dataset a render reads (owned by the caller, unopened): over the rows when there
// are some, else the one the file's header names (none when it names none).
TDataSet* MakeRenderDataSet(const TLoadedReport& loaded, std::shared_ptr<const TRowSet> rows);

// Binds the report to a dataset the way a document window does: it becomes the
// report's dataset and that of every data field the file leaves unbound. A database
// given first (an alias, or a connection string: TSession::DefineConnection) replaces
// that of the dataset and of every dataset the report owns (a sub-detail's query).
// The dataset is opened.
bool IsConnectionString(const std::string& database);
void BindReportData(TQuickRep& report, TDataSet* dataSet, const std::string& database);

// Every value given must be for a parameter the report declares or a ":NAME" its SQL
// uses; a misspelt name would otherwise be dropped silently. EQRError naming it.
void CheckParamNames(const TQuickRep& report, const TQRParamTexts& texts);

// Whether a file name is a recorded report's (.qrp, any case).
bool IsRecordingName(const std::string& fileName);

struct TRenderRequest {
  std::string Output;      // the file; its extension chooses the format
  std::string SourceName;  // the report's file or name, for messages and the default title
  int32_t From = 0, To = 0;  // pages kept (0: first, last); not for .csv and .xlsx
  int Dpi = 0;               // .png; 0: the filter's default
  std::string Title;         // .pdf; default: the report's title, else SourceName
  QDateTime Created;         // .pdf; invalid: now
  // At the end of every page (on the thread that generates, which may be the report's
  // own): the pages done and the detail prints so far. Return false to stop the pass.
  std::function<bool(int32_t page, int64_t records)> OnPage;
};

struct TRenderResult {
  int32_t First = 0, Last = 0, Total = 0;  // pages written and printed (page formats)
  int64_t Rows = 0;                         // detail rows (.csv, .xlsx)
  bool Exported = false;                    // rows were exported, not pages
  std::vector<std::string> Warnings;        // what the pass could not print as designed
};

// EQRError for an output name of no known format or options that do not fit it;
// RenderReport checks this first too.
void CheckRenderRequest(const TRenderRequest& request);

// Generates a bound report into request.Output. The pages are laid out for the
// built-in PDF printer whatever printer the file names. EQRError for an output name
// of no known format or options that do not fit it, the pass's own errors, and
// EQRRenderCancelled when OnPage stopped it.
TRenderResult RenderReport(TQuickRep& report, const TRenderRequest& request);

}  // namespace rpt
