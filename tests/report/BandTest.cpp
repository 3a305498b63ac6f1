// Bands: the print order the report keeps, the links between bands (children, linked
// bands, groups, sub-details) and their refusals, the report's Bands flags, and the
// layout that stacks the bands on the design surface.
#include <cmath>

#include "framework/Application.h"
#include "tests/report/ReportFixture.h"

namespace rpt::test {
namespace {

using Names = std::vector<std::string>;

class BandTest : public ReportTest {};

TEST_F(BandTest, PlainReportOrdersByKindWhateverTheCreationOrder) {
  AddBand(rbPageFooter, "Footer");
  AddBand(rbOverlay, "Overlay");
  AddBand(rbSummary, "Summary");
  AddBand(rbDetail, "Detail");
  AddBand(rbColumnHeader, "Columns");
  AddBand(rbPageHeader, "Header");
  EXPECT_EQ(Order(), (Names{"Header", "Columns", "Detail", "Summary", "Footer", "Overlay"}));

  // A title goes after the page headers, before the column headers.
  AddBand(rbTitle, "Title");
  EXPECT_EQ(Order(), (Names{"Header", "Title", "Columns", "Detail", "Summary", "Footer", "Overlay"}));
  // Changing a band's type re-orders at once.
  static_cast<TQRBand*>(Report->FindComponent("Overlay"))->SetBandType(rbPageHeader);
  EXPECT_EQ(Order(), (Names{"Header", "Overlay", "Title", "Columns", "Detail", "Summary", "Footer"}));
  // A group footer that no group names yet stands above the page footer.
  AddBand(rbGroupFooter, "Loose");
  EXPECT_EQ(Order(), (Names{"Header", "Overlay", "Title", "Columns", "Detail", "Summary", "Loose", "Footer"}));
}

TEST_F(BandTest, ChildChainsFollowTheirParentBand) {
  auto* detail = AddBand(rbDetail, "Detail");
  auto* footer = AddBand(rbPageFooter, "Footer");
  AddBand(rbTitle, "Title");
  detail->SetHasChild(true);
  detail->SetHasChild(true);  // twice: still one child
  auto* child = static_cast<TQRChildBand*>(detail->FindChildBand());
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->Name(), "ChildBand1");
  child->SetHasChild(true);
  auto* grandChild = static_cast<TQRChildBand*>(child->FindChildBand());
  ASSERT_NE(grandChild, nullptr);
  footer->SetHasChild(true);
  EXPECT_EQ(Order(), (Names{"Title", "Detail", "ChildBand1", "ChildBand2", "Footer", "ChildBand3"}));

  // Removing the middle child keeps the grandchild, linked to the band itself.
  detail->SetHasChild(false);
  EXPECT_EQ(Report->FindComponent("ChildBand1"), nullptr);
  EXPECT_EQ(grandChild->ParentBand(), detail);
  EXPECT_EQ(Order(), (Names{"Title", "Detail", "ChildBand2", "Footer", "ChildBand3"}));

  // A child whose parent band goes keeps existing, unlinked, at the end.
  detail->Free();
  EXPECT_EQ(grandChild->ParentBand(), nullptr);
  EXPECT_EQ(Order(), (Names{"Title", "Footer", "ChildBand3", "ChildBand2"}));
}

TEST_F(BandTest, GroupsAndSubDetailsNestInTheMasterStructure) {
  AddBand(rbPageFooter, "PageFooter");
  auto* detail = AddBand(rbDetail, "Detail");
  AddBand(rbSummary, "Summary");
  AddBand(rbTitle, "Title");
  auto* outer = Add<TQRGroup>("Outer");
  auto* inner = Add<TQRGroup>("Inner");
  auto* outerFooter = AddBand(rbDetail, "OuterFooter");
  outer->SetFooterBand(outerFooter);
  EXPECT_EQ(outerFooter->BandType(), rbGroupFooter);
  auto* after = Add<TQRSubDetail>("After");
  auto* before = Add<TQRSubDetail>("Before");
  before->SetPrintBefore(true);
  before->Bands()->SetHasHeader(true);
  before->Bands()->SetHasFooter(true);
  ASSERT_NE(before->HeaderBand(), nullptr);
  EXPECT_EQ(before->HeaderBand()->BandType(), rbGroupHeader);
  EXPECT_EQ(before->FooterBand()->BandType(), rbGroupFooter);
  const std::string beforeHeader = before->HeaderBand()->Name();
  const std::string beforeFooter = before->FooterBand()->Name();
  // A group that follows a sub-detail's records sits inside that sub-detail's structure.
  auto* subGroup = Add<TQRGroup>("SubGroup");
  subGroup->SetMaster(after);

  EXPECT_EQ(outer->Master(), Report);
  EXPECT_EQ(inner->Master(), Report);
  EXPECT_EQ(Order(), (Names{"Title", "Outer", "Inner", beforeHeader, "Before", beforeFooter, "Detail", "SubGroup",
                            "After", "OuterFooter", "Summary", "PageFooter"}));
  EXPECT_EQ(detail->BandType(), rbDetail);

  // Header and footer flags free their bands again.
  before->Bands()->SetHasHeader(false);
  EXPECT_EQ(before->HeaderBand(), nullptr);
  EXPECT_EQ(Report->FindComponent(beforeHeader), nullptr);
  // A group whose master goes falls to the end of the order.
  after->Free();
  EXPECT_EQ(subGroup->Master(), nullptr);
  EXPECT_EQ(Order().back(), "SubGroup");
}

TEST_F(BandTest, CircularLinksAreRefused) {
  std::vector<std::string> shown;
  SetMessageBoxHook([&shown](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    shown.push_back(text);
    return mrOk;
  });
  auto* a = AddBand(rbDetail, "A");
  auto* b = AddBand(rbDetail, "B");
  auto* c = AddBand(rbDetail, "C");
  a->SetLinkBand(b);
  b->SetLinkBand(c);
  c->SetLinkBand(a);
  EXPECT_EQ(c->LinkBand(), nullptr);

  auto* s1 = Add<TQRSubDetail>("S1");
  auto* s2 = Add<TQRSubDetail>("S2");
  s2->SetMaster(s1);
  s1->SetMaster(s2);
  EXPECT_EQ(s1->Master(), Report);
  s1->SetMaster(s1);
  EXPECT_EQ(s1->Master(), Report);

  a->SetHasChild(true);
  auto* child = static_cast<TQRChildBand*>(a->FindChildBand());
  child->SetHasChild(true);
  auto* grandChild = static_cast<TQRChildBand*>(child->FindChildBand());
  child->SetParentBand(grandChild);
  EXPECT_EQ(child->ParentBand(), a);
  // Outside the design state nothing is shown.
  EXPECT_TRUE(shown.empty());

  Report->SetDesigning(true);
  c->SetLinkBand(a);
  EXPECT_EQ(shown, (std::vector<std::string>{"Circular linking not allowed"}));
  Report->SetDesigning(false);
  SetMessageBoxHook(nullptr);

  // A group master must be the report or a controller band.
  auto* group = Add<TQRGroup>("G");
  group->SetMaster(b);
  EXPECT_EQ(group->Master(), Report);
  group->SetMaster(s2);
  EXPECT_EQ(group->Master(), s2);
}

TEST_F(BandTest, BandFlagsCreateAndFreeBands) {
  TQuickRepBands* flags = Report->Bands();
  flags->SetHasBand(4, true);
  flags->SetHasBand(4, true);
  EXPECT_EQ(Report->BandList().size(), 1u);
  EXPECT_EQ(Report->BandList()[0]->Name(), "DetailBand1");
  EXPECT_TRUE(flags->HasBand(4));
  flags->SetHasBand(1, false);  // no title: nothing happens
  flags->SetHasBand(5, true);   // the overlay slot has no band
  EXPECT_EQ(Report->BandList().size(), 1u);
  flags->SetHasBand(7, true);
  flags->SetHasBand(0, true);  // any other index is the summary
  EXPECT_EQ(Order(), (Names{"DetailBand1", "SummaryBand1"}));
  flags->SetHasBand(4, false);
  EXPECT_FALSE(flags->HasBand(4));
  EXPECT_EQ(Report->FindComponent("DetailBand1"), nullptr);
  EXPECT_EQ(Order(), (Names{"SummaryBand1"}));
}

TEST_F(BandTest, BandsNeverNestAndLeaveTheListWhenMovedAway) {
  auto* detail = AddBand(rbDetail, "Detail");
  auto* dropped = TComponent::Create<TQRBand>(Report);
  dropped->SetName("Dropped");
  dropped->SetParent(detail);
  EXPECT_EQ(dropped->Parent(), Report);
  EXPECT_EQ(dropped->ParentReport(), Report);
  EXPECT_EQ(Report->BandList().size(), 2u);

  TForm elsewhere;
  dropped->SetParent(&elsewhere);
  EXPECT_EQ(dropped->ParentReport(), nullptr);
  EXPECT_EQ(Order(), (Names{"Detail"}));
  dropped->SetParent(nullptr);
}

TEST_F(BandTest, LayoutStacksBandsFromTheTopMarginAtPageOrColumnWidth) {
  Report->Page()->SetColumns(2);
  Report->Page()->SetValue(pvColumnSpace, 5);  // mm
  auto* title = AddBand(rbTitle, "Title");
  auto* detail = AddBand(rbDetail, "Detail");
  auto* footer = AddBand(rbPageFooter, "Footer");
  detail->SetHasChild(true);
  footer->SetHasChild(true);
  auto* detailChild = detail->FindChildBand();
  auto* footerChild = footer->FindChildBand();
  auto* orphan = Add<TQRChildBand>("Orphan");

  const double ppmm = 96 / 25.4;
  const int32_t left = std::lround(10 * ppmm);
  const int32_t width = Report->Width() - std::lround(20 * ppmm);
  const int32_t column = (width - static_cast<int32_t>(std::lround(5 * ppmm))) / 2;
  EXPECT_EQ(Report->Width(), std::lround(210 * ppmm));
  EXPECT_EQ(title->Width(), width);
  EXPECT_EQ(detail->Width(), column);
  EXPECT_EQ(detailChild->Width(), column);
  EXPECT_EQ(footerChild->Width(), width);
  EXPECT_EQ(orphan->Width(), column);

  int32_t y = std::lround(10 * ppmm);
  for (TQRCustomBand* band : Report->BandList()) {
    EXPECT_EQ(band->Left(), left) << band->Name();
    EXPECT_EQ(band->Top(), y) << band->Name();
    y += band->Height();
  }
}

TEST_F(BandTest, OnlyTheHeightOfABandIsTheUsers) {
  auto* title = AddBand(rbTitle, "Title");
  auto* detail = AddBand(rbDetail, "Detail");
  const TRect before = detail->BoundsRect();
  // Dragged sideways and down: it snaps back into its slot.
  detail->SetBounds(before.Left + 30, before.Top + 25, detail->Width(), detail->Height());
  EXPECT_EQ(detail->BoundsRect(), before);
  // Resized: the size takes the height, the bands below move.
  title->SetBounds(title->Left(), title->Top(), title->Width(), 100);
  EXPECT_EQ(title->Height(), 100);
  EXPECT_NEAR(static_cast<double>(title->Size()->NativeHeight()), 100 * 254.0 / 96, 1e-9);
  EXPECT_EQ(detail->Top(), title->Top() + 100);
  EXPECT_EQ(detail->Width(), before.Width());
}

TEST_F(BandTest, HeightsFollowTheZoomAndSurviveTheStream) {
  auto* detail = AddBand(rbDetail, "Detail");
  detail->Size()->SetHeight(25);  // mm
  const int32_t at100 = detail->Height();
  EXPECT_EQ(at100, std::lround(25 * 96 / 25.4));
  Report->SetZoom(200);
  EXPECT_EQ(detail->Height(), std::lround(25 * 96 / 25.4 * 2));
  EXPECT_NEAR(static_cast<double>(detail->Size()->Height()), 25, 1e-9);
  // A height dragged at 200 % is a height at 200 %.
  auto* inserted = TComponent::Create<TQRBand>(Report);
  inserted->SetName("Inserted");
  inserted->SetBounds(0, 0, 300, 80);
  inserted->SetParent(Report);
  EXPECT_EQ(inserted->Height(), 80);
  EXPECT_NEAR(static_cast<double>(inserted->Size()->NativeHeight()), 40 * 254.0 / 96, 1e-9);

  std::unique_ptr<TRoomyReport, TFreeDeleter> back(Load(Save()));
  auto* loaded = static_cast<TQRBand*>(back->FindComponent("Detail"));
  EXPECT_EQ(back->Zoom(), 200);
  EXPECT_EQ(loaded->Height(), detail->Height());
  EXPECT_EQ(loaded->Size()->NativeHeight(), detail->Size()->NativeHeight());
  EXPECT_EQ(back->BandList().size(), 2u);
}

}  // namespace
}  // namespace rpt::test
