#include <gtest/gtest.h>

#include "framework/Graphics.h"
#include "objects/Filer.h"
#include "objects/Persistent.h"

namespace rpt {
namespace {

TEST(Font, SizeAndHeightFollowEachOtherAtScreenResolution) {
  TFont f;
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Size(), 8);
  f.SetSize(10);
  EXPECT_EQ(f.Height(), -13);
  EXPECT_EQ(f.Size(), 10);
  f.SetHeight(16);  // a cell height reads as a negative size
  EXPECT_EQ(f.Size(), -12);
}

TEST(Font, PublishesItsPropertiesInOrderWithTheirStoredRules) {
  TFont f;
  std::vector<std::string> names;
  for (const TPropertyInfo* p : GetPropList(&f)) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Charset", "Color", "Height", "Name", "Pitch", "Size", "Style"}));
  const TPropertyInfo* size = GetPropInfo(&f, "Size");
  ASSERT_NE(size, nullptr);
  EXPECT_FALSE(IsStoredProp(&f, *size));
  const TPropertyInfo* name = GetPropInfo(&f, "Name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->PropType->Name, "TFontName");
  EXPECT_EQ(name->Kind(), propString);
  const TPropertyInfo* style = GetPropInfo(&f, "Style");
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->Kind(), propSet);
  // No default: an empty style is still written.
  EXPECT_EQ(style->Default, NoDefault);
  SetOrdProp(&f, *style, TFontStyles{fsBold, fsUnderline}.Mask());
  EXPECT_TRUE(f.Style().Contains(fsBold));
  EXPECT_TRUE(f.Style().Contains(fsUnderline));
  EXPECT_FALSE(f.Style().Contains(fsItalic));
}

TEST(Font, ChangesAreAnnouncedOnceAndAssignCopiesEverything) {
  TFont a, b;
  int changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  a.SetName("Arial");
  a.SetSize(14);
  a.SetStyle({fsItalic});
  a.SetColor(clRed);
  b.AssignFrom(&a);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(b.SameAs(a));
  b.SetName("Arial");  // same value: no event
  EXPECT_EQ(changes, 1);
  b.SetName("");  // a font always has a name
  EXPECT_EQ(b.Name(), "Arial");
}

TEST(PenAndBrush, DefaultsAndKinds) {
  TPen p;
  EXPECT_EQ(p.Color(), clBlack);
  EXPECT_EQ(p.Width(), 1);
  EXPECT_EQ(p.Style(), psSolid);
  EXPECT_EQ(p.Mode(), pmCopy);
  const TPropertyInfo* style = GetPropInfo(&p, "Style");
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->PropType->EnumName(psDot), "psDot");
  EXPECT_EQ(style->Default, psSolid);
  p.SetWidth(-3);
  EXPECT_EQ(p.Width(), 0);

  TBrush b;
  EXPECT_EQ(b.Color(), clWhite);
  b.SetStyle(bsClear);
  b.SetColor(clRed);  // a coloured brush is solid again
  EXPECT_EQ(b.Style(), bsSolid);
}

TEST(Colors, SystemColoursResolve) {
  EXPECT_EQ(ColorToRGB(clRed), clRed);
  EXPECT_EQ(ColorToRGB(clWindow), static_cast<TColor>(0xFFFFFF));
  EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
  EXPECT_EQ(ColorToRGB(static_cast<TColor>(0xFF0000F0)), clBlack);  // unknown system colour
}

}  // namespace
}  // namespace rpt
