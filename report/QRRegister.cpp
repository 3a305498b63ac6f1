#include <mutex>

#include "data/DBTables.h"
#include "report/QRChart.h"
#include "report/QRDataCtrls.h"
#include "report/QRPictures.h"

namespace rpt {

void RegisterReportClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The report's own classes, then the elements the palette offers.
    RegisterStreamClasses({&TQuickRep::StaticClass(), &TQRBand::StaticClass(), &TQRGroup::StaticClass(),
                           &TQRSubDetail::StaticClass(), &TQRExpr::StaticClass(), &TQRShape::StaticClass()});
    RegisterDataClasses();
    RegisterStreamClasses({&TQRChildBand::StaticClass(), &TQRLabel::StaticClass(), &TQRDBText::StaticClass(),
                           &TQRSysData::StaticClass(), &TQRMemo::StaticClass(), &TQRExprMemo::StaticClass(),
                           &TNotifyQuickRep::StaticClass()});
    RegisterStreamClasses({&TQRImage::StaticClass(), &TQRDBImage::StaticClass(), &TQRBarcode::StaticClass(),
                           &TQRChart::StaticClass()});
  });
}

}  // namespace rpt
