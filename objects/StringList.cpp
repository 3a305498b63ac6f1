#include "objects/StringList.h"

#include "objects/CodePage.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

RPT_BEGIN_CLASS(TStrings, TPersistent)
RPT_END_CLASS

RPT_BEGIN_CLASS(TStringList, TStrings)
RPT_END_CLASS

const std::string& TStrings::Strings(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return FLines[static_cast<size_t>(index)];
}

void TStrings::SetStrings(int index, const std::string& line) {
  Strings(index);
  FLines[static_cast<size_t>(index)] = line;
  Changed();
}

int TStrings::Add(const std::string& line) {
  FLines.push_back(line);
  Changed();
  return Count() - 1;
}

void TStrings::Insert(int index, const std::string& line) {
  if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
  FLines.insert(FLines.begin() + index, line);
  Changed();
}

void TStrings::Delete(int index) {
  Strings(index);
  FLines.erase(FLines.begin() + index);
  Changed();
}

void TStrings::Clear() {
  if (FLines.empty()) return;
  FLines.clear();
  Changed();
}

int TStrings::IndexOf(std::string_view line) const {
  for (size_t i = 0; i < FLines.size(); ++i)
    if (SameText(FLines[i], line)) return static_cast<int>(i);
  return -1;
}

std::string TStrings::Text() const {
  std::string text;
  for (const auto& line : FLines) {
    text += line;
    text += '\n';
  }
  return text;
}

void TStrings::SetText(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  FLines = std::move(lines);
  Changed();
}

void TStrings::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TStrings*>(source);
  if (!other) {
    TPersistent::AssignFrom(source);
    return;
  }
  if (other == this) return;
  FLines = other->FLines;
  Changed();
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TStrings::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TStrings::DefineProperties(TFiler& filer) {
  filer.DefineCustomProperty(
      "Strings",
      [this](TReader& r) {
        std::vector<std::string> lines;
        r.ReadListBegin();
        while (!r.EndOfList()) lines.push_back(r.ReadString());
        r.ReadListEnd();
        FLines = std::move(lines);
        Changed();
      },
      [this](TWriter& w) {
        w.WriteListBegin();
        for (const auto& line : FLines) w.WriteListString(line);
        w.WriteListEnd();
      },
      !FLines.empty());
}

}  // namespace rpt
