// Reports in the component stream: a report holding every class comes back with the
// same structure and the same bytes; a stream made from the byte rules alone (the text
// form) loads and resaves identically; declared defaults are the only values left out;
// damaged streams are refused without a half-loaded report.
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/StreamText.h"
#include "report/QRDataCtrls.h"
#include "tests/report/ReportFixture.h"

namespace rpt::test {
namespace {

class ReportStreamTest : public ReportTest {
 protected:
  // One of every class, with links of every kind and non-default settings.
  void BuildEveryClass() {
    Report->SetUnits(Inches);
    Report->SetZoom(150);
    Report->SetReportTitle("Orders by customer");
    Report->SetOptions({FirstPageHeader, Compression});
    Report->SetShowProgress(false);
    Report->Description()->SetText("Monthly\r\nwith totals");
    Report->Functions()->DefineFunction("TAXRATE", "0.2");
    Report->Page()->SetColumns(2);
    Report->Page()->SetValue(pvColumnSpace, 0.25);
    Report->Frame()->SetDrawTop(true);
    AddBand(rbPageHeader, "PageHeader");
    auto* title = AddBand(rbTitle, "Title");
    AddBand(rbColumnHeader, "Columns");
    auto* detail = AddBand(rbDetail, "Detail");
    AddBand(rbSummary, "Summary");
    auto* footer = AddBand(rbPageFooter, "PageFooter");
    AddBand(rbOverlay, "Overlay");
    detail->SetHasChild(true);
    detail->SetLinkBand(title);
    detail->SetForceNewPage(true);
    detail->SetEnabled(false);
    footer->Size()->SetHeight(0.75);
    auto* group = Add<TQRGroup>("ByCustomer");
    group->SetExpression("Orders.CustomerId");
    group->SetReprintOnNewPage(true);
    group->SetFooterBand(AddBand(rbDetail, "CustomerFooter"));
    auto* lines = Add<TQRSubDetail>("OrderLines");
    lines->SetPrintBefore(true);
    lines->Bands()->SetHasHeader(true);
    lines->Bands()->SetHasFooter(true);
    auto* inner = Add<TQRGroup>("ByProduct");
    inner->SetMaster(lines);

    auto* caption = Add<TQRLabel>("Caption", title);
    caption->SetCaption("Orders");
    caption->Font()->SetSize(16);
    caption->Font()->SetStyle({fsBold});
    caption->SetAlignment(taCenter);
    caption->SetAlignToBand(true);
    auto* memo = Add<TQRMemo>("Terms", footer);
    memo->Lines()->SetText("Payable within\r\nthirty days");
    memo->SetAutoStretch(true);
    memo->Frame()->SetDrawLeft(true);
    memo->Frame()->SetWidth(-1);
    auto* shape = Add<TQRShape>("Rule", detail);
    shape->SetShape(qrsHorLine);
    shape->Pen()->SetWidth(2);
    shape->Brush()->SetColor(clYellow);
    shape->Size()->SetWidth(3);
    auto* amount = Add<TQRDBText>("Amount", detail);
    amount->SetDataField("amount");
    amount->SetMask("#,##0.00");
    TQRHighlight* rule = amount->Highlights()->AddRule();
    rule->SetCondition("amount > 100");
    rule->SetFontColor(clRed);
    rule->SetFontStyle(TFontStyles{fsBold, fsItalic});
    amount->Highlights()->AddRule()->SetVisible(false);
    auto* subtotal = Add<TQRExpr>("Subtotal", group->FooterBand());
    subtotal->SetExpression("SUM(Orders.Amount)");
    subtotal->SetMaster(Report);
    subtotal->SetResetAfterPrint(true);
    auto* pageNo = Add<TQRSysData>("PageNo", footer);
    pageNo->SetData(qrsPageNumber);
    pageNo->SetText("Page ");
    auto* letter = Add<TQRExprMemo>("Letter", detail);
    letter->Lines()->SetText("Dear {Customers.Name},");
    letter->SetRemoveBlankLines(true);
    auto* pageItem = Add<TQRLabel>("Draft", Report);
    pageItem->SetCaption("DRAFT");
    pageItem->SetTransparent(true);
  }
};

TEST_F(ReportStreamTest, EveryClassComesBackWithTheSameStructureAndBytes) {
  BuildEveryClass();
  const std::string bytes = Save();
  std::unique_ptr<TRoomyReport, TFreeDeleter> back(Load(bytes));
  TMemoryStream again;
  SaveComponent(again, back.get());
  EXPECT_EQ(DumpStream(again.Data()), DumpStream(bytes));
  EXPECT_TRUE(again.Data() == bytes);

  std::vector<std::string> order;
  for (TQRCustomBand* band : back->BandList()) order.push_back(band->Name());
  EXPECT_EQ(order, Order());
  EXPECT_EQ(back->Units(), Inches);
  EXPECT_EQ(back->Zoom(), 150);
  EXPECT_EQ(back->Width(), Report->Width());
  EXPECT_FALSE(back->ShowProgress());
  EXPECT_EQ(back->Functions()->FunctionCount(), 4);
  auto* detail = static_cast<TQRBand*>(back->FindComponent("Detail"));
  EXPECT_EQ(detail->LinkBand(), back->FindComponent("Title"));
  EXPECT_TRUE(detail->HasChild());
  EXPECT_FALSE(detail->Enabled());
  auto* group = static_cast<TQRGroup*>(back->FindComponent("ByCustomer"));
  EXPECT_EQ(group->Master(), back.get());
  EXPECT_EQ(group->FooterBand(), back->FindComponent("CustomerFooter"));
  auto* lines = static_cast<TQRSubDetail*>(back->FindComponent("OrderLines"));
  EXPECT_TRUE(lines->PrintBefore());
  EXPECT_TRUE(lines->Bands()->HasHeader());
  EXPECT_EQ(static_cast<TQRGroup*>(back->FindComponent("ByProduct"))->Master(), lines);
  auto* caption = static_cast<TQRLabel*>(back->FindComponent("Caption"));
  EXPECT_EQ(caption->Font()->Size(), 16);
  EXPECT_EQ(caption->Parent(), back->FindComponent("Title"));
  EXPECT_EQ(caption->Width(), static_cast<TQRLabel*>(Report->FindComponent("Caption"))->Width());
  auto* draft = static_cast<TQRLabel*>(back->FindComponent("Draft"));
  EXPECT_EQ(draft->Parent(), back.get());
  EXPECT_TRUE(draft->Transparent());
  EXPECT_EQ(static_cast<TQRShape*>(back->FindComponent("Rule"))->Brush()->Color(), clYellow);
  auto* amount = static_cast<TQRDBText*>(back->FindComponent("Amount"));
  EXPECT_EQ(amount->Caption(), "amount");
  ASSERT_EQ(amount->Highlights()->Count(), 2);
  EXPECT_EQ(amount->Highlights()->Rule(0)->Condition(), "amount > 100");
  EXPECT_EQ(amount->Highlights()->Rule(0)->FontColor(), clRed);
  EXPECT_EQ(amount->Highlights()->Rule(0)->FontStyle(), (TFontStyles{fsBold, fsItalic}));
  EXPECT_EQ(amount->Highlights()->Rule(1)->Color(), clNone);
  EXPECT_FALSE(amount->Highlights()->Rule(1)->Visible());
  EXPECT_EQ(static_cast<TQRExpr*>(back->FindComponent("Subtotal"))->Master(), back.get());
  EXPECT_EQ(static_cast<TQRSysData*>(back->FindComponent("PageNo"))->Data(), qrsPageNumber);
  EXPECT_TRUE(static_cast<TQRExprMemo*>(back->FindComponent("Letter"))->RemoveBlankLines());
}

TEST_F(ReportStreamTest, OnlyDeclaredDefaultsAreLeftOut) {
  AddBand(rbDetail, "Detail");
  Add<TQRLabel>("Label", Report->FindBand(rbDetail));
  Add<TQRShape>("Box", Report->FindBand(rbDetail));
  std::string text = DumpStream(Save());
  for (const char* written : {"PrintIfEmpty = True", "SnapToGrid = True", "Units = MM", "Zoom = 100",
                              "Options = [FirstPageHeader, LastPageFooter]", "AlignToBottom = False",
                              "ForceNewPage = False", "AutoSize = True", "WordWrap = True", "Transparent = False",
                              "Page.Columns = 1", "PrinterSettings.Copies = 1", "FontSize = 10"})
    EXPECT_NE(text.find(written), std::string::npos) << written << "\n" << text;
  for (const char* omitted : {"ShowProgress", "Enabled", "ParentFont", "ParentBiDiMode", "Page.Ruler", "HasChild",
                              "Bands.Has", "Width = 65", "Height = 65", "Frame.Width", "Frame.Style"})
    EXPECT_EQ(text.find(omitted), std::string::npos) << omitted << "\n" << text;
  Report->SetShowProgress(false);
  static_cast<TQRBand*>(Report->FindBand(rbDetail))->SetEnabled(false);
  text = DumpStream(Save());
  EXPECT_NE(text.find("ShowProgress = False"), std::string::npos);
  EXPECT_NE(text.find("Enabled = False"), std::string::npos);
}

// A report as another program writes it from the byte rules: the text form of the
// stream, turned into bytes by the same rules.
const char* const kForeignReport = R"(object TNotifyQuickRep Report
  Left = 0  (svInt8)
  Top = 0  (svInt8)
  Width = 768  (svInt16)
  Height = 1056  (svInt16)
  Frame.Color = clBlack  (svIdent)
  Frame.DrawBottom = False  (svFalse)
  Frame.DrawLeft = False  (svFalse)
  Frame.DrawRight = False  (svFalse)
  Frame.DrawTop = False  (svFalse)
  Font.Charset = DEFAULT_CHARSET  (svIdent)
  Font.Color = clWindowText  (svIdent)
  Font.Height = -13  (svInt8)
  Font.Name = "Arial"  (svString)
  Font.Style = []  (svSet)
  Functions.Strings = list  (svList)
    "PAGENUMBER"  (svString)
    "COLUMNNUMBER"  (svString)
    "REPORTTITLE"  (svString)
  end
  Functions.DATA = list  (svList)
    "0"  (svString)
    "0"  (svString)
    "''"  (svString)
  end
  Options = [FirstPageHeader, LastPageFooter]  (svSet)
  Page.Columns = 1  (svInt8)
  Page.Orientation = poPortrait  (svIdent)
  Page.PaperSize = Custom  (svIdent)
  Page.Values = list  (svList)
    127  (svExtended)
    2794  (svExtended)
    127  (svExtended)
    2032  (svExtended)
    127  (svExtended)
    127  (svExtended)
    0  (svExtended)
  end
  PrinterSettings.Copies = 1  (svInt8)
  PrinterSettings.Duplex = False  (svFalse)
  PrinterSettings.FirstPage = 0  (svInt8)
  PrinterSettings.LastPage = 0  (svInt8)
  PrinterSettings.OutputBin = Auto  (svIdent)
  PrintIfEmpty = True  (svTrue)
  ReportTitle = "Stock list"  (svString)
  SnapToGrid = True  (svTrue)
  Units = Inches  (svIdent)
  Zoom = 100  (svInt8)
  object TQRBand StockBand
    Left = 48  (svInt8)
    Top = 48  (svInt8)
    Width = 672  (svInt16)
    Height = 48  (svInt8)
    Frame.Color = clBlack  (svIdent)
    Frame.DrawBottom = True  (svTrue)
    Frame.DrawLeft = False  (svFalse)
    Frame.DrawRight = False  (svFalse)
    Frame.DrawTop = False  (svFalse)
    AlignToBottom = False  (svFalse)
    Color = clWhite  (svIdent)
    ForceNewColumn = False  (svFalse)
    ForceNewPage = False  (svFalse)
    Size.Values = list  (svList)
      127  (svExtended)
      1778  (svExtended)
    end
    BandType = rbDetail  (svIdent)
    object TQRLabel Item
      Left = 96  (svInt8)
      Top = 6  (svInt8)
      Width = 192  (svInt16)
      Height = 24  (svInt8)
      Frame.Color = clBlack  (svIdent)
      Frame.DrawBottom = False  (svFalse)
      Frame.DrawLeft = False  (svFalse)
      Frame.DrawRight = False  (svFalse)
      Frame.DrawTop = False  (svFalse)
      Size.Values = list  (svList)
        63.5  (svExtended)
        254  (svExtended)
        15.875  (svExtended)
        508  (svExtended)
      end
      Alignment = taRightJustify  (svIdent)
      AlignToBand = False  (svFalse)
      AutoSize = False  (svFalse)
      AutoStretch = False  (svFalse)
      BiDiMode = bdLeftToRight  (svIdent)
      Color = clWhite  (svIdent)
      Transparent = False  (svFalse)
      WordWrap = True  (svTrue)
      Caption = "Bolts, 8 mm"  (svString)
      FontSize = 10  (svInt8)
    end
  end
end
)";

TEST_F(ReportStreamTest, AStreamMadeFromTheByteRulesLoadsAndResavesIdentically) {
  const std::string bytes = BuildStream(kForeignReport);
  std::unique_ptr<TNotifyQuickRep, TFreeDeleter> loaded(Load<TNotifyQuickRep>(bytes));
  TMemoryStream again;
  SaveComponent(again, loaded.get());
  EXPECT_EQ(DumpStream(again.Data()), DumpStream(bytes));
  EXPECT_TRUE(again.Data() == bytes);
  auto* item = static_cast<TQRLabel*>(loaded->FindComponent("Item"));
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Caption(), "Bolts, 8 mm");
  EXPECT_DOUBLE_EQ(static_cast<double>(item->Size()->Width()), 2.0);  // inches
  EXPECT_EQ(loaded->ReportTitle(), "Stock list");
  EXPECT_EQ(loaded->Page()->PaperSize(), TQRPaperSize::Custom);
  EXPECT_EQ(loaded->FindBand(rbDetail)->Name(), "StockBand");
}

TEST_F(ReportStreamTest, ReadingAcceptsWrittenDefaultsAndMissingSizes) {
  // Another writer may spell out defaults and leave out the size values: pixel bounds
  // then give the sizes.
  std::string text = kForeignReport;
  auto replace = [&text](const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  replace("  Zoom = 100  (svInt8)\n", "  Zoom = 100  (svInt8)\n  ShowProgress = True  (svTrue)\n");
  replace("    BandType = rbDetail  (svIdent)\n", "    BandType = rbDetail  (svIdent)\n    Enabled = True  (svTrue)\n");
  replace("      Size.Values = list  (svList)\n        63.5  (svExtended)\n        254  (svExtended)\n"
          "        15.875  (svExtended)\n        508  (svExtended)\n      end\n",
          "");
  std::unique_ptr<TRoomyReport, TFreeDeleter> loaded(Load(BuildStream(text)));
  EXPECT_TRUE(loaded->ShowProgress());
  auto* item = static_cast<TQRLabel*>(loaded->FindComponent("Item"));
  EXPECT_EQ(item->Left(), 96);
  EXPECT_EQ(item->Width(), 192);
  EXPECT_NEAR(static_cast<double>(item->Size()->Native(TQRPrintableSize::szWidth)), 508, 1e-9);
}

TEST_F(ReportStreamTest, DamagedStreamsAreRefusedWithoutAHalfLoadedReport) {
  const std::string bytes = BuildStream(kForeignReport);
  auto refused = [this](const std::string& damaged) -> std::string {
    try {
      Load(damaged)->Free();
    } catch (const Exception& e) {
      return e.what();
    }
    return "loaded";
  };
  // Cut anywhere inside: refused every time, never a crash.
  for (size_t cut = 4; cut < bytes.size(); cut += 7) EXPECT_NE(refused(bytes.substr(0, cut)), "loaded") << cut;

  auto edit = [](std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return BuildStream(text);
  };
  EXPECT_EQ(refused(edit(kForeignReport, "object TQRLabel Item", "object TQRNoSuchThing Item")),
            "Class TQRNoSuchThing not found");
  EXPECT_EQ(refused(edit(kForeignReport, "BandType = rbDetail", "BandType = rbNoSuch")),
            "Error reading StockBand.BandType: Invalid property value");
  // A size list of the wrong length is refused, not read past.
  EXPECT_EQ(refused(edit(kForeignReport, "      127  (svExtended)\n      1778  (svExtended)\n",
                         "      127  (svExtended)\n      1778  (svExtended)\n      9  (svExtended)\n")),
            "Error reading StockBand.Size.Values: Invalid property value");
}

}  // namespace
}  // namespace rpt::test
