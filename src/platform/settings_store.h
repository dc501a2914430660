// The per-user settings store: a few texts kept from one program start to
// the next, shared by every program of the user (the window and the
// command line read and store the same backup slot). Plain C++; the real
// store is QtPlatform's (qt_platform.h).
#pragma once

#include <string>

#include "platform/status.h"

namespace codekiln {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    /// The settings store of application "codekiln": the stored text, or the
    /// empty text when nothing is stored.
    virtual std::string readSetting(const std::string& section, const std::string& key) = 0;
    virtual Status writeSetting(const std::string& section, const std::string& key,
                                const std::string& value) = 0;
};

}  // namespace codekiln
