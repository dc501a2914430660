// The size and hash of a file's bytes, as the run records them in its
// manifest and a restore compares them. Plain C++ over xxHash and SHA-256.
#pragma once

#include <string>

#include "platform/run_manifest.h"

namespace codekiln {

/// The size and hash of `bytes`, the hash of the kind asked for. Keeps no
/// state: safe from several threads at once.
Fingerprint fingerprintOf(const std::string& bytes, HashKind hash = HashKind::Xxh3_128);

}  // namespace codekiln
