// A recorded page from anywhere written as a PDF page, as rpttool render, the preview's
// save and the PDF printer write it: whatever the page holds, the writer ends with a
// sound file or a clear failure, within the time and memory of a page.
#include <QGuiApplication>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

#include "framework/Metafile.h"
#include "framework/MetafilePlayer.h"
#include "output/QRPdfDocument.h"

namespace {
std::string OutputFile() { return "/tmp/fuzz_pdf_page_" + std::to_string(::getpid()) + ".pdf"; }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "fuzz_pdf_page";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);  // fonts need the application
  std::atexit([] { ::unlink(OutputFile().c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  rpt::TPdfDocument document(OutputFile(), QSizeF(210, 297));
  {
    QPainter painter(&document);
    try {
      rpt::PlayMetafile(bytes, painter, QRectF(0, 0, document.Width(), document.Height()));
    } catch (const rpt::EInvalidMetafile&) {
    }
  }
  document.Finish();
  return 0;
}
