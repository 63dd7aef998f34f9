#include "config/EntryChecks.h"

#include "common/TextHelpers.h"
#include "config/SetupGenParameters.h"

namespace tarvek {

EntryCheck CheckEntry(const Declarations::RateNames& names, int index, const QString& text) {
    EntryCheck check;
    check.text = text;
    const double n = LeadingNumber(text);
    if (index == SerialLineBox) {
        if (!(n >= 1 && n <= 8))
            check.text = QStringLiteral("1");
    } else if (index == StorageRateBox) {
        if (!(n >= 0 && n <= 9))
            check.text = QStringLiteral("0");
        check.setsCaption = true;
        check.caption = StorageRateCaption(names, check.text);
    }
    return check;
}

} // namespace tarvek
