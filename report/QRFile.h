#pragma once
// Report files: a header that names the dataset the report reads (none, a table or an
// SQL query of a database alias), then the report's component stream. The document
// window and rpttool read and write them through here.
#include <string>
#include <string_view>

#include "objects/ReportFile.h"

namespace rpt {

class TComponent;
class TDataSet;

// The bytes of a file; "Cannot open file ..." for a missing file or a folder.
std::string ReadReportFileBytes(const std::string& fileName);

// Loads the stream that starts at streamStart into report. A damaged stream's message
// says where it is damaged (the offset in bytes), and an unknown class also names the
// object. Returns the offset just after the report.
size_t LoadReportStream(std::string_view bytes, size_t streamStart, TComponent* report);

// Header and stream of a report, ready to be written.
std::string ReportFileBytes(const TReportFileHeader& header, TComponent* report);

// The header that describes a dataset (kind 0 for none and for other kinds of dataset).
TReportFileHeader DataSetHeader(const TDataSet* dataSet);
// A new, closed table or query as the header describes it, owned by owner; none for
// kind 0 and for kinds this program does not know.
TDataSet* CreateHeaderDataSet(const TReportFileHeader& header, TComponent* owner);

}  // namespace rpt
