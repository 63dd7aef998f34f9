#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <optional>

namespace tarvek {

// The seals' cryptography, on libsodium: SHA-256 for the chain, Ed25519
// (RFC 8032) for the lines, so that stock tools check both.
inline constexpr int DigestBytes = 32, PublicKeyBytes = 32, SignatureBytes = 64, SeedBytes = 32;
using Digest = std::array<unsigned char, DigestBytes>;
using PublicKey = std::array<unsigned char, PublicKeyBytes>;
using Signature = std::array<unsigned char, SignatureBytes>;

Digest Sha256Of(QByteArrayView bytes);
QByteArray HexOf(const unsigned char* bytes, int n);
template <std::size_t N> QByteArray HexOf(const std::array<unsigned char, N>& bytes) {
    return HexOf(bytes.data(), int(N));
}
// The bytes of `n` * 2 lower-case hex digits, or nothing for any other text.
std::optional<QByteArray> BytesOfHex(QByteArrayView hex, int n);

// A signing key. Its secret half lives only here and is wiped (sodium_memzero)
// when the key goes; a moved-from key holds nothing.
class SealKey {
  public:
    static SealKey Generate();
    static std::optional<SealKey> FromSeed(QByteArrayView seed);
    SealKey(SealKey&& other) noexcept;
    SealKey& operator=(SealKey&& other) noexcept;
    SealKey(const SealKey&) = delete;
    SealKey& operator=(const SealKey&) = delete;
    ~SealKey();

    const PublicKey& Public() const { return public_; }
    // The 32 bytes the key is made from, for its file: the caller wipes them.
    QByteArray Seed() const;
    Signature Sign(QByteArrayView message) const;

  private:
    SealKey() = default;
    void Wipe();

    std::array<unsigned char, 64> secret_{};
    PublicKey public_{};
};

bool SignatureHolds(const PublicKey& key, QByteArrayView message, const Signature& signature);

// The public key as an auditor's tools take it: DER and PEM
// SubjectPublicKeyInfo (RFC 8410), its fingerprint (SHA-256 of the DER, 64
// hex digits) and its id (the fingerprint's first 16 digits, in every line).
QByteArray PublicKeyDer(const PublicKey& key);
QByteArray PublicKeyPem(const PublicKey& key);
std::optional<PublicKey> PublicKeyOfPem(QByteArrayView pem);
QByteArray Fingerprint(const PublicKey& key);
QByteArray KeyId(const PublicKey& key);
inline constexpr int KeyIdLength = 16;

// Overwrites the bytes of `bytes` with zeros (the compiler may not drop it).
void Wipe(QByteArray& bytes);

} // namespace tarvek
