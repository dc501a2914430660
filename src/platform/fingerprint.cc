// Fingerprints: XXH3-128 through xxHash (header only, inlined), SHA-256 of
// older manifests through QCryptographicHash.
#include "platform/fingerprint.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <cstdint>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace codekiln {

Fingerprint fingerprintOf(const std::string& bytes, HashKind hash) {
    Fingerprint f{static_cast<std::int64_t>(bytes.size()), hash, {}};
    if (hash == HashKind::Sha256) {
        QCryptographicHash sha(QCryptographicHash::Sha256);
        sha.addData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
        f.digest = sha.result().toHex().toStdString();
        return f;
    }
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes.data(), bytes.size()));
    static const char kHex[] = "0123456789abcdef";
    f.digest.reserve(2 * sizeof canonical.digest);
    for (const unsigned char byte : canonical.digest) {
        f.digest += kHex[byte >> 4];
        f.digest += kHex[byte & 15];
    }
    return f;
}

}  // namespace codekiln
