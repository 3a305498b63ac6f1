// rpttool qrp-print and printers: recorded reports to a printer, and the printer list.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "tools/rpttool/Output.h"
#include "objects/Exceptions.h"
#include "objects/Format.h"
#include "output/QRPrinter.h"

namespace rpttool {

namespace {

using rpt::Format;

constexpr int kExitUsage = 2;

int Usage(const std::string& message) {
  std::fprintf(stderr, "rpttool: %s\nTry 'rpttool --help' for the list of commands.\n", message.c_str());
  return kExitUsage;
}

bool ParseCount(const std::string& text, int32_t& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || !end || *end || v < 1 || v > 1000000) return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace

int QrpPrint(std::span<const std::string> args) {
  const std::string usage = "usage: rpttool qrp-print FILE [--printer NAME] [--from N] [--to M] [--copies K] "
                            "[--output OUT.pdf]";
  std::string file, printerName, output;
  int32_t from = 0, to = 0, copies = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      if (i + 1 == args.size()) return Usage(a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--printer") printerName = v;
      else if (a == "--output") output = v;
      else if (a == "--from") {
        if (!ParseCount(v, from)) return Usage("--from takes a page number from 1");
      } else if (a == "--to") {
        if (!ParseCount(v, to)) return Usage("--to takes a page number from 1");
      } else if (a == "--copies") {
        if (!ParseCount(v, copies)) return Usage("--copies takes a number from 1");
      } else {
        return Usage("unknown option '" + a + "'");
      }
    } else if (file.empty()) {
      file = a;
    } else {
      return Usage(usage);
    }
  }
  if (file.empty()) return Usage(usage);
  if (from && to && from > to) return Usage("--from is after --to");

  const auto app = GuiApplication();
  rpt::TQRPrinter printer;
  const auto& printers = printer.Printer().Printers();
  int index = -1;
  for (size_t i = 0; i < printers.size(); ++i) {
    if (!printerName.empty() ? printers[i].Name == printerName : (!output.empty() && printers[i].BuiltInPdf))
      index = static_cast<int>(i);
  }
  if (!printerName.empty() && index < 0) throw rpt::Exception(Format("No printer named \"%s\"", printerName));
  if (index >= 0) printer.SetPrinterNumber(index);
  const rpt::TPrinterDevice& device = printer.Printer().Device();
  if (device.BuiltInPdf) {
    if (output.empty()) return Usage("the PDF printer needs --output OUT.pdf");
    printer.Printer().SetOutputFileName(output);
  } else if (!output.empty()) {
    return Usage("--output is for the PDF printer only");
  }

  printer.LoadRecording(file);
  if (copies) printer.SetCopies(copies);
  printer.FirstPage = from;
  printer.LastPage = to;
  printer.Title = file;
  if (from > printer.TotalPages())
    throw rpt::Exception(Format("The file has %d pages; --from %d prints nothing", printer.TotalPages(), from));
  printer.PrintRecording();
  const int32_t last = to ? std::min(to, printer.TotalPages()) : printer.TotalPages();
  Print(Format("printed pages %d to %d of %d on %s (%s%s)%s\n", from ? from : 1, last, printer.TotalPages(),
               device.Name, rpt::PaperSizeName(printer.PaperSize()),
               printer.Orientation() == rpt::poLandscape ? ", landscape" : "",
               device.BuiltInPdf ? " into " + output : ""));
  return 0;
}

int Printers(std::span<const std::string>) {
  const auto app = GuiApplication();
  rpt::TPrinter system;
  std::string text;
  for (size_t i = 0; i < system.Printers().size(); ++i) {
    const rpt::TPrinterDevice& d = system.Printers()[i];
    const int32_t code = d.Defaults.PaperSize;
    std::string paper = "custom";
    for (int s = 1; s < rpt::kPaperSizeCount; ++s)
      if (rpt::PaperCode(static_cast<rpt::TQRPaperSize>(s)) == code)
        paper = rpt::PaperSizeName(static_cast<rpt::TQRPaperSize>(s));
    text += Format("%s%s\n  driver: %s, %dx%d dpi, unprintable %dx%d dots, paper: %s\n", d.Name,
                   static_cast<int>(i) == system.PrinterIndex() ? " (default)" : "", d.Driver, d.DpiX, d.DpiY,
                   d.OffsetX, d.OffsetY, paper);
    text += "  papers:";
    for (int32_t c : d.PaperCodes)
      if (c >= 1 && c <= 26) text += " " + rpt::PaperSizeName(static_cast<rpt::TQRPaperSize>(c)) + ";";
    text += "\n  bins:";
    for (int32_t c : d.BinCodes)
      for (int b = 0; b < rpt::kBinCount; ++b)
        if (rpt::BinCode(static_cast<rpt::TQRBin>(b)) == c) {
          text += " " + rpt::BinName(static_cast<rpt::TQRBin>(b));
          break;
        }
    if (d.BinCodes.empty()) text += " (none)";
    text += "\n";
  }
  Print(text);
  return 0;
}

}  // namespace rpttool
