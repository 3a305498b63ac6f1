#pragma once
// A .rpt file loaded into the report classes the way a document window loads it; shared
// by check, resave and render, and with the library (api/RenderReport.h).
#include "api/RenderReport.h"

namespace rpttool {

using rpt::LoadReportFile;
using rpt::TLoadedReport;

}  // namespace rpttool
