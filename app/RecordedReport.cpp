#include "app/RecordedReport.h"

#include <cstring>
#include <fstream>
#include <memory>

#include "output/QRPageList.h"
#include "output/QRPrev.h"
#include "output/QRPrinter.h"

namespace rpt {

bool IsRecordedReportFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  unsigned char lead[4] = {};
  if (!in.read(reinterpret_cast<char*>(lead), sizeof lead)) return false;
  const unsigned char expected[4] = {TQRPageList::kLayoutVersion & 0xFF, TQRPageList::kLayoutVersion >> 8,
                                     TQRPageList::kWriterVersion & 0xFF, TQRPageList::kWriterVersion >> 8};
  return std::memcmp(lead, expected, sizeof lead) == 0;
}

void OpenRecordedReport(const std::string& fileName) {
  auto printer = std::make_unique<TQRPrinter>();
  printer->LoadRecording(fileName);
  TQRPrinter* shown = printer.release();
  auto* window = new TQRStandardPreview(nullptr, shown);
  // The window detaches the printer before it reports the close; the printer is ours.
  window->OnClosed = [shown] { delete shown; };
  window->ShowPreview();
}

}  // namespace rpt
