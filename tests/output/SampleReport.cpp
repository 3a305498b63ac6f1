#include "SampleReport.h"

#include <cstdio>

#include "framework/MetafileCanvas.h"

namespace rpt::test {

TMetafile SampleReportPage(int page, int pages) {
  TMetafile metafile(794, 1123);  // A4 at 96 dpi
  TMetafileCanvas canvas(metafile);
  TFont heading;
  heading.SetName("Arial");
  heading.SetSize(14);
  heading.SetStyle({fsBold});
  TFont body;
  body.SetName("Arial");
  body.SetSize(9);
  canvas.Brush()->SetStyle(bsClear);
  canvas.SetFont(&heading);
  canvas.TextOut(60, 40, "Quarterly Sales Report");
  canvas.Pen()->SetWidth(2);
  canvas.MoveTo(60, 70);
  canvas.LineTo(734, 70);
  canvas.Pen()->SetWidth(1);
  canvas.SetFont(&body);
  char line[160];
  for (int i = 0; i < 60; ++i) {
    const int order = 10000 + (page - 1) * 60 + i;
    const int y = 80 + i * 16;
    std::snprintf(line, sizeof line, "Order %d", order);
    canvas.TextOut(60, y, line);
    std::snprintf(line, sizeof line, "Customer %03d Northwind Traders", (order * 7) % 500);
    canvas.TextOut(160, y, line);
    std::snprintf(line, sizeof line, "%d.%02d", (order * 37) % 9000, order % 100);
    canvas.TextOut(734 - canvas.TextWidth(line), y, line);
    if (i % 5 == 4) {
      canvas.MoveTo(60, y + 15);
      canvas.LineTo(734, y + 15);
    }
  }
  canvas.Brush()->SetColor(static_cast<TColor>(0xEEEEEE));
  canvas.FillRect({60, 1060, 734, 1090});
  canvas.Brush()->SetStyle(bsClear);
  std::snprintf(line, sizeof line, "Page %d of %d", page, pages);
  canvas.TextOut(360, 1066, line);
  canvas.Close();
  return metafile;
}

}  // namespace rpt::test
