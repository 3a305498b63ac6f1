// Generation of a grouped list, timed over whole runs: the report engine into a PDF file
// and into the page store, against a floor program that draws the same texts at the same
// places from the same query with nothing but QPainter on QPdfWriter. Per size it prints
// seconds, pages per second and the growth of the peak resident memory; for the page
// store also the time until the first page is in the store. Then the export pass of the
// same list into CSV and into a workbook, one row per detail: seconds and rows per second.
//
//   build/bench/bench_generation [--million] [--repeats N] [--sizes N,N,...] [--only KIND]
//   build/bench/bench_generation --preview [--repeats N] [--sizes N,N,...]
//   build/bench/bench_generation --write-report ROWS FILE.rpt
//   build/bench/bench_generation --floor ROWS OUT.pdf
//
// --preview measures only the time from the Preview command to the first page painted in
// the standard preview window (with a display or the off-screen platform).
//
// KIND (pdf, store, floor, csv or xlsx) runs one kind alone, for a profiler.
// --write-report saves the grouped list over the table of ROWS lines as a report file
// (its dataset the alias of the table, with RPT_DATA_DIR=/tmp/rpt-bench), and --floor
// runs the floor program once: bench/render_bench.sh times both as processes.
// The tables are made once in /tmp/rpt-bench/lines_N.db (deterministic rows, about 500
// customers, an index on customer and id) and reused. The best of the repeats counts
// (one run at 10^6), after one uncounted warm-up run of each kind at the smallest size.
#include <sqlite3.h>

#include <QFont>
#include <QFontMetricsF>
#include <QApplication>
#include <QElapsedTimer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "data/DBTables.h"
#include "expr/FormatSettings.h"
#include "framework/Emf.h"
#include "objects/CodePage.h"
#include "output/QRPrev.h"
#include "output/QRPrinter.h"
#include "report/QRDataCtrls.h"
#include "report/QRFile.h"
#include "report/QRTableFilters.h"
#include "report/QuickRpt.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path kFolder = "/tmp/rpt-bench";
const char* kSql = "SELECT id, customer, product, qty, price, amount FROM lines ORDER BY customer, id";

// ---------------------------------------------------------------------------
// Memory

long StatusKB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

// Resets the peak resident size to the current one (Linux 4.0+); false where refused.
bool ResetPeak() {
  {
    std::ofstream out("/proc/self/clear_refs");
    if (!(out << "5")) return false;
  }
  return StatusKB("VmHWM:") <= StatusKB("VmRSS:") + 64;
}

// ---------------------------------------------------------------------------
// Data: N order lines over 500 customers and 48 products, the same rows every time.

uint32_t Hash(uint64_t n, uint32_t salt) {
  uint32_t x = static_cast<uint32_t>(n * 2654435761u + salt);
  x = ((x >> 16) ^ x) * 0x45d9f3bu;
  x = ((x >> 16) ^ x) * 0x45d9f3bu;
  return (x >> 16) ^ x;
}

const char* const kFirstParts[25] = {
    "Nordlicht", "Sonnenhof",   "Blåbær",     "Żurawiec", "Ölmühle Brandt", "Čokoládovna", "Casa Peña",
    "Ελαιώνας",  "Берёзка",     "Café Noël",  "Granite Hill", "Blue Harbour", "Meadowbrook", "Fjordvik",
    "Jäger",     "Trois Pommes", "Oakridge",  "Lakeside", "Zöllner & Söhne", "Åkerlund", "Redwood",
    "Silverline", "Hôtel du Lac", "Pinecrest", "Dąbrowski"};
const char* const kLegalForms[20] = {"GmbH", "AG",  "KG",    "Ltd",  "PLC", "Inc.", "LLC", "S.A.", "S.L.", "SARL",
                                     "AB",   "AS",  "Oy",    "B.V.", "N.V.", "S.p.A.", "s.r.o.", "Sp. z o.o.",
                                     "& Co.", "Partners"};
const char* const kProducts[48] = {
    "Copy paper A4 80 g", "Notebook squared A5", "Sticky notes yellow", "Recycled paper A4", "Flip chart pad",
    "Envelopes C5 window", "Ballpoint pen blue", "Gel pen black", "Pencil HB", "Highlighter set",
    "Fineliner assortment", "Whiteboard marker", "Lever arch file 80 mm", "Ring binder A4", "Archive box",
    "Hanging folder", "Label roll 62 mm", "Document wallet", "Desk 160 × 80 cm", "Swivel chair Ergo",
    "Shelf unit 5 levels", "Monitor arm", "Footrest", "Whiteboard 120 × 90", "Desk calculator", "USB-C cable 2 m",
    "LED desk lamp", "Label printer", "Power strip 6-way", "Headset with microphone", "Dome tent 2 persons",
    "Steel flask 0.75 l", "Rain poncho", "Field notebook waterproof", "Head torch", "Thermo mug", "Espresso beans",
    "Café crème beans", "Green tea Sencha", "Rooibos Vanille", "Sugar sticks", "Paper cups 0.2 l", "Glass cleaner",
    "Microfibre cloths", "Hand soap refill", "Bin liners 60 l", "Screen wipes", "Disinfectant spray"};

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error("SQLite: " + message);
  }
}

// The table of a size, made when missing (written aside and renamed when complete).
fs::path Database(int64_t rows) {
  const fs::path file = kFolder / ("lines_" + std::to_string(rows) + ".db");
  if (fs::exists(file)) return file;
  fs::create_directories(kFolder);
  const fs::path part = file.string() + ".part";
  fs::remove(part);
  sqlite3* db = nullptr;
  if (sqlite3_open(part.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + part.string());
  Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  Exec(db,
       "CREATE TABLE lines(id INTEGER PRIMARY KEY, customer VARCHAR(60) NOT NULL, product VARCHAR(60) NOT NULL,"
       " qty INTEGER NOT NULL, price REAL NOT NULL, amount REAL NOT NULL)");
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO lines VALUES (?,?,?,?,?,?)", -1, &insert, nullptr);
  for (int64_t id = 1; id <= rows; ++id) {
    const uint32_t a = Hash(static_cast<uint64_t>(id), 1), b = Hash(static_cast<uint64_t>(id), 2);
    const uint32_t customer = a % 500, product = b % 48;
    const std::string name = std::string(kFirstParts[customer % 25]) + " " + kLegalForms[customer / 25];
    const int qty = 1 + static_cast<int>(a / 500 % 40);
    const int cents = 150 + static_cast<int>(Hash(product, 3) % 40000);
    sqlite3_bind_int64(insert, 1, id);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, kProducts[product], -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 4, qty);
    sqlite3_bind_double(insert, 5, cents / 100.0);
    sqlite3_bind_double(insert, 6, qty * cents / 100.0);
    if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
  Exec(db, "CREATE INDEX lines_customer ON lines(customer, id)");
  sqlite3_close(db);
  fs::rename(part, file);
  return file;
}

// ---------------------------------------------------------------------------
// The layout both programs print, in tenths of a millimetre: A4 portrait, 10 mm margins.

constexpr int32_t kPageLength = 2970, kMargin = 100;
constexpr int32_t kTitleHeight = 120, kPageHeaderHeight = 80, kGroupHeaderHeight = 60, kDetailHeight = 50,
                  kGroupFooterHeight = 60, kSummaryHeight = 100, kPageFooterHeight = 80;
// The columns: left edges; the numbers are right-aligned in boxes ending at kRight.
constexpr int32_t kIdLeft = 0, kCustomerLeft = 150, kProductLeft = 700, kQtyLeft = 1200, kPriceLeft = 1350,
                  kAmountLeft = 1580;
constexpr int32_t kQtyRight = 1300, kPriceRight = 1530, kAmountRight = 1900;
constexpr int32_t kPageLeft = 800;  // "Page N"
// The report font (Arial 10 at 96 pixels an inch: 13 pixels, 9.75 points) and the title's.
constexpr double kBodyPoints = 9.75, kTitlePoints = 14.25;

// ---------------------------------------------------------------------------
// The report

class TGroupedList {
 public:
  explicit TGroupedList(const std::string& alias) {
    using namespace rpt;
    FQuery = TComponent::Create<TQuery>(nullptr);
    FQuery->SetName("Lines");
    FQuery->SetDatabaseName(alias);
    FQuery->SQL()->SetText(kSql);

    FReport = TComponent::Create<TQuickRep>(nullptr);
    FReport->SetName("Report");
    TQRPage* page = FReport->Page();
    page->SetPaperSize(TQRPaperSize::A4);
    page->SetOrientation(poPortrait);
    for (int margin : {pvTopMargin, pvBottomMargin, pvLeftMargin, pvRightMargin}) page->SetValue(margin, kMargin / 10.0);
    FReport->SetDataSet(FQuery);

    auto* title = Label(Band(rbTitle, "Title", kTitleHeight), "TitleText", "Sales by customer", 0);
    title->Font()->SetHeight(-19);
    title->Font()->SetStyle(TFontStyles{fsBold});
    TQRBand* header = Band(rbPageHeader, "PageHeader", kPageHeaderHeight);
    Label(header, "HId", "Id", kIdLeft);
    Label(header, "HCustomer", "Customer", kCustomerLeft);
    Label(header, "HProduct", "Product", kProductLeft);
    Right(Label(header, "HQty", "Qty", kQtyLeft), kQtyRight);
    Right(Label(header, "HPrice", "Price", kPriceLeft), kPriceRight);
    Right(Label(header, "HAmount", "Amount", kAmountLeft), kAmountRight);

    auto* group = Add<TQRGroup>("ByCustomer", FReport);
    group->SetExpression("customer");
    group->Size()->SetHeight(kGroupHeaderHeight / 10.0);
    Field(group, "GroupCustomer", "customer", 0)->Font()->SetStyle(TFontStyles{fsBold});

    TQRBand* detail = Band(rbDetail, "Detail", kDetailHeight);
    Field(detail, "Id", "id", kIdLeft);
    Field(detail, "Customer", "customer", kCustomerLeft);
    Field(detail, "Product", "product", kProductLeft);
    Right(Field(detail, "Qty", "qty", kQtyLeft), kQtyRight);
    Right(Field(detail, "Price", "price", kPriceLeft), kPriceRight)->SetMask("0.00");
    Right(Field(detail, "Amount", "amount", kAmountLeft), kAmountRight)->SetMask("0.00");

    TQRBand* footer = Band(rbDetail, "GroupFooter", kGroupFooterHeight);
    group->SetFooterBand(footer);
    Label(footer, "FTotal", "Total", kPriceLeft);
    Total(footer, "GroupTotal", "SUM(amount)", true);

    TQRBand* summary = Band(rbSummary, "Summary", kSummaryHeight);
    Label(summary, "SLines", "Lines", kCustomerLeft);
    auto* count = Expr(summary, "LineCount", "COUNT", kProductLeft);
    count->SetMaster(FReport);
    Label(summary, "SGrand", "Grand total", kPriceLeft);
    Total(summary, "GrandTotal", "SUM(amount)", false);

    auto* pageNumber = Add<TQRSysData>("PageNumber", Band(rbPageFooter, "PageFooter", kPageFooterHeight));
    pageNumber->SetData(qrsPageNumber);
    pageNumber->SetText("Page ");
    pageNumber->Size()->SetLeft(kPageLeft / 10.0);
    pageNumber->Size()->SetTop(0);
  }

  ~TGroupedList() {
    FReport->Free();
    FQuery->Free();
  }

  rpt::TQuickRep& Report() { return *FReport; }
  rpt::TQuery& Query() { return *FQuery; }

 private:
  template <class T>
  T* Add(const std::string& name, rpt::TWinControl* parent) {
    T* c = rpt::TComponent::Create<T>(FReport);
    c->SetName(name);
    c->SetParent(parent);
    return c;
  }
  rpt::TQRBand* Band(rpt::TQRBandType type, const std::string& name, int32_t height) {
    auto* band = Add<rpt::TQRBand>(name, FReport);
    band->SetBandType(type);
    band->Size()->SetHeight(height / 10.0);
    return band;
  }
  template <class T>
  static T* Place(T* c, int32_t left) {
    c->Size()->SetLeft(left / 10.0);
    c->Size()->SetTop(0);
    return c;
  }
  rpt::TQRLabel* Label(rpt::TWinControl* band, const std::string& name, const std::string& caption, int32_t left) {
    auto* label = Add<rpt::TQRLabel>(name, band);
    label->SetCaption(caption);
    return Place(label, left);
  }
  rpt::TQRDBText* Field(rpt::TWinControl* band, const std::string& name, const std::string& field, int32_t left) {
    auto* text = Add<rpt::TQRDBText>(name, band);
    text->SetDataSet(FQuery);
    text->SetDataField(field);
    return Place(text, left);
  }
  rpt::TQRExpr* Expr(rpt::TWinControl* band, const std::string& name, const std::string& expression, int32_t left) {
    auto* expr = Add<rpt::TQRExpr>(name, band);
    expr->SetExpression(expression);
    return Place(expr, left);
  }
  void Total(rpt::TWinControl* band, const std::string& name, const std::string& expression, bool reset) {
    auto* total = Right(Expr(band, name, expression, kAmountLeft), kAmountRight);
    total->SetMask("0.00");
    total->SetMaster(FReport);
    total->SetResetAfterPrint(reset);
  }
  // A text right-aligned in a fixed box that ends at right.
  template <class T>
  static T* Right(T* c, int32_t right) {
    c->SetAutoSize(false);
    c->SetAlignment(rpt::taRightJustify);
    c->Size()->SetWidth((right - c->Size()->Native(rpt::TQRPrintableSize::szLeft)) / 10.0);
    return c;
  }

  rpt::TQuickRep* FReport = nullptr;
  rpt::TQuery* FQuery = nullptr;
};

// ---------------------------------------------------------------------------
// Runs

struct TRun {
  double Seconds = 0;
  int32_t Pages = 0;
  double PeakGrowthMB = 0;
  double PeakMB = 0;  // the whole process's high-water mark during the run
  double FirstPageMs = -1;
  std::vector<std::string> FirstPageTexts;
};

// Measures one run: time, and peak memory growth over the resident size before it.
template <class F>
TRun Measure(F run) {
  const long before = StatusKB("VmRSS:");
  ResetPeak();
  const auto start = Clock::now();
  TRun result = run(start);
  result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long peak = StatusKB("VmHWM:");
  result.PeakGrowthMB = (peak - before) / 1024.0;
  result.PeakMB = peak / 1024.0;
  return result;
}

// The texts of a recorded page, in drawing order.
std::vector<std::string> PageTexts(const rpt::TMetafile& page) {
  using namespace rpt;
  std::vector<std::string> texts;
  const std::string& bytes = page.Data();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t at = 0; at + 8 <= bytes.size();) {
    const uint32_t size = emf::GetU32(data + at + 4);
    if (size < 8 || at + size > bytes.size()) break;
    const emf::TRecordView record(data + at, size);
    if (record.Type() == emf::EMR_EXTTEXTOUTW) {
      const uint32_t count = record.U32(44), offset = record.U32(48);
      std::u16string wide;
      for (uint32_t i = 0; i < count; ++i) wide.push_back(static_cast<char16_t>(record.U16(offset + i * 2)));
      texts.push_back(Utf16ToUtf8(wide));
    }
    at += size;
  }
  return texts;
}

TRun EngineRun(TGroupedList& list, bool toPdf, const fs::path& pdf) {
  using namespace rpt;
  return Measure([&](Clock::time_point start) {
    auto owned = std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
    TQRPrinter* printer = owned.get();
    if (toPdf) {
      printer->OutputTarget = otPrinter;
      printer->Printer().SetOutputFileName(pdf.string());
    }
    list.Report().SetQRPrinter(std::move(owned));
    TRun run;
    // A preview shows the first page as soon as the store holds it: watched from aside.
    std::atomic<bool> done{false};
    std::atomic<double> firstPage{-1};
    std::thread watcher;
    if (!toPdf)
      watcher = std::thread([&] {
        while (!done && printer->PageList().TotalPages() < 1) std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (printer->PageList().TotalPages() >= 1)
          firstPage = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      });
    try {
      list.Query().Open();
      list.Report().GeneratePages();
    } catch (...) {
      done = true;
      if (watcher.joinable()) watcher.join();
      throw;
    }
    done = true;
    if (watcher.joinable()) watcher.join();
    run.FirstPageMs = firstPage;
    run.Pages = printer->TotalPages();
    if (!toPdf)
      if (std::unique_ptr<TMetafile> page = printer->PageImage(1)) run.FirstPageTexts = PageTexts(*page);
    list.Query().Close();
    list.Report().SetQRPrinter(nullptr);
    return run;
  });
}

// The export pass into a file of rows; the rows written stand where pages stand.
TRun ExportRun(TGroupedList& list, bool workbook, const fs::path& file) {
  return Measure([&](Clock::time_point) {
    std::unique_ptr<rpt::TQRTableFilter> filter;
    if (workbook)
      filter = std::make_unique<rpt::TQRXLSXFilter>(file.string());
    else
      filter = std::make_unique<rpt::TQRCSVFilter>(file.string());
    list.Query().Open();
    list.Report().ExportToFilter(*filter);
    list.Query().Close();
    TRun run;
    run.Pages = static_cast<int32_t>(filter->RowCount());
    return run;
  });
}

// What a pass asks of its dataset once its first page is out: the record count, for its
// progress figure.
double RecordCountMs(TGroupedList& list) {
  list.Query().Open();
  const auto start = Clock::now();
  list.Query().RecordCount();
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  list.Query().Close();
  return ms;
}

// The preview: from the Preview command (the dataset opened as F9 opens it) to the first
// page painted in the standard preview window, while the pass goes on; then Close, which
// stops the pass.
double PreviewFirstPaintMs(TGroupedList& list) {
  using namespace rpt;
  const auto start = Clock::now();
  list.Query().Open();
  list.Report().StartPreview(false);
  TQRStandardPreview* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* preview = dynamic_cast<TQRStandardPreview*>(w); preview && preview->isVisible()) window = preview;
  if (!window) throw std::runtime_error("the preview did not open");
  TQRPreviewImage* image = window->QRPreview()->Image();
  double painted = -1;
  image->OnPaint = [&](TObject*) {
    if (painted < 0 && image->HasPage())
      painted = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  QElapsedTimer timer;
  timer.start();
  while (painted < 0 && timer.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  window->close();
  while (list.Report().GenerationRunning() && timer.elapsed() < 120000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  list.Query().Close();
  return painted;
}

std::string Money(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  return buffer;
}

// The floor: the same query through the SQLite C interface and the same texts drawn with
// QPainter at the same places, laid out by hand.
TRun FloorRun(const fs::path& database, const fs::path& pdf) {
  return Measure([&](Clock::time_point) {
    TRun run;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      throw std::runtime_error("cannot open " + database.string());
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kSql, -1, &stmt, nullptr);

    QPdfWriter writer(QString::fromStdString(pdf.string()));
    writer.setResolution(300);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont body("Arial"), bold("Arial"), title("Arial");
    body.setPointSizeF(kBodyPoints);
    bold.setPointSizeF(kBodyPoints);
    bold.setBold(true);
    title.setPointSizeF(kTitlePoints);
    title.setBold(true);
    const QFontMetricsF bodyMetrics(body, &writer), boldMetrics(bold, &writer), titleMetrics(title, &writer);
    auto device = [](int32_t tenths) { return std::lround(tenths * 300.0 / 254.0); };

    int32_t page = 0, y = 0;
    const int32_t limit = kPageLength - kMargin - kPageFooterHeight;
    auto text = [&](const QFont& font, const QFontMetricsF& metrics, int32_t left, const QString& s) {
      painter.setFont(font);
      painter.drawText(QPointF(device(kMargin + left), device(y) + metrics.ascent()), s);
      if (page == 1) run.FirstPageTexts.push_back(s.toStdString());
    };
    auto right = [&](int32_t edge, const QString& s) {
      painter.setFont(body);
      const double x = device(kMargin + edge) - std::lround(bodyMetrics.horizontalAdvance(s));
      painter.drawText(QPointF(x, device(y) + bodyMetrics.ascent()), s);
      if (page == 1) run.FirstPageTexts.push_back(s.toStdString());
    };
    auto pageFooter = [&] {
      y = limit;
      text(body, bodyMetrics, kPageLeft, QStringLiteral("Page %1").arg(page));
    };
    auto newPage = [&] {
      if (page > 0) {
        pageFooter();
        writer.newPage();
      }
      ++page;
      y = kMargin;
      text(body, bodyMetrics, kIdLeft, QStringLiteral("Id"));
      text(body, bodyMetrics, kCustomerLeft, QStringLiteral("Customer"));
      text(body, bodyMetrics, kProductLeft, QStringLiteral("Product"));
      right(kQtyRight, QStringLiteral("Qty"));
      right(kPriceRight, QStringLiteral("Price"));
      right(kAmountRight, QStringLiteral("Amount"));
      y += kPageHeaderHeight;
    };
    // Room for a band of a height, on a new page when this one is full.
    auto room = [&](int32_t height) {
      if (page == 0 || y + height > limit) newPage();
    };

    room(kTitleHeight);
    text(title, titleMetrics, 0, QStringLiteral("Sales by customer"));
    y += kTitleHeight;
    std::string customer;
    double groupTotal = 0, grandTotal = 0;
    int64_t count = 0;
    auto groupFooter = [&] {
      room(kGroupFooterHeight);
      text(body, bodyMetrics, kPriceLeft, QStringLiteral("Total"));
      right(kAmountRight, QString::fromStdString(Money(groupTotal)));
      y += kGroupFooterHeight;
      groupTotal = 0;
    };
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
      if (count == 0 || customer != name) {
        if (count > 0) groupFooter();
        customer = name;
        room(kGroupHeaderHeight);
        text(bold, boldMetrics, 0, QString::fromUtf8(name));
        y += kGroupHeaderHeight;
      }
      room(kDetailHeight);
      const double amount = sqlite3_column_double(stmt, 5);
      text(body, bodyMetrics, kIdLeft, QString::number(sqlite3_column_int64(stmt, 0)));
      text(body, bodyMetrics, kCustomerLeft, QString::fromUtf8(name));
      text(body, bodyMetrics, kProductLeft,
           QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2))));
      right(kQtyRight, QString::number(sqlite3_column_int64(stmt, 3)));
      right(kPriceRight, QString::fromStdString(Money(sqlite3_column_double(stmt, 4))));
      right(kAmountRight, QString::fromStdString(Money(amount)));
      y += kDetailHeight;
      groupTotal += amount;
      grandTotal += amount;
      ++count;
    }
    if (count > 0) groupFooter();
    room(kSummaryHeight);
    text(body, bodyMetrics, kCustomerLeft, QStringLiteral("Lines"));
    text(body, bodyMetrics, kProductLeft, QString::number(count));
    text(body, bodyMetrics, kPriceLeft, QStringLiteral("Grand total"));
    right(kAmountRight, QString::fromStdString(Money(grandTotal)));
    pageFooter();
    painter.end();
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    run.Pages = page;
    return run;
  });
}

// ---------------------------------------------------------------------------

struct TCase {
  const char* Name;
  TRun Best;
  bool Done = false;
  // The fastest run counts; the peak is the highest and the first page the soonest seen.
  void Add(const TRun& run) {
    const double peak = Done ? std::max(Best.PeakGrowthMB, run.PeakGrowthMB) : run.PeakGrowthMB;
    const double total = Done ? std::max(Best.PeakMB, run.PeakMB) : run.PeakMB;
    double first = run.FirstPageMs;
    if (Done && Best.FirstPageMs >= 0 && (first < 0 || Best.FirstPageMs < first)) first = Best.FirstPageMs;
    if (!Done || run.Seconds < Best.Seconds) Best = run;
    Best.PeakGrowthMB = peak;
    Best.PeakMB = total;
    Best.FirstPageMs = first;
    Done = true;
  }
};

void PrintRowsCase(int64_t rows, const TCase& c) {
  std::printf("%9lld  %-16s %9.3f %7d %9.0f %9.1f %9.1f\n", static_cast<long long>(rows), c.Name, c.Best.Seconds,
              c.Best.Pages, c.Best.Pages / c.Best.Seconds, c.Best.PeakGrowthMB, c.Best.PeakMB);
}

void PrintCase(int64_t rows, const TCase& c) {
  std::printf("%9lld  %-16s %9.3f %7d %9.1f %9.1f %9.1f", static_cast<long long>(rows), c.Name, c.Best.Seconds,
              c.Best.Pages, c.Best.Pages / c.Best.Seconds, c.Best.PeakGrowthMB, c.Best.PeakMB);
  if (c.Best.FirstPageMs >= 0) std::printf(" %10.1f", c.Best.FirstPageMs);
  std::printf("\n");
}

std::vector<int64_t> ParseSizes(const char* text) {
  std::vector<int64_t> sizes;
  for (const char* p = text; *p;) {
    char* end = nullptr;
    const long long n = std::strtoll(p, &end, 10);
    if (end == p || n < 1) throw std::runtime_error(std::string("bad size list: ") + text);
    sizes.push_back(n);
    p = *end == ',' ? end + 1 : end;
  }
  return sizes;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int64_t> sizes{10000, 100000};
  int repeats = 3;
  bool preview = false;  // the time to the first page painted in a preview, alone
  std::string only;  // one kind alone (for profiling): pdf, store, floor, csv or xlsx
  std::string writeReport, floorPdf;  // one process's work for bench/render_bench.sh
  int64_t oneSize = 0;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if ((arg == "--write-report" || arg == "--floor") && i + 2 < argc) {
        oneSize = ParseSizes(argv[++i]).at(0);
        (arg == "--floor" ? floorPdf : writeReport) = argv[++i];
      } else if (arg == "--million") {
        sizes.push_back(1000000);
      } else if (arg == "--preview") {
        preview = true;
      } else if (arg == "--repeats" && i + 1 < argc) {
        repeats = std::max(1, std::atoi(argv[++i]));
      } else if (arg == "--only" && i + 1 < argc && std::strstr("pdf store floor csv xlsx", argv[i + 1])) {
        only = argv[++i];
      } else if (arg == "--sizes" && i + 1 < argc) {
        sizes = ParseSizes(argv[++i]);
      } else {
        std::fprintf(stderr, "usage: bench_generation [--million] [--repeats N] [--sizes N,N,...] [--only pdf|store|floor|csv|xlsx]\n");
        return 2;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_generation: %s\n", e.what());
    return 2;
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  setenv("RPT_DATA_DIR", kFolder.c_str(), 1);
  setenv("RPT_ALIAS_FILE", "/nonexistent/aliases.ini", 1);
  rpt::SetUseInchDefaults(false);
  rpt::RegisterReportClasses();
  rpt::SetEvFormatSettings(rpt::TFormatSettings::FromLocale("C"));

  try {
    if (!writeReport.empty()) {
      TGroupedList list(Database(oneSize).stem().string());
      rpt::WriteFileAtomically(writeReport, rpt::ReportFileBytes(rpt::DataSetHeader(&list.Query()), &list.Report()));
      return 0;
    }
    if (!floorPdf.empty()) {
      const TRun run = FloorRun(Database(oneSize), floorPdf);
      std::printf("%d pages\n", run.Pages);
      return 0;
    }
    if (preview) {
      rpt::RegisterStandardPreview();
      std::printf("Grouped list in the preview: from the Preview command to the first page painted (best of %d)\n",
                  repeats);
      for (const int64_t rows : sizes) {
        TGroupedList list(Database(rows).stem().string());
        PreviewFirstPaintMs(list);  // fonts and plugins load once, uncounted
        double best = -1, worst = -1;
        for (int i = 0; i < repeats; ++i) {
          const double ms = PreviewFirstPaintMs(list);
          if (ms >= 0 && (best < 0 || ms < best)) best = ms;
          worst = std::max(worst, ms);
        }
        std::printf("%9lld rows  first page painted after %.1f ms, worst %.1f ms (target <= 150)\n",
                    static_cast<long long>(rows), best, worst);
        std::fflush(stdout);
      }
      return 0;
    }
    const bool peakResets = ResetPeak();
    std::printf("Grouped list (A4, group on customer with a total, 6 fields a detail, summary, \"Page N\")\n");
    std::printf("best of %d (one run at 10^6); growth: of the resident high-water mark over the resident size before\n"
                "the run; peak: the process's high-water mark during it%s\n",
                repeats, peakResets ? "" : " (NOT reset between runs here: figures include earlier runs)");
    const fs::path enginePdf = kFolder / "generation-engine.pdf", floorPdf = kFolder / "generation-floor.pdf";
    const fs::path exportCsv = kFolder / "generation-export.csv", exportBook = kFolder / "generation-export.xlsx";
    auto wants = [&only](const char* kind) { return only.empty() || only == kind; };
    bool warmed = false;
    std::printf("%9s  %-16s %9s %7s %9s %9s %9s %10s\n", "rows", "case", "seconds", "pages", "pages/s", "growth MB",
                "peak MB", "first ms");
    for (const int64_t rows : sizes) {
      const fs::path file = Database(rows);
      TGroupedList list(file.stem().string());
      if (!warmed) {
        // Fonts, plugins and the driver load once, uncounted.
        if (only.empty() || only == "pdf") EngineRun(list, true, enginePdf);
        if (only.empty() || only == "store") EngineRun(list, false, enginePdf);
        if (only.empty() || only == "floor") FloorRun(file, floorPdf);
        if (wants("csv")) ExportRun(list, false, exportCsv);
        if (wants("xlsx")) ExportRun(list, true, exportBook);
        warmed = true;
      }
      TCase pdf{"engine to PDF", {}}, store{"engine to store", {}}, floor{"floor (QPainter)", {}};
      TCase csv{"export to CSV", {}}, book{"export to XLSX", {}};
      const int n = rows >= 1000000 ? 1 : repeats;
      for (int i = 0; i < n; ++i) {
        if (only.empty() || only == "pdf") pdf.Add(EngineRun(list, true, enginePdf));
        if (only.empty() || only == "store") store.Add(EngineRun(list, false, enginePdf));
        if (only.empty() || only == "floor") floor.Add(FloorRun(file, floorPdf));
        if (wants("csv")) csv.Add(ExportRun(list, false, exportCsv));
        if (wants("xlsx")) book.Add(ExportRun(list, true, exportBook));
      }
      for (const TCase* c : {&pdf, &store, &floor})
        if (c->Done) PrintCase(rows, *c);
      if (csv.Done || book.Done) std::printf("%9s  %-16s %9s %7s %9s\n", "", "", "", "rows", "rows/s");
      for (const TCase* c : {&csv, &book})
        if (c->Done) PrintRowsCase(rows, *c);
      if (!only.empty()) continue;
      std::printf("%9s  PDF / floor %.2f (target <= 1.3), store / floor %.2f (target <= 0.5)\n", "",
                  pdf.Best.Seconds / floor.Best.Seconds, store.Best.Seconds / floor.Best.Seconds);
      std::printf("%9s  the record count a pass asks after its first page: %.1f ms\n", "", RecordCountMs(list));
      if (store.Best.Pages != floor.Best.Pages || pdf.Best.Pages != floor.Best.Pages)
        std::printf("%9s  WARNING: page counts differ (engine %d / %d, floor %d)\n", "", pdf.Best.Pages,
                    store.Best.Pages, floor.Best.Pages);
      if (store.Best.FirstPageTexts != floor.Best.FirstPageTexts) {
        std::printf("%9s  WARNING: the first pages' texts differ (engine %zu, floor %zu texts)\n", "",
                    store.Best.FirstPageTexts.size(), floor.Best.FirstPageTexts.size());
        const auto& a = store.Best.FirstPageTexts;
        const auto& b = floor.Best.FirstPageTexts;
        for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
          if (i >= a.size() || i >= b.size() || a[i] != b[i]) {
            std::printf("%9s  first difference at text %zu: \"%s\" / \"%s\"\n", "", i,
                        i < a.size() ? a[i].c_str() : "", i < b.size() ? b[i].c_str() : "");
            break;
          }
      }
      std::fflush(stdout);
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_generation: %s\n", e.what());
    return 1;
  }
}
