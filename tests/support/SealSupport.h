#pragma once

// An application folder with the sealer service run in-process on the test's
// clock (UTC, a boot clock of its own) and tarvek-verify's check of it.
#include "seal/SealService.h"
#include "seal/VerifyFolder.h"

#include "support/TestSupport.h"

namespace tarvek {

class SealFolderTest : public AppFolderTest {
  public: // the rows of a table reach in
    QString Path(const QString& name) const { return state.AppFolder + u'/' + name; }
    void Start() {
        Sealer::Rules rules;
        rules.zone = QTimeZone::utc();
        service = std::make_unique<SealService>(
            SealService::Folders{Path("datafiles"), Path("seals"), Path("keys")},
            [this] { return SealTime{utc, 0, "UTC", QByteArray(32, 'c'), boot, true, 1000}; }, rules);
        ASSERT_TRUE(service->Start()) << qPrintable(service->Error());
    }
    void Pass(qint64 ms) {
        utc += ms, boot += ms;
        ASSERT_TRUE(service->Step()) << qPrintable(service->Error());
    }
    // The check, against what a subscriber kept in `witness` when it is named.
    FolderReport Verify(const QString& witness = {}) const {
        return VerifyFolder({Path("datafiles"), Path("seals"), std::nullopt, std::nullopt,
                             witness.isEmpty() ? QString() : Path(witness), utc, QTimeZone::utc()});
    }

    qint64 utc = 0, boot = 5'000'000;
    std::unique_ptr<SealService> service;
};

} // namespace tarvek
