#pragma once

#include "seal/KeyStore.h"
#include "seal/Sealer.h"

#include <QString>

#include <optional>
#include <set>
#include <vector>

namespace tarvek {

// The seals folder on the disk: the sealed copies, the months' seals and
// keys.txt. Only the sealer writes here, each write synced before the next,
// and a new file's entry synced into the folder.
class SealStore {
  public:
    explicit SealStore(QString folder) : folder_(std::move(folder)) {}

    // Makes the folder (0755) where missing: an error's text, or nothing.
    std::optional<QString> Open();

    // What the seals hold, month by month, and the public keys (hex) their
    // Close and Key lines name. A torn last line (a power cut) is first
    // completed with blanks, so that the next line keeps its place.
    struct Recovered {
        std::vector<MonthSeals> months;
        std::set<QByteArray> namedKeys;
        QByteArray lastKey; // the id of the key of the newest month's last line
    };
    std::optional<Recovered> Recover(QString* error);

    // The records of a sealed copy, a data copy's without its count record.
    QByteArray SealedRecords(MonthFileKind kind, int month) const;

    std::optional<QString> Apply(const std::vector<SealAction>& actions, KeyStore& keys, qint64 utcMs);

    const QString& Folder() const { return folder_; }

  private:
    std::optional<QString> Recover(const QString& name, MonthSeals* month, Recovered* recovered);
    std::optional<QString> Append(const SealAction& action);
    // Bytes at their offsets, then the file cut to `size`, synced.
    using Piece = std::pair<qint64, QByteArrayView>;
    std::optional<QString> WriteAt(const QString& name, const std::vector<Piece>& pieces,
                                   std::optional<qint64> size = std::nullopt);

    QString folder_;
};

} // namespace tarvek
