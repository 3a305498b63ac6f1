// The library of export filters: one entry per extension, found in any case with or
// without the dot, and the save dialog's filter string in registration order.
#include <gtest/gtest.h>

#include "output/QRExport.h"

namespace rpt {
namespace {

class NamedFilter : public TQRExportFilter {
 public:
  NamedFilter(std::string fileName, std::string kind) : TQRExportFilter(std::move(fileName)), Kind(std::move(kind)) {}
  std::string Kind;
};

TQRExportFilterEntry Entry(const std::string& kind, const std::string& description, const std::string& extension) {
  return {[kind](const std::string& file) { return std::make_unique<NamedFilter>(file, kind); }, description,
          extension};
}

TEST(ExportLibrary, EntriesAreFoundByExtensionAndListedForTheSaveDialog) {
  TQRExportFilterLibrary library;
  EXPECT_EQ(library.SaveDialogFilter(), "");
  EXPECT_EQ(library.FindByExtension("pdf"), nullptr);
  library.AddFilter(Entry("first", "PDF document", ".PDF"));
  library.AddFilter(Entry("csv", "Comma-separated values", "csv"));
  EXPECT_EQ(library.SaveDialogFilter(), "PDF document (*.pdf);;Comma-separated values (*.csv)");

  // A second filter for an extension replaces the first, at the end of the list.
  library.AddFilter(Entry("second", "PDF file", "pdf"));
  ASSERT_EQ(library.Filters().size(), 2u);
  const TQRExportFilterEntry* pdf = library.FindByExtension(".Pdf");
  ASSERT_NE(pdf, nullptr);
  const std::unique_ptr<TQRExportFilter> filter = pdf->FilterClass("out.pdf");
  EXPECT_EQ(static_cast<NamedFilter&>(*filter).Kind, "second");
  EXPECT_EQ(filter->FileName(), "out.pdf");
  EXPECT_EQ(library.SaveDialogFilter(), "Comma-separated values (*.csv);;PDF file (*.pdf)");

  library.RemoveFilter("CSV");
  EXPECT_EQ(library.FindByExtension("csv"), nullptr);
  EXPECT_EQ(library.Filters().size(), 1u);
}

}  // namespace
}  // namespace rpt
