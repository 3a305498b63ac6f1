#include "report/QRExportFilters.h"

#include <memory>

#include "output/QRExport.h"
#include "output/QRPageFilters.h"
#include "report/QRTableFilters.h"

namespace rpt {

void RegisterExportFilters() {
  TQRExportFilterLibrary& library = ExportFilters();
  library.AddFilter({[](const std::string& file) { return std::make_unique<TQRPDFFilter>(file); }, "PDF document",
                     "pdf"});
  library.AddFilter({[](const std::string& file) { return std::make_unique<TQRPNGFilter>(file); },
                     "PNG image per page", "png"});
  // The table filters write the texts of detail rows: charts, pictures and barcodes add
  // nothing to them (their ExportItem gives none).
  library.AddFilter({[](const std::string& file) { return std::make_unique<TQRCSVFilter>(file); },
                     "Comma-separated values", "csv"});
  library.AddFilter({[](const std::string& file) { return std::make_unique<TQRXLSXFilter>(file); },
                     "XLSX workbook", "xlsx"});
}

}  // namespace rpt
