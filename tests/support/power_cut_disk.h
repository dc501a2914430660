// After a power cut: the tree put back to what the disk held, as recorded by
// the preloaded power-cut library (tests/support/power_cut_preload.cc).
#pragma once

#include <string>

namespace codekiln::testing {

/// Replaces everything below `root` with its durable state recorded in
/// `state`: each folder with the entries it had at its last sync, each file
/// with the bytes it had at its last sync (empty when it never had one),
/// hard links as links. Returns an empty string, or what went wrong.
std::string rollBackToDisk(const std::string& root, const std::string& state);

/// The changes the program made to the tree before it stopped.
long powerCutChanges(const std::string& state);

}  // namespace codekiln::testing
