#pragma once
// Recorded-report files opened from the command line, a file manager or File > Open:
// they are generated pages, not reports, so they open straight in a preview window.
#include <string>

namespace rpt {

// Known by the first bytes every recorded file starts with, whatever its name.
bool IsRecordedReportFile(const std::string& fileName);
// A preview window of the file's pages; a damaged file raises its error before any
// window shows.
void OpenRecordedReport(const std::string& fileName);

}  // namespace rpt
