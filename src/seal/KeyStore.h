#pragma once

#include "seal/SealCrypto.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarvek {

// The sealer's keys on the disk. The private key lives in a folder only the
// sealer may enter (made 0700; refused when others may), in current.key (mode
// 0600, made with O_EXCL and synced): "TARVEK-SEAL-KEY-1 mm-yyyy <base64 seed>".
// A month's new key waits in next.key until the lines naming it are on the
// disk; then the old file is overwritten with zeros, synced and removed, and
// the new one takes its name. Every key made is listed in seals/keys.txt with
// its fingerprint and its public key as PEM, for tarvek-verify and openssl.
class KeyStore {
  public:
    KeyStore(QString keyFolder, QString sealFolder);
    ~KeyStore();
    KeyStore(const KeyStore&) = delete;
    KeyStore& operator=(const KeyStore&) = delete;

    struct Current {
        std::unique_ptr<SealKey> key;
        int month = 0;     // the month it signs for
        bool made = false; // none was found: this one was made now
    };
    // The current key; a new one for `month` when there is none. The folder
    // stays locked (flock) until the store goes: two sealers on one key
    // would write each other's lines over. A rotation
    // cut short is finished when `named` says the seals name the next key,
    // else undone. Nothing, with `error` set, when the folder or a key file
    // cannot be trusted or used.
    std::optional<Current> Load(int month, qint64 utcMs, const std::function<bool(const PublicKey&)>& named,
                                QString* error);
    // Keeps `key` in next.key and lists it: an error's text, or nothing.
    std::optional<QString> StoreNext(const SealKey& key, int month, qint64 utcMs);
    // Wipes the current key and puts the next one in its place.
    std::optional<QString> Commit();

  private:
    QString Path(const char* name) const;
    std::optional<QString> WriteKey(const char* name, const SealKey& key, int month);
    std::optional<QString> ListKey(const SealKey& key, int month, qint64 utcMs);

    QString keyFolder_;
    QString sealFolder_;
    int lock_ = -1;
};

// The keys seals/keys.txt lists, in the order they were made.
struct ListedKey {
    PublicKey key{};
    int month = -1;
};
std::vector<ListedKey> ParseKeyList(QByteArrayView text);

} // namespace tarvek
