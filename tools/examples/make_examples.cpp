// make_examples: builds the example reports on the sample database with the report
// classes and writes each as a .rpt file with its text form (.txt, as rpttool dump
// prints it) into the folder given, so that the examples kept in the repository can be
// made again after a change to the classes.
//
//   make_examples OUTDIR
//
// Every size is set in millimetres and no element sizes itself to its text, so the
// files come out the same whatever fonts the machine has.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "data/DBTables.h"
#include "objects/Filer.h"
#include "objects/ReportFile.h"
#include "objects/StreamText.h"
#include "report/QRChart.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "report/QRFile.h"
#include "report/QRPictures.h"
#include "report/QuickRpt.h"

namespace {

using namespace rpt;

constexpr double kPageWidth = 210;   // A4, portrait
constexpr double kMargin = 15;
constexpr double kWidth = kPageWidth - 2 * kMargin;  // what a band spans
constexpr const char* kMoney = "#,##0.00";

// A report under construction: names come from the caller, every size is in mm.
class TReportBuilder {
 public:
  explicit TReportBuilder(const std::string& title) : FReport(TComponent::Create<TNotifyQuickRep>(nullptr)) {
    FReport->SetName("Report");
    FReport->SetUnits(MM);
    TQRPage& page = *FReport->Page();
    page.SetPaperSize(TQRPaperSize::A4);
    page.SetOrientation(poPortrait);
    page.SetValue(pvLeftMargin, kMargin);
    page.SetValue(pvRightMargin, kMargin);
    page.SetValue(pvTopMargin, 12);
    page.SetValue(pvBottomMargin, 12);
    FReport->Font()->SetName("Arial");
    FReport->Font()->SetSize(9);
    FReport->SetReportTitle(title);
  }

  TNotifyQuickRep* Report() const { return FReport.get(); }

  TQRBand* Band(TQRBandType type, const std::string& name, double height) {
    auto* band = Add<TQRBand>(name, FReport.get());
    band->SetBandType(type);
    band->Size()->SetHeight(height);
    return band;
  }

  TQRGroup* Group(const std::string& name, const std::string& expression, double height) {
    auto* group = Add<TQRGroup>(name, FReport.get());
    group->SetExpression(expression);
    group->Size()->SetHeight(height);
    return group;
  }

  TQRLabel* Label(TWinControl* band, const std::string& name, const std::string& caption, double left, double top,
                  double width, TAlignment alignment = taLeftJustify) {
    auto* label = Text<TQRLabel>(band, name, left, top, width, alignment);
    label->SetCaption(caption);
    return label;
  }

  // A field of the header's dataset (DataSet left empty: loading binds it) or of another.
  TQRDBText* Field(TWinControl* band, const std::string& name, const std::string& field, double left, double top,
                   double width, TAlignment alignment = taLeftJustify, const std::string& mask = "",
                   TDataSet* dataSet = nullptr) {
    auto* text = Text<TQRDBText>(band, name, left, top, width, alignment);
    text->SetDataSet(dataSet);
    text->SetDataField(field);
    text->SetMask(mask);
    return text;
  }

  TQRExpr* Expr(TWinControl* band, const std::string& name, const std::string& expression, double left, double top,
                double width, TAlignment alignment = taRightJustify, const std::string& mask = kMoney) {
    auto* expr = Text<TQRExpr>(band, name, left, top, width, alignment);
    expr->SetExpression(expression);
    expr->SetMask(mask);
    return expr;
  }

  // An aggregate over the records its master prints; reset after each print when it is
  // a subtotal.
  TQRExpr* Aggregate(TWinControl* band, const std::string& name, const std::string& expression, TComponent* master,
                     bool reset, double left, double top, double width, const std::string& mask = kMoney) {
    TQRExpr* expr = Expr(band, name, expression, left, top, width, taRightJustify, mask);
    expr->SetMaster(master);
    expr->SetResetAfterPrint(reset);
    return expr;
  }

  TQRSysData* System(TWinControl* band, const std::string& name, TQRSysDataType data, const std::string& text,
                     double left, double top, double width, TAlignment alignment = taLeftJustify) {
    auto* sys = Text<TQRSysData>(band, name, left, top, width, alignment);
    sys->SetData(data);
    sys->SetText(text);
    return sys;
  }

  TQRShape* Rule(TWinControl* band, const std::string& name, double left, double top, double width) {
    auto* shape = Add<TQRShape>(name, band);
    shape->SetShape(qrsHorLine);
    Place(shape, left, top, width, 1);
    return shape;
  }

  template <class T>
  T* Add(const std::string& name, TWinControl* parent) {
    T* component = TComponent::Create<T>(FReport.get());
    component->SetName(name);
    component->SetParent(parent);
    return component;
  }

  // Any printable at a place, in millimetres.
  template <class T>
  T* Box(TWinControl* band, const std::string& name, double left, double top, double width, double height) {
    T* printable = Add<T>(name, band);
    Place(printable, left, top, width, height);
    return printable;
  }

  static void Bold(TCustomControl* control, int size = 9) {
    control->Font()->SetSize(size);
    control->Font()->SetStyle({fsBold});
  }

  // The header row of a table: bold labels over a rule.
  void ColumnTitles(TWinControl* band, const std::string& prefix,
                    const std::vector<std::tuple<std::string, double, double, TAlignment>>& columns) {
    int n = 0;
    for (const auto& [caption, left, width, alignment] : columns)
      Bold(Label(band, prefix + std::to_string(++n), caption, left, 1, width, alignment));
    Rule(band, prefix + "Rule", 0, 5.6, kWidth);
  }

 private:
  template <class T>
  T* Text(TWinControl* band, const std::string& name, double left, double top, double width, TAlignment alignment) {
    T* text = Add<T>(name, band);
    text->SetAutoSize(false);
    text->SetAlignment(alignment);
    Place(text, left, top, width, 4.2);
    return text;
  }

  template <class T>
  static void Place(T* printable, double left, double top, double width, double height) {
    printable->Size()->SetLeft(left);
    printable->Size()->SetTop(top);
    printable->Size()->SetWidth(width);
    printable->Size()->SetHeight(height);
  }

  TOwnedPtr<TNotifyQuickRep> FReport;
};

TReportFileHeader QueryHeader(const std::vector<std::string>& sql) {
  TReportFileHeader header;
  header.Kind = rdkQuery;
  header.DatabaseName = "Sample";
  header.SqlLines = sql;
  return header;
}

// The title block every example starts with: title, what it shows, when it was printed.
void TitleBlock(TReportBuilder& b, const std::string& title, const std::string& subtitle) {
  TQRBand* band = b.Band(rbTitle, "TitleBand", 20);
  TQRLabel* heading = b.Label(band, "TitleLabel", title, 0, 0, 130);
  TReportBuilder::Bold(heading, 16);
  heading->Size()->SetHeight(8);
  b.Label(band, "SubtitleLabel", subtitle, 0, 9, 130);
  b.System(band, "PrintedDate", qrsDate, "Printed ", 120, 0, 60, taRightJustify);
  b.Rule(band, "TitleRule", 0, 16, kWidth);
}

// The footer of every page: the report's title and the page number, with the page count
// when asked.
void PageFooter(TReportBuilder& b, bool pageCount = false) {
  TQRBand* band = b.Band(rbPageFooter, "PageFooterBand", 8);
  b.Rule(band, "FooterRule", 0, 1, kWidth);
  b.System(band, "FooterTitle", qrsReportTitle, "", 0, 2.5, 120);
  if (pageCount)
    b.Expr(band, "PageNumber", "'Page ' + STR(PAGENUMBER) + ' of ' + STR(PAGECOUNT)", 130, 2.5, 50, taRightJustify, "");
  else
    b.System(band, "PageNumber", qrsPageNumber, "Page ", 130, 2.5, 50, taRightJustify);
}

// (a) Orders grouped by customer: a header per customer, one row per order, a footer
// with the customer's subtotals, grand totals in the summary.
TReportBuilder OrdersByCustomer() {
  TReportBuilder b("Orders by customer");
  TitleBlock(b, "Orders by customer", "Customers in Germany, orders placed in 2024");
  // Headings and table rows for screen readers, and the outline's top entry, over the customers'.
  b.Report()->SetTaggedPdf(true);
  dynamic_cast<TQRBand*>(b.Report()->FindComponent("TitleBand"))->SetBookmark("'Orders by customer'");

  TQRBand* columns = b.Band(rbColumnHeader, "ColumnHeaderBand", 7);
  b.ColumnTitles(columns, "Heading",
                 {{"Order", 6, 16, taRightJustify}, {"Date", 26, 22, taLeftJustify},
                  {"Ship via", 50, 25, taLeftJustify}, {"Lines", 78, 12, taRightJustify},
                  {"Goods", 94, 28, taRightJustify}, {"Freight", 124, 24, taRightJustify},
                  {"Total", 150, 30, taRightJustify}});

  TQRGroup* customer = b.Group("CustomerGroup", "customer_id", 8);
  customer->SetReprintOnNewPage(true);
  customer->SetContinuedText("(continued)");
  // An outline of the customers, and a link back to each from its totals.
  customer->SetBookmark("company + ' (' + STR(customer_id) + ')'");
  TQRDBText* company = b.Field(customer, "CustomerCompany", "company", 0, 2.5, 90);
  TReportBuilder::Bold(company, 10);
  company->Size()->SetHeight(4.8);
  b.Field(customer, "CustomerCity", "city", 92, 2.8, 28);
  // Where the header repeats on a new page, it says so.
  b.Expr(customer, "CustomerContinued", "CONTINUED", 120, 2.8, 28, taLeftJustify, "");
  b.Field(customer, "CustomerNo", "customer_id", 150, 2.8, 30, taRightJustify, "'Customer no. '0");

  TQRBand* detail = b.Band(rbDetail, "DetailBand", 5);
  // A customer's heading never ends a page alone: it needs room for its first order too.
  customer->SetLinkBand(detail);
  b.Field(detail, "OrderId", "order_id", 6, 0.4, 16, taRightJustify);
  b.Field(detail, "OrderDate", "order_date", 26, 0.4, 22);
  b.Field(detail, "ShipVia", "ship_via", 50, 0.4, 25);
  b.Field(detail, "LineCount", "line_count", 78, 0.4, 12, taRightJustify);
  b.Field(detail, "Goods", "goods", 94, 0.4, 28, taRightJustify, kMoney);
  b.Field(detail, "Freight", "freight", 124, 0.4, 24, taRightJustify, kMoney);
  TQRExpr* orderTotal = b.Expr(detail, "OrderTotal", "goods + freight", 150, 0.4, 30);
  // Large orders stand out.
  TQRHighlight* large = orderTotal->Highlights()->AddRule();
  large->SetCondition("goods + freight >= 30000");
  large->SetFontColor(clRed);
  large->SetFontStyle(TFontStyles{fsBold});

  TQRBand* footer = b.Band(rbGroupFooter, "CustomerFooter", 12);
  customer->SetFooterBand(footer);
  TNotifyQuickRep* report = b.Report();
  b.Rule(footer, "SubtotalRule", 78, 0.5, 102);
  // The footer sees the group's last record: its company is the group's.
  TQRExpr* subtotal = b.Expr(footer, "SubtotalCompany", "'Total ' + company", 6, 1.5, 70, taLeftJustify, "");
  TReportBuilder::Bold(subtotal);
  subtotal->SetHyperlink("'#' + company + ' (' + STR(customer_id) + ')'");
  b.Aggregate(footer, "SubtotalOrders", "COUNT", report, true, 6, 6, 40, "0' orders'")->SetAlignment(taLeftJustify);
  b.Aggregate(footer, "SubtotalLines", "SUM(line_count)", report, true, 78, 1.5, 12, "0");
  TReportBuilder::Bold(b.Aggregate(footer, "SubtotalGoods", "SUM(goods)", report, true, 94, 1.5, 28));
  b.Aggregate(footer, "SubtotalFreight", "SUM(freight)", report, true, 124, 1.5, 24);
  TReportBuilder::Bold(b.Aggregate(footer, "SubtotalTotal", "SUM(goods + freight)", report, true, 150, 1.5, 30));

  TQRBand* summary = b.Band(rbSummary, "SummaryBand", 14);
  b.Rule(summary, "GrandRule", 0, 1, kWidth);
  TReportBuilder::Bold(b.Label(summary, "GrandLabel", "Grand total", 6, 3, 40), 10);
  b.Aggregate(summary, "GrandOrders", "COUNT", report, false, 50, 3, 26, "#,##0' orders'")->SetAlignment(taLeftJustify);
  b.Aggregate(summary, "GrandLines", "SUM(line_count)", report, false, 78, 3, 12, "#,##0");
  TReportBuilder::Bold(b.Aggregate(summary, "GrandGoods", "SUM(goods)", report, false, 94, 3, 28));
  b.Aggregate(summary, "GrandFreight", "SUM(freight)", report, false, 124, 3, 24);
  TReportBuilder::Bold(b.Aggregate(summary, "GrandTotal", "SUM(goods + freight)", report, false, 150, 3, 30));
  b.Aggregate(summary, "AverageOrder", "AVERAGE(goods)", report, false, 94, 8, 28)->SetAlignment(taRightJustify);
  b.Label(summary, "AverageLabel", "Average goods per order", 50, 8, 44);

  PageFooter(b, true);
  return b;
}

const std::vector<std::string> kOrdersByCustomerSql = {
    "select o.order_id, o.order_date, o.customer_id, c.company, c.city, o.ship_via,",
    "       t.line_count, t.goods, o.freight",
    "from orders o",
    "join customers c on c.customer_id = o.customer_id",
    "join order_totals t on t.order_id = o.order_id",
    "where c.country = 'Germany' and o.order_date between '2024-01-01' and '2024-12-31'",
    "order by c.company, o.customer_id, o.order_date, o.order_id"};

// (b) Orders with their lines: the orders are the report's data, the lines a query the
// report owns, run again for each order with the order's number as its parameter.
TReportBuilder OrderDetails() {
  TReportBuilder b("Order details");
  TitleBlock(b, "Order details", "Orders placed from 1 to 7 December 2024, with their lines");
  TNotifyQuickRep* report = b.Report();
  report->Functions()->DefineFunction("ORDERID", "order_id");

  auto* lines = TComponent::Create<TQuery>(report);
  lines->SetName("Lines");
  lines->SetDatabaseName("Sample");
  for (const char* line : {"select l.line_no, p.name as product, l.quantity, l.unit_price, l.discount,",
                           "       round(l.quantity * l.unit_price * (1 - l.discount), 2) as amount",
                           "from order_lines l join products p on p.product_id = l.product_id",
                           "where l.order_id = :ORDERID", "order by l.line_no"})
    lines->SQL()->Add(line);

  TQRBand* detail = b.Band(rbDetail, "OrderBand", 13);
  detail->Frame()->SetDrawTop(true);
  TQRDBText* orderNo = b.Field(detail, "OrderNo", "order_id", 0, 1.5, 40, taLeftJustify, "'Order '0");
  TReportBuilder::Bold(orderNo, 10);
  orderNo->Size()->SetHeight(4.8);
  b.Field(detail, "OrderDate", "order_date", 42, 1.8, 24);
  TReportBuilder::Bold(b.Field(detail, "Company", "company", 70, 1.8, 70));
  b.Field(detail, "ShipVia", "ship_via", 150, 1.8, 30, taRightJustify);
  b.Field(detail, "City", "city", 70, 6.6, 35);
  b.Field(detail, "Country", "country", 106, 6.6, 40);
  b.Field(detail, "Freight", "freight", 150, 6.6, 30, taRightJustify, "'Freight '#,##0.00");

  auto* sub = b.Add<TQRSubDetail>("LineBand", report);
  sub->SetDataSet(lines);
  sub->Size()->SetHeight(4.8);
  sub->Bands()->SetHasHeader(true);
  sub->Bands()->SetHasFooter(true);
  b.Field(sub, "LineNo", "line_no", 6, 0.3, 10, taRightJustify, "", lines);
  b.Field(sub, "Product", "product", 20, 0.3, 70, taLeftJustify, "", lines);
  b.Field(sub, "Quantity", "quantity", 92, 0.3, 14, taRightJustify, "", lines);
  b.Field(sub, "UnitPrice", "unit_price", 108, 0.3, 24, taRightJustify, kMoney, lines);
  b.Expr(sub, "Discount", "Lines.discount * 100", 134, 0.3, 16, taRightJustify, "0' %';;'-'");
  b.Field(sub, "Amount", "amount", 152, 0.3, 28, taRightJustify, kMoney, lines);

  TQRCustomBand* head = sub->HeaderBand();
  head->SetName("LineHeader");
  head->Size()->SetHeight(5.2);
  int n = 0;
  for (const auto& [caption, left, width, alignment] :
       std::vector<std::tuple<std::string, double, double, TAlignment>>{
           {"Line", 6, 10, taRightJustify}, {"Product", 20, 70, taLeftJustify},
           {"Qty", 92, 14, taRightJustify}, {"Unit price", 108, 24, taRightJustify},
           {"Discount", 134, 16, taRightJustify}, {"Amount", 152, 28, taRightJustify}}) {
    TQRLabel* label = b.Label(head, "LineHeading" + std::to_string(++n), caption, left, 0.5, width, alignment);
    label->Font()->SetStyle({fsItalic});
  }

  TQRCustomBand* foot = sub->FooterBand();
  foot->SetName("LineFooter");
  foot->Size()->SetHeight(8);
  b.Rule(foot, "OrderTotalRule", 134, 0.5, 46);
  b.Aggregate(foot, "LineCount", "COUNT", sub, true, 20, 1.5, 40, "0' lines'")->SetAlignment(taLeftJustify);
  TReportBuilder::Bold(b.Label(foot, "OrderTotalLabel", "Order total", 108, 1.5, 40));
  TReportBuilder::Bold(b.Aggregate(foot, "OrderTotal", "SUM(Lines.amount)", sub, true, 152, 1.5, 28));

  TQRBand* summary = b.Band(rbSummary, "SummaryBand", 14);
  b.Rule(summary, "SummaryRule", 0, 1, kWidth);
  TReportBuilder::Bold(b.Label(summary, "SummaryLabel", "All orders", 6, 3, 40), 10);
  b.Aggregate(summary, "OrderCount", "COUNT", report, false, 50, 3, 30, "#,##0' orders'")->SetAlignment(taLeftJustify);
  b.Aggregate(summary, "AllLines", "COUNT", sub, false, 80, 3, 30, "#,##0' lines'")->SetAlignment(taLeftJustify);
  TReportBuilder::Bold(b.Aggregate(summary, "AllAmounts", "SUM(Lines.amount)", sub, false, 140, 3, 40));

  PageFooter(b);
  return b;
}

const std::vector<std::string> kOrderDetailsSql = {
    "select o.order_id, o.order_date, o.ship_via, o.freight, c.company, c.city, c.country",
    "from orders o join customers c on c.customer_id = o.customer_id",
    "where o.order_date between '2024-12-01' and '2024-12-07'",
    "order by o.order_date, o.order_id"};

// (c) Customer cards, three to a row: the detail band is one card, the page's columns
// set them side by side.
TReportBuilder CustomerCards() {
  TReportBuilder b("Customer cards");
  TNotifyQuickRep* report = b.Report();
  TQRPage& page = *report->Page();
  page.SetValue(pvLeftMargin, 10);
  page.SetValue(pvRightMargin, 10);
  page.SetValue(pvTopMargin, 10);
  page.SetValue(pvBottomMargin, 10);
  page.SetValue(pvColumnSpace, 5);
  page.SetColumns(3);
  constexpr double kCard = (kPageWidth - 20 - 2 * 5) / 3;  // 60 mm

  TQRBand* title = b.Band(rbTitle, "TitleBand", 16);
  TQRLabel* heading = b.Label(title, "TitleLabel", "Customer cards", 0, 0, 100);
  TReportBuilder::Bold(heading, 16);
  heading->Size()->SetHeight(8);
  b.System(title, "CardCount", qrsDetailCount, "Customers in Germany, Austria and Switzerland: ", 0, 9, 120);

  TQRBand* card = b.Band(rbDetail, "CardBand", 36);
  for (TQRFrame* frame : {card->Frame()}) {
    frame->SetDrawTop(true);
    frame->SetDrawBottom(true);
    frame->SetDrawLeft(true);
    frame->SetDrawRight(true);
  }
  TQRDBText* company = b.Field(card, "Company", "company", 3, 2.5, kCard - 6);
  TReportBuilder::Bold(company, 10);
  company->Size()->SetHeight(4.8);
  b.Field(card, "Contact", "contact", 3, 8, kCard - 6);
  b.Field(card, "Street", "street", 3, 12.5, kCard - 6);
  auto* place = b.Add<TQRExprMemo>("Place", card);
  place->Size()->SetLeft(3);
  place->Size()->SetTop(17);
  place->Size()->SetWidth(kCard - 6);
  place->Size()->SetHeight(9);
  place->Lines()->Add("{postal_code} {city}");
  place->Lines()->Add("{UPPER(country)}");
  b.Field(card, "Phone", "phone", 3, 28, kCard - 24, taLeftJustify);
  b.Field(card, "CustomerNo", "customer_id", kCard - 21, 28, 18, taRightJustify, "'No. '0");
  // Under the card of a customer who ordered nothing this year, a line that says so.
  card->SetHasChild(true);
  TQRCustomBand* none = card->FindChildBand();
  none->SetName("NoOrdersBand");
  none->Size()->SetHeight(6);
  none->SetPrintIf("orders_2024 = 0");
  TReportBuilder::Bold(b.Label(none, "NoOrdersLabel", "No orders in 2024", 3, 1, kCard - 6));
  return b;
}

const std::vector<std::string> kCustomerCardsSql = {
    "select customer_id, company, contact, street, postal_code, city, country, phone,",
    "  (select count(*) from orders o where o.customer_id = customers.customer_id",
    "   and o.order_date >= '2024-01-01') as orders_2024",
    "from customers",
    "where country in ('Germany', 'Austria', 'Switzerland')",
    "order by country, postal_code, company"};

// (d) Sales by month with quarter subtotals: computed columns, numeric masks,
// aggregates in group footers and the summary, page numbers and the date.
TReportBuilder MonthlySales() {
  TReportBuilder b("Sales by month 2024");
  TitleBlock(b, "Sales by month", "All orders placed in 2024, by the month they were placed in");
  TNotifyQuickRep* report = b.Report();

  TQRBand* columns = b.Band(rbColumnHeader, "ColumnHeaderBand", 7);
  b.ColumnTitles(columns, "Heading",
                 {{"Month", 0, 26, taLeftJustify}, {"Orders", 28, 16, taRightJustify},
                  {"Lines", 46, 16, taRightJustify}, {"Goods", 64, 30, taRightJustify},
                  {"Freight", 96, 24, taRightJustify}, {"Total", 122, 30, taRightJustify},
                  {"Per order", 154, 26, taRightJustify}});

  TQRGroup* quarter = b.Group("QuarterGroup", "quarter", 7);
  TReportBuilder::Bold(b.Field(quarter, "QuarterName", "quarter", 0, 2, 40, taLeftJustify, "'Quarter '0"));

  TQRBand* detail = b.Band(rbDetail, "DetailBand", 5);
  quarter->SetLinkBand(detail);
  b.Field(detail, "MonthName", "month_name", 0, 0.4, 26);
  b.Field(detail, "Orders", "orders", 28, 0.4, 16, taRightJustify, "#,##0");
  b.Field(detail, "Lines", "lines", 46, 0.4, 16, taRightJustify, "#,##0");
  b.Field(detail, "Goods", "goods", 64, 0.4, 30, taRightJustify, kMoney);
  b.Field(detail, "Freight", "freight", 96, 0.4, 24, taRightJustify, kMoney);
  b.Expr(detail, "MonthTotal", "goods + freight", 122, 0.4, 30);
  b.Expr(detail, "PerOrder", "goods / orders", 154, 0.4, 26);

  TQRBand* footer = b.Band(rbGroupFooter, "QuarterFooter", 9);
  quarter->SetFooterBand(footer);
  b.Rule(footer, "QuarterRule", 28, 0.5, 152);
  b.Field(footer, "QuarterTotalLabel", "quarter", 0, 1.5, 26, taLeftJustify, "'Total Q'0");
  b.Aggregate(footer, "QuarterOrders", "SUM(orders)", report, true, 28, 1.5, 16, "#,##0");
  b.Aggregate(footer, "QuarterLines", "SUM(lines)", report, true, 46, 1.5, 16, "#,##0");
  TReportBuilder::Bold(b.Aggregate(footer, "QuarterGoods", "SUM(goods)", report, true, 64, 1.5, 30));
  b.Aggregate(footer, "QuarterFreight", "SUM(freight)", report, true, 96, 1.5, 24);
  TReportBuilder::Bold(b.Aggregate(footer, "QuarterTotal", "SUM(goods + freight)", report, true, 122, 1.5, 30));
  b.Aggregate(footer, "QuarterPerOrder", "SUM(goods) / SUM(orders)", report, true, 154, 1.5, 26);

  TQRBand* summary = b.Band(rbSummary, "SummaryBand", 40);
  b.Rule(summary, "YearRule", 0, 1, kWidth);
  TReportBuilder::Bold(b.Label(summary, "YearLabel", "Year 2024", 0, 3, 26), 10);
  b.Aggregate(summary, "YearOrders", "SUM(orders)", report, false, 28, 3, 16, "#,##0");
  b.Aggregate(summary, "YearLines", "SUM(lines)", report, false, 46, 3, 16, "#,##0");
  TReportBuilder::Bold(b.Aggregate(summary, "YearGoods", "SUM(goods)", report, false, 64, 3, 30));
  b.Aggregate(summary, "YearFreight", "SUM(freight)", report, false, 96, 3, 24);
  TReportBuilder::Bold(b.Aggregate(summary, "YearTotal", "SUM(goods + freight)", report, false, 122, 3, 30));
  b.Aggregate(summary, "YearPerOrder", "SUM(goods) / SUM(orders)", report, false, 154, 3, 26);

  // Key figures of the year, one a line.
  struct TFigure {
    const char* Name;
    const char* Caption;
    const char* Expression;
    const char* Mask;
  };
  const TFigure figures[] = {
      {"AverageMonth", "Average goods per month", "AVERAGE(goods)", kMoney},
      {"BestMonth", "Best month (goods)", "MAX(goods)", kMoney},
      {"WeakestMonth", "Weakest month (goods)", "MIN(goods)", kMoney},
      {"FreightShare", "Freight as a share of goods", "SUM(freight) / SUM(goods) * 100", "0.00' %'"},
      {"LinesPerOrder", "Lines per order", "SUM(lines) / SUM(orders)", "0.00"}};
  double top = 11;
  for (const TFigure& f : figures) {
    b.Label(summary, std::string(f.Name) + "Label", f.Caption, 28, top, 60);
    b.Aggregate(summary, f.Name, f.Expression, report, false, 94, top, 30, f.Mask);
    top += 5;
  }
  b.System(summary, "MonthCount", qrsDetailCount, "Months listed: ", 130, 11, 50, taRightJustify);

  PageFooter(b);
  return b;
}

const std::vector<std::string> kMonthlySalesSql = {
    "select cast(strftime('%m', order_date) as integer) as month_no,",
    "       (cast(strftime('%m', order_date) as integer) + 2) / 3 as quarter,",
    "       substr('JanFebMarAprMayJunJulAugSepOctNovDec',",
    "              cast(strftime('%m', order_date) as integer) * 3 - 2, 3) || ' 2024' as month_name,",
    "       count(*) as orders, sum(line_count) as lines,",
    "       round(sum(goods), 2) as goods, round(sum(freight), 2) as freight",
    "from order_totals",
    "where order_date between '2024-01-01' and '2024-12-31'",
    "group by month_no",
    "order by month_no"};

// (e) The product catalogue: the company logo in the title, and for each product its
// picture from the database and the EAN-13 code of its number.
std::filesystem::path gLogoFile;

TReportBuilder ProductCatalogue() {
  TReportBuilder b("Product catalogue");
  TQRBand* title = b.Band(rbTitle, "TitleBand", 26);
  auto* logo = b.Box<TQRImage>(title, "Logo", 0, 0, 60, 18);
  logo->SetStretch(true);
  logo->LoadPictureFromFile(gLogoFile.string());
  TQRLabel* heading = b.Label(title, "TitleLabel", "Product catalogue", 66, 1, 80);
  TReportBuilder::Bold(heading, 16);
  heading->Size()->SetHeight(8);
  b.Label(title, "SubtitleLabel", "Every product with its picture and its EAN-13 code", 66, 10, 90);
  b.System(title, "PrintedDate", qrsDate, "Printed ", 120, 0, 60, taRightJustify);
  b.Rule(title, "TitleRule", 0, 22, kWidth);

  TQRBand* columns = b.Band(rbColumnHeader, "ColumnHeaderBand", 7);
  b.ColumnTitles(columns, "Heading",
                 {{"Picture", 0, 20, taLeftJustify}, {"Product", 24, 70, taLeftJustify},
                  {"Price", 96, 22, taRightJustify}, {"EAN-13", 126, 54, taLeftJustify}});

  TQRBand* detail = b.Band(rbDetail, "DetailBand", 24);
  auto* picture = b.Box<TQRDBImage>(detail, "Picture", 0, 2, 20, 20);
  picture->SetDataField("picture");
  picture->SetStretch(true);
  picture->SetCenter(true);
  TReportBuilder::Bold(b.Field(detail, "ProductName", "name", 24, 3, 70), 10);
  b.Field(detail, "Category", "category", 24, 9, 70);
  b.Field(detail, "Unit", "quantity_per_unit", 24, 14, 70);
  b.Field(detail, "Price", "unit_price", 96, 3, 22, taRightJustify, kMoney);
  auto* code = b.Box<TQRBarcode>(detail, "Ean", 126, 2, 44, 20);
  code->SetBarcodeType(bcEAN13);
  code->SetExpression("ean");
  code->Font()->SetName("Arial");

  PageFooter(b);
  return b;
}

const std::vector<std::string> kProductCatalogueSql = {
    "select p.product_id, p.name, c.name as category, p.quantity_per_unit, p.unit_price, k.ean, k.picture",
    "from products p",
    "join categories c on c.category_id = p.category_id",
    "join catalogue k on k.product_id = p.product_id",
    "order by p.category_id, p.product_id"};

// (f) Orders of one country in a period the user chooses when it runs: the report's
// parameters COUNTRY (offered from the customers' countries), FROM and TO are bound to
// the query as values, and the title reads them as functions.
TReportBuilder OrdersByCountry() {
  TReportBuilder b("Orders by country");
  TNotifyQuickRep* report = b.Report();
  const auto parameter = [report](const char* name, TQRParamType type, const char* def, const char* prompt) {
    TQRParameter* p = report->Parameters()->AddParameter();
    p->SetName(name);
    p->SetDataType(type);
    p->SetDefault(def);
    p->SetPrompt(prompt);
    return p;
  };
  TQRParameter* country = parameter("COUNTRY", ptString, "'Austria'", "Country");
  country->SetChoicesSQL("select distinct country from customers where country is not null order by country");
  parameter("FROM", ptDate, "YEARSTART", "Orders placed from");
  parameter("TO", ptDate, "TODAY", "to");

  TQRBand* title = b.Band(rbTitle, "TitleBand", 20);
  TQRExpr* heading = b.Expr(title, "TitleText", "'Orders from ' + COUNTRY", 0, 0, 130, taLeftJustify, "");
  TReportBuilder::Bold(heading, 16);
  heading->Size()->SetHeight(8);
  b.Expr(title, "PeriodText", "'placed from ' + FROM + ' to ' + PARAM('TO')", 0, 9, 130, taLeftJustify, "");
  b.System(title, "PrintedDate", qrsDate, "Printed ", 120, 0, 60, taRightJustify);
  b.Rule(title, "TitleRule", 0, 16, kWidth);

  TQRBand* columns = b.Band(rbColumnHeader, "ColumnHeaderBand", 7);
  b.ColumnTitles(columns, "Heading",
                 {{"Order", 0, 16, taRightJustify}, {"Date", 20, 22, taLeftJustify},
                  {"Customer", 44, 70, taLeftJustify}, {"City", 116, 34, taLeftJustify},
                  {"Total", 150, 30, taRightJustify}});

  TQRBand* detail = b.Band(rbDetail, "DetailBand", 5);
  b.Field(detail, "OrderId", "order_id", 0, 0.4, 16, taRightJustify);
  b.Field(detail, "OrderDate", "order_date", 20, 0.4, 22);
  b.Field(detail, "Company", "company", 44, 0.4, 70);
  b.Field(detail, "City", "city", 116, 0.4, 34);
  b.Field(detail, "Total", "total", 150, 0.4, 30, taRightJustify, kMoney);

  TQRBand* summary = b.Band(rbSummary, "SummaryBand", 10);
  b.Rule(summary, "SummaryRule", 0, 1, kWidth);
  b.Aggregate(summary, "OrderCount", "COUNT", report, false, 0, 3, 60, "#,##0' orders'")->SetAlignment(taLeftJustify);
  TReportBuilder::Bold(b.Aggregate(summary, "AllTotals", "SUM(total)", report, false, 140, 3, 40));

  PageFooter(b);
  return b;
}

const std::vector<std::string> kOrdersByCountrySql = {
    "select o.order_id, o.order_date, c.company, c.city, t.goods + o.freight as total",
    "from orders o",
    "join customers c on c.customer_id = o.customer_id",
    "join order_totals t on t.order_id = o.order_id",
    "where c.country = :COUNTRY and o.order_date between :FROM and :TO",
    "order by o.order_date, o.order_id"};

// (g) Sales of 2024 in charts: for each quarter its months' sales as bars on the
// quarter's footer, and on the summary the year's sales by product category as a pie.
// The rows are the sales of one category in one month; the charts add them up.
TReportBuilder SalesCharts() {
  TReportBuilder b("Sales charts 2024");
  TitleBlock(b, "Sales charts 2024", "Goods sold in 2024 by month and product category");

  TQRBand* columns = b.Band(rbColumnHeader, "ColumnHeaderBand", 7);
  b.ColumnTitles(columns, "Heading",
                 {{"Month", 0, 30, taLeftJustify}, {"Category", 34, 60, taLeftJustify},
                  {"Sales", 130, 50, taRightJustify}});

  TQRGroup* quarter = b.Group("QuarterGroup", "quarter", 8);
  TReportBuilder::Bold(b.Field(quarter, "QuarterName", "quarter", 0, 2, 40, taLeftJustify, "'Quarter '0"), 10);

  TQRBand* detail = b.Band(rbDetail, "DetailBand", 5);
  quarter->SetLinkBand(detail);
  b.Field(detail, "MonthName", "month_name", 0, 0.4, 30);
  b.Field(detail, "CategoryName", "category", 34, 0.4, 60);
  b.Field(detail, "Amount", "amount", 130, 0.4, 50, taRightJustify, kMoney);

  TQRBand* footer = b.Band(rbGroupFooter, "QuarterFooter", 78);
  quarter->SetFooterBand(footer);
  b.Rule(footer, "QuarterRule", 130, 0.5, 50);
  b.Field(footer, "QuarterTotalLabel", "quarter", 0, 1.5, 40, taLeftJustify, "'Total Q'0");
  TReportBuilder::Bold(b.Aggregate(footer, "QuarterTotal", "SUM(amount)", b.Report(), true, 130, 1.5, 50));
  auto* bars = b.Box<TQRChart>(footer, "QuarterChart", 0, 8, kWidth, 66);
  bars->SetChartType(ctBar);
  bars->SetTitle("Sales by month");
  bars->SetValueAxisTitle("Sales");
  bars->SetCategoryAxisTitle("Month");
  bars->SetLegendPosition(lpNone);
  bars->SetShowValues(true);
  bars->SetMask("#,##0");
  bars->Font()->SetName("Arial");
  bars->Font()->SetSize(8);
  TQRChartSeries* monthly = bars->Series()->AddSeries();
  monthly->SetTitle("Sales");
  monthly->SetCategory("month_name");
  monthly->SetValue("amount");
  monthly->SetAggregate(caSum);

  TQRBand* summary = b.Band(rbSummary, "SummaryBand", 110);
  b.Rule(summary, "YearRule", 0, 1, kWidth);
  TReportBuilder::Bold(b.Label(summary, "YearLabel", "Year 2024", 0, 3, 40), 10);
  TReportBuilder::Bold(b.Aggregate(summary, "YearTotal", "SUM(amount)", b.Report(), false, 130, 3, 50));
  auto* pie = b.Box<TQRChart>(summary, "CategoryChart", 0, 10, kWidth, 96);
  pie->SetChartType(ctPie);
  pie->SetTitle("Sales by product category");
  pie->SetLegendPosition(lpRight);
  pie->SetShowValues(true);
  pie->SetMask("#,##0");
  pie->SetCategoryOrder(coSorted);
  pie->Font()->SetName("Arial");
  pie->Font()->SetSize(8);
  TQRChartSeries* byCategory = pie->Series()->AddSeries();
  byCategory->SetTitle("Sales");
  byCategory->SetCategory("category");
  byCategory->SetValue("amount");

  PageFooter(b);
  return b;
}

const std::vector<std::string> kSalesChartsSql = {
    "select cast(strftime('%m', o.order_date) as integer) as month_no,",
    "       (cast(strftime('%m', o.order_date) as integer) + 2) / 3 as quarter,",
    "       substr('JanFebMarAprMayJunJulAugSepOctNovDec',",
    "              cast(strftime('%m', o.order_date) as integer) * 3 - 2, 3) as month_name,",
    "       c.name as category,",
    "       round(sum(l.quantity * l.unit_price * (1 - l.discount)), 2) as amount",
    "from orders o",
    "join order_lines l on l.order_id = o.order_id",
    "join products p on p.product_id = l.product_id",
    "join categories c on c.category_id = p.category_id",
    "where o.order_date between '2024-01-01' and '2024-12-31'",
    "group by month_no, c.category_id",
    "order by month_no, c.name"};

// (h) Invoices: one per order, meant to be burst into a file each (rpttool render
// invoices.rpt 'out/invoice-{KEY}.pdf' --burst order_id). The rows are the order lines
// with their order and customer, ordered by order; a group per order holds the address
// block and the table's headings, its footer the totals. Rendered whole, every order
// starts a page; burst, each file numbers its own pages ("Page 1 of 2"). The parameters
// FIRST and LAST choose a range of order numbers (default: all).
TReportBuilder Invoices() {
  TReportBuilder b("Invoice");
  TNotifyQuickRep* report = b.Report();
  for (const auto& [name, def, prompt] : {std::tuple{"FIRST", "1", "First order number"},
                                          std::tuple{"LAST", "999999999", "Last order number"}}) {
    TQRParameter* p = report->Parameters()->AddParameter();
    p->SetName(name);
    p->SetDataType(ptInteger);
    p->SetDefault(def);
    p->SetPrompt(prompt);
  }

  TQRBand* title = b.Band(rbTitle, "TitleBand", 16);
  TQRLabel* seller = b.Label(title, "SellerLabel", "Sample Trading Co.", 0, 0, 100);
  TReportBuilder::Bold(seller, 14);
  seller->Size()->SetHeight(7);
  b.Label(title, "SellerAddress", "1 Harbour Road - 20457 Hamburg - Germany", 0, 8, 120);
  TQRLabel* heading = b.Label(title, "InvoiceLabel", "INVOICE", 120, 0, 60, taRightJustify);
  TReportBuilder::Bold(heading, 16);
  heading->Size()->SetHeight(8);
  b.Rule(title, "TitleRule", 0, 14, kWidth);

  TQRGroup* order = b.Group("OrderGroup", "order_id", 41);
  order->SetForceNewPage(true);
  order->SetReprintOnNewPage(true);
  order->SetContinuedText("(continued)");
  order->SetBookmark("'Invoice ' + STR(order_id)");
  TQRDBText* company = b.Field(order, "Company", "company", 0, 2, 100);
  TReportBuilder::Bold(company, 10);
  company->Size()->SetHeight(4.8);
  b.Field(order, "Contact", "contact", 0, 7.5, 100);
  b.Field(order, "Street", "street", 0, 12, 100);
  b.Expr(order, "Place", "postal_code + ' ' + city", 0, 16.5, 100, taLeftJustify, "");
  b.Expr(order, "Country", "UPPER(country)", 0, 21, 100, taLeftJustify, "");
  TQRDBText* number = b.Field(order, "InvoiceNo", "order_id", 110, 2, 70, taRightJustify, "'Invoice no. '0");
  TReportBuilder::Bold(number, 10);
  number->Size()->SetHeight(4.8);
  b.Expr(order, "InvoiceDate", "'Date ' + order_date", 110, 7.5, 70, taRightJustify, "");
  b.Expr(order, "DueDate", "'Due ' + required_date", 110, 12, 70, taRightJustify, "");
  b.Expr(order, "ShipVia", "'Shipped by ' + ship_via", 110, 16.5, 70, taRightJustify, "");
  b.Expr(order, "Continued", "CONTINUED", 110, 21, 70, taRightJustify, "");
  int n = 0;
  for (const auto& [caption, left, width, alignment] :
       std::vector<std::tuple<std::string, double, double, TAlignment>>{
           {"Line", 0, 10, taRightJustify}, {"Product", 14, 76, taLeftJustify},
           {"Qty", 92, 14, taRightJustify}, {"Unit price", 108, 24, taRightJustify},
           {"Discount", 134, 16, taRightJustify}, {"Amount", 152, 28, taRightJustify}})
    TReportBuilder::Bold(b.Label(order, "Heading" + std::to_string(++n), caption, left, 33, width, alignment));
  b.Rule(order, "HeadingRule", 0, 38, kWidth);

  TQRBand* detail = b.Band(rbDetail, "LineBand", 5);
  order->SetLinkBand(detail);
  b.Field(detail, "LineNo", "line_no", 0, 0.4, 10, taRightJustify);
  b.Field(detail, "Product", "product", 14, 0.4, 76);
  b.Field(detail, "Quantity", "quantity", 92, 0.4, 14, taRightJustify);
  b.Field(detail, "UnitPrice", "unit_price", 108, 0.4, 24, taRightJustify, kMoney);
  b.Expr(detail, "Discount", "discount * 100", 134, 0.4, 16, taRightJustify, "0' %';;'-'");
  b.Field(detail, "Amount", "amount", 152, 0.4, 28, taRightJustify, kMoney);

  TQRBand* footer = b.Band(rbGroupFooter, "OrderFooter", 20);
  order->SetFooterBand(footer);
  b.Rule(footer, "TotalsRule", 108, 0.5, 72);
  b.Label(footer, "GoodsLabel", "Goods", 108, 1.5, 40);
  b.Aggregate(footer, "Goods", "SUM(amount)", report, true, 152, 1.5, 28);
  b.Label(footer, "FreightLabel", "Freight", 108, 6, 40);
  b.Field(footer, "Freight", "freight", 152, 6, 28, taRightJustify, kMoney);
  TReportBuilder::Bold(b.Label(footer, "TotalLabel", "Total due", 108, 11, 40));
  TReportBuilder::Bold(b.Aggregate(footer, "Total", "SUM(amount) + freight", report, true, 152, 11, 28));
  b.Aggregate(footer, "LineCount", "COUNT", report, true, 0, 1.5, 60, "0' lines'")->SetAlignment(taLeftJustify);

  TQRBand* summary = b.Band(rbSummary, "SummaryBand", 10);
  b.Label(summary, "TermsLabel", "Payable within 14 days. Thank you for your order.", 0, 3, 120);

  PageFooter(b, true);
  return b;
}

const std::vector<std::string> kInvoicesSql = {
    "select o.order_id, o.order_date, o.required_date, o.ship_via, o.freight,",
    "       c.company, c.contact, c.street, c.postal_code, c.city, c.country,",
    "       l.line_no, p.name as product, l.quantity, l.unit_price, l.discount,",
    "       round(l.quantity * l.unit_price * (1 - l.discount), 2) as amount",
    "from orders o",
    "join customers c on c.customer_id = o.customer_id",
    "join order_lines l on l.order_id = o.order_id",
    "join products p on p.product_id = l.product_id",
    "where o.order_id between :FIRST and :LAST",
    "order by o.order_id, l.line_no"};

struct TExample {
  const char* Name;
  std::function<TReportBuilder()> Build;
  const std::vector<std::string>& Sql;
};

void Write(const std::filesystem::path& folder, const TExample& example) {
  TReportBuilder builder = example.Build();
  const std::string bytes = ReportFileBytes(QueryHeader(example.Sql), builder.Report());
  const std::filesystem::path rpt = folder / (std::string(example.Name) + ".rpt");
  WriteFileAtomically(rpt.string(), bytes);
  WriteFileAtomically((folder / (std::string(example.Name) + ".txt")).string(), DumpStream(bytes));
  std::printf("%s\n", rpt.string().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_examples OUTDIR\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  try {
    rpt::SetUseInchDefaults(false);
    rpt::RegisterReportClasses();
    const std::filesystem::path folder(argv[1]);
    // The logo is drawn by scripts/make_sample_pictures.py into the repository's examples.
    gLogoFile = std::filesystem::path(RPT_EXAMPLES_DIR) / "company_logo.svg";
    for (const TExample& example : {TExample{"orders_by_customer", OrdersByCustomer, kOrdersByCustomerSql},
                                    TExample{"order_details", OrderDetails, kOrderDetailsSql},
                                    TExample{"customer_cards", CustomerCards, kCustomerCardsSql},
                                    TExample{"monthly_sales", MonthlySales, kMonthlySalesSql},
                                    TExample{"product_catalogue", ProductCatalogue, kProductCatalogueSql},
                                    TExample{"orders_by_country", OrdersByCountry, kOrdersByCountrySql},
                                    TExample{"sales_charts", SalesCharts, kSalesChartsSql},
                                    TExample{"invoices", Invoices, kInvoicesSql}})
      Write(folder, example);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_examples: %s\n", e.what());
    return 1;
  }
  return 0;
}
