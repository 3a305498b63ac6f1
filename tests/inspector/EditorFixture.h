#pragma once
// A report with bands and elements under the property editors, and the ways a test
// reaches the editors: the rows common to some objects, a row by caption, a sub-row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "inspector/PropEditors.h"
#include "report/QRCtrls.h"

namespace rpt::test {

// Alphabetical, ignoring letter case (the order of sorted rows and lists).
inline bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <class T>
  T* Add(const std::string& name, TWinControl* parent) {
    T* c = TComponent::Create<T>(Report);
    c->SetName(name);
    c->SetParent(parent);
    return c;
  }
  // The rows of the objects as the inspector builds them (sorted by name), with this
  // test's callbacks (component lookup in the report, counted writes) installed.
  TPropEditorList Rows(const std::vector<TPersistent*>& objects);
  // The row of that caption, or null.
  static TZQKPropEditor* Row(const TPropEditorList& rows, const std::string& caption);
  // Sub-rows of a row, with the same callbacks.
  TPropEditorList SubRows(TZQKPropEditor* row);
  TZQKPropEditorCallbacks Callbacks();

  TQuickRep* Report = nullptr;
  TQRBand* Detail = nullptr;
  TZQKEditorChoice Choice;
  // Components a DataSet row can name, besides the report's own.
  std::vector<TComponent*> Extra;
  // What the write hook saw, and how often editors said they wrote.
  std::vector<std::string> WriteCaptions;
  std::vector<std::vector<TComponent*>> WriteComponents;
  int Modified = 0;
};

}  // namespace rpt::test
