// Failures put into words. A wording is a pattern per code: {path}, {name},
// {detail}, {line} and {count} stand for the failure's own fields,
// {(detail)} for " (detail)" when there is a detail, and {cause} for the
// failure that explains it; a failure with a cause its pattern does not
// place is worded after it, "cause; failure".
#pragma once

#include <string>

#include "platform/status.h"

namespace codekiln {

/// The pattern of `reason` in one language; nullptr for a code it lacks.
using Wording = const char* (*)(const Reason& reason);

/// `reason` put into words by `wording`.
std::string renderReason(const Reason& reason, Wording wording);

/// The English pattern of each code (nullptr for None and Last).
const char* englishWording(const Reason& reason);

/// `reason` in English, as the command line and its reports show it.
std::string englishText(const Reason& reason);
inline std::string englishText(const Status& status) { return englishText(status.reason); }

}  // namespace codekiln
