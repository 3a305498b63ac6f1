#pragma once
// What rpttool render shares between one output (RenderCommand.cpp) and one output per
// burst (BurstRender.cpp).
#include <QDateTime>
#include <cstdint>
#include <string>

#include "report/QRParams.h"
#include "report/QuickRpt.h"

namespace rpttool {

inline constexpr int kExitUsage = 2;
// Some bursts failed and are listed in the index with their errors; the others were written.
inline constexpr int kExitPartial = 3;

// Says what is wrong with the command line on stderr; returns kExitUsage.
int RenderUsageError(const std::string& message);

// The creation date written into PDFs: SOURCE_DATE_EPOCH (seconds, UTC) when set, so
// that the same data give the same bytes; else now.
QDateTime PdfCreated();

struct TBurstOptions {
  std::string File, Output, Database, RowsFile, Title;
  std::string Expression;
  std::string IndexFile;  // empty: index.csv, or index-K-of-N.csv, beside the outputs
  int32_t Shard = 0, Shards = 1;
  int32_t Dpi = 0;
  bool SkipExisting = false;
  bool Progress = false;
  rpt::TQRParamTexts Params;
};

// rpttool render FILE.rpt 'OUT-{KEY}.ext' --burst EXPR: one output per run of records
// with the same value of EXPR, in one walk of the data.
int RenderBursts(const TBurstOptions& options);

}  // namespace rpttool
