#pragma once
// Synthetic pages for the store tests: valid metafiles whose records say which page
// they are, so a page read back can be told from every other.
#include <string>

#include "framework/Metafile.h"
#include "output/QRPageList.h"

namespace rpt::test {

// A metafile with `rectangles` rectangle records whose coordinates derive from page.
std::string PageBytes(int page, int rectangles = 20);
TMetafile Page(int page, int rectangles = 20);

// A store of count pages in memory (spilling at threshold).
std::unique_ptr<TQRPageList> MakeStore(int count, bool compressed, int32_t threshold = 100000);
// The bytes of a store, as CopyToFile writes them.
std::string StoreBytes(TQRPageList& list);

std::string TempPath(const std::string& name);

// What a shell command prints on its standard output.
std::string Shell(const std::string& command);
std::string ReadFile(const std::string& path);

}  // namespace rpt::test
