#pragma once
// String lists: ordered lines of text, streamed as the custom property "Strings".
#include <string>
#include <string_view>
#include <vector>

#include "objects/ClassBuilder.h"

namespace rpt {

class TStrings : public TPersistent {
  RPT_CLASS(TStrings, TPersistent)

  TStrings() = default;

  int Count() const { return static_cast<int>(FLines.size()); }
  const std::string& Strings(int index) const;  // "List index out of bounds (%d)"
  void SetStrings(int index, const std::string& line);
  const std::vector<std::string>& Lines() const { return FLines; }
  int Add(const std::string& line);
  void Insert(int index, const std::string& line);
  void Delete(int index);
  void Clear();
  int IndexOf(std::string_view line) const;  // case-insensitive, -1 when absent
  // The lines joined by line breaks; setting splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(std::string_view text);
  void AssignFrom(const TPersistent* source) override;
  bool operator==(const TStrings& other) const { return FLines == other.FLines; }

  // Change announcements, bracketed so a bulk change announces once.
  TEvent<void(TObject*)> OnChange;
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();

  void DefineProperties(TFiler& filer) override;

 protected:
  virtual void Changed();

 private:
  std::vector<std::string> FLines;
  int FUpdateCount = 0;
};

// The concrete list; kept as a separate class so stored files name it as they expect.
class TStringList : public TStrings {
  RPT_CLASS(TStringList, TStrings)
  TStringList() = default;
};

}  // namespace rpt
