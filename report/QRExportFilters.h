#pragma once
// The program's export filters, entered into the library in the order the save dialogs
// offer them: PDF, PNG, CSV, XLSX.
namespace rpt {

void RegisterExportFilters();

}  // namespace rpt
