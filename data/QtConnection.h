#pragma once
// A registered Qt database connection under a unique name, removed again when done
// (internal to data/).
#include <QSqlDatabase>
#include <QString>
#include <atomic>

namespace rpt::engine {

class TQtConnection {
 public:
  explicit TQtConnection(const char* driver) {
    static std::atomic<int> counter{0};
    FName = QStringLiteral("rpt-connection-%1").arg(++counter);
    FDb = QSqlDatabase::addDatabase(QString::fromLatin1(driver), FName);
  }
  ~TQtConnection() {
    FDb.close();
    FDb = QSqlDatabase();
    QSqlDatabase::removeDatabase(FName);
  }
  TQtConnection(const TQtConnection&) = delete;
  TQtConnection& operator=(const TQtConnection&) = delete;
  QSqlDatabase& Db() { return FDb; }

 private:
  QString FName;
  QSqlDatabase FDb;
};

}  // namespace rpt::engine
