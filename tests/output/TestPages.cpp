#include "TestPages.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "framework/Emf.h"

namespace rpt::test {

std::string PageBytes(int page, int rectangles) {
  using namespace emf;
  std::string body;
  TRecordWriter w(body);
  for (int i = 0; i < rectangles; ++i) {
    w.U32(EMR_RECTANGLE), w.U32(24);
    w.I32(page), w.I32(i), w.I32(page * 1000 + i), w.I32(page * 7 + i * 3);
  }
  w.U32(EMR_EOF), w.U32(kEofSize), w.U32(0), w.U32(16), w.U32(kEofSize);
  const uint32_t total = static_cast<uint32_t>(kHeaderSize + body.size());
  return MakeMetafileHeader(794, 1123, 96, {0, 0, 793, 1122}, total, static_cast<uint32_t>(rectangles + 2), 1) + body;
}

TMetafile Page(int page, int rectangles) {
  TMetafile m;
  m.SetData(PageBytes(page, rectangles));
  return m;
}

std::unique_ptr<TQRPageList> MakeStore(int count, bool compressed, int32_t threshold) {
  auto list = std::make_unique<TQRPageList>();
  list->AttachStream(std::make_unique<TQRStream>(threshold));
  list->SetCompressed(compressed);
  for (int i = 1; i <= count; ++i) list->AppendPage(Page(i));
  list->WriteHeader();
  return list;
}

std::string StoreBytes(TQRPageList& list) {
  TMemoryStream out;
  list.PageStream()->CopyTo(out);
  return out.Data();
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("h5_" + name)).string();
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace rpt::test
