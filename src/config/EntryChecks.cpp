#include "config/EntryChecks.h"

#include "common/TextHelpers.h"
#include "config/SettingRecords.h"
#include "config/SetupGenParameters.h"

namespace tarvek {

EntryCheck CheckEntry(const Declarations::RateNames& names, int index, const QString& text) {
    EntryCheck check;
    check.text = text;
    const double n = LeadingNumber(text);
    if (index == SerialLineBox) {
        if (!(n >= FirstSerialLine && n <= LastSerialLine))
            check.text = QString::number(FirstSerialLine);
    } else if (index == StorageRateBox) {
        if (!(n >= FirstStorageRate && n <= LastStorageRate))
            check.text = QString::number(FirstStorageRate);
        check.setsCaption = true;
        check.caption = StorageRateCaption(names, check.text);
    }
    return check;
}

} // namespace tarvek
