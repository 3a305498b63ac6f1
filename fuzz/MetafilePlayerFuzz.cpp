// A recorded page from anywhere played onto a small picture, as the preview, the
// exports and printing play it, and its JPEG bitmaps turned into rows as an EMF file is
// written: refused as a whole or played record by record, a damaged record skipped,
// within the time and memory of a page.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "framework/Metafile.h"
#include "framework/MetafilePlayer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "fuzz_metafile_player";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);  // fonts need the application
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  QImage image(64, 48, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  try {
    rpt::TMetafile page;
    page.SetData(std::string(bytes));
    rpt::PlayMetafile(page, painter, QRectF(0, 0, 64, 48));
    rpt::DecodeJpegBitmaps(page);  // as an EMF file is written
  } catch (const rpt::EInvalidMetafile&) {
  }
  return 0;
}
