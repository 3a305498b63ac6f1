#include "output/QRExport.h"

#include <algorithm>
#include <cctype>

namespace rpt {

namespace {
std::string LowerExtension(std::string extension) {
  if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}
}  // namespace

void TQRExportFilterLibrary::AddFilter(TQRExportFilterEntry entry) {
  entry.Extension = LowerExtension(entry.Extension);
  RemoveFilter(entry.Extension);
  FFilters.push_back(std::move(entry));
}

void TQRExportFilterLibrary::RemoveFilter(const std::string& extension) {
  const std::string key = LowerExtension(extension);
  std::erase_if(FFilters, [&key](const TQRExportFilterEntry& e) { return e.Extension == key; });
}

const TQRExportFilterEntry* TQRExportFilterLibrary::FindByExtension(std::string extension) const {
  const std::string key = LowerExtension(std::move(extension));
  for (const TQRExportFilterEntry& e : FFilters)
    if (e.Extension == key) return &e;
  return nullptr;
}

std::string TQRExportFilterLibrary::SaveDialogFilter() const {
  std::string filter;
  for (const TQRExportFilterEntry& e : FFilters) {
    if (!filter.empty()) filter += ";;";
    filter += e.Description + " (*." + e.Extension + ")";
  }
  return filter;
}

TQRExportFilterLibrary& ExportFilters() {
  static TQRExportFilterLibrary library;
  return library;
}

}  // namespace rpt
