#include "seal/SealCrypto.h"

#include <sodium.h>

#include <cstring>
#include <stdexcept>

namespace tarvek {

namespace {

// Called before any use: sodium_init is idempotent and thread-safe.
void EnsureSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium cannot start");
}

// The 12 bytes before the key in an Ed25519 SubjectPublicKeyInfo (RFC 8410).
constexpr unsigned char SpkiPrefix[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03,
                                        0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};

} // namespace

Digest Sha256Of(QByteArrayView bytes) {
    Digest d;
    crypto_hash_sha256(d.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                       static_cast<unsigned long long>(bytes.size()));
    return d;
}

QByteArray HexOf(const unsigned char* bytes, int n) {
    return QByteArray(reinterpret_cast<const char*>(bytes), n).toHex();
}

std::optional<QByteArray> BytesOfHex(QByteArrayView hex, int n) {
    if (hex.size() != 2 * n)
        return std::nullopt;
    for (char c : hex)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return std::nullopt;
    return QByteArray::fromHex(hex.toByteArray());
}

SealKey SealKey::Generate() {
    EnsureSodium();
    SealKey key;
    crypto_sign_keypair(key.public_.data(), key.secret_.data());
    return key;
}

std::optional<SealKey> SealKey::FromSeed(QByteArrayView seed) {
    EnsureSodium();
    if (seed.size() != SeedBytes)
        return std::nullopt;
    SealKey key;
    crypto_sign_seed_keypair(key.public_.data(), key.secret_.data(),
                             reinterpret_cast<const unsigned char*>(seed.data()));
    return key;
}

SealKey::SealKey(SealKey&& other) noexcept : secret_(other.secret_), public_(other.public_) {
    other.Wipe();
}

SealKey& SealKey::operator=(SealKey&& other) noexcept {
    if (this != &other) {
        secret_ = other.secret_, public_ = other.public_;
        other.Wipe();
    }
    return *this;
}

SealKey::~SealKey() {
    Wipe();
}

void SealKey::Wipe() {
    sodium_memzero(secret_.data(), secret_.size());
    public_.fill(0);
}

QByteArray SealKey::Seed() const {
    QByteArray seed(SeedBytes, '\0');
    crypto_sign_ed25519_sk_to_seed(reinterpret_cast<unsigned char*>(seed.data()), secret_.data());
    return seed;
}

Signature SealKey::Sign(QByteArrayView message) const {
    Signature s;
    crypto_sign_detached(s.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                         static_cast<unsigned long long>(message.size()), secret_.data());
    return s;
}

bool SignatureHolds(const PublicKey& key, QByteArrayView message, const Signature& signature) {
    EnsureSodium();
    return crypto_sign_verify_detached(signature.data(),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       static_cast<unsigned long long>(message.size()), key.data()) == 0;
}

QByteArray PublicKeyDer(const PublicKey& key) {
    return QByteArray(reinterpret_cast<const char*>(SpkiPrefix), sizeof SpkiPrefix) +
           QByteArray(reinterpret_cast<const char*>(key.data()), PublicKeyBytes);
}

QByteArray PublicKeyPem(const PublicKey& key) {
    return "-----BEGIN PUBLIC KEY-----\n" + PublicKeyDer(key).toBase64() + "\n-----END PUBLIC KEY-----\n";
}

std::optional<PublicKey> PublicKeyOfPem(QByteArrayView pem) {
    const QByteArray text = pem.toByteArray().trimmed();
    const QByteArray begin = "-----BEGIN PUBLIC KEY-----", end = "-----END PUBLIC KEY-----";
    if (!text.startsWith(begin) || !text.endsWith(end))
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(
        text.mid(begin.size(), text.size() - begin.size() - end.size()).simplified().replace(' ', ""),
        QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray& der = *decoded;
    if (!decoded || der.size() != int(sizeof SpkiPrefix) + PublicKeyBytes ||
        std::memcmp(der.constData(), SpkiPrefix, sizeof SpkiPrefix) != 0)
        return std::nullopt;
    PublicKey key;
    std::memcpy(key.data(), der.constData() + sizeof SpkiPrefix, PublicKeyBytes);
    return key;
}

QByteArray Fingerprint(const PublicKey& key) {
    return HexOf(Sha256Of(PublicKeyDer(key)));
}

QByteArray KeyId(const PublicKey& key) {
    return Fingerprint(key).left(KeyIdLength);
}

void Wipe(QByteArray& bytes) {
    if (!bytes.isEmpty())
        sodium_memzero(bytes.data(), std::size_t(bytes.size()));
}

} // namespace tarvek
