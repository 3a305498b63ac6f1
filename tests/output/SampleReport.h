#pragma once
// A typical text-heavy report page (a heading, 60 detail lines, rules and a footer),
// recorded as a metafile, for the tool tests and the sample files.
#include "framework/Metafile.h"

namespace rpt::test {

TMetafile SampleReportPage(int page, int pages);

}  // namespace rpt::test
