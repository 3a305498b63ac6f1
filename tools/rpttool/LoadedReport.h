#pragma once
// A .rpt file loaded into the report classes the way a document window loads it; shared
// by check, resave and render.
#include <string>

#include "objects/ReportFile.h"
#include "report/QuickRpt.h"

namespace rpttool {

struct TLoadedReport {
  rpt::TReportFileHeader Header;
  rpt::TOwnedPtr<rpt::TNotifyQuickRep> Report;
};

// A report without owner named Report that prints when empty; the header's dataset is
// neither made nor bound. A missing file fails with EFOpenError, damaged contents with
// an EReadError whose message starts with the file name.
TLoadedReport LoadReportFile(const std::string& fileName);

}  // namespace rpttool
