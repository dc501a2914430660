// What the window asks of the desktop it runs on. Plain C++; the real
// desktop is QtPlatform's (qt_platform.h).
#pragma once

#include <string>

#include "platform/status.h"

namespace codekiln {

class Desktop {
public:
    virtual ~Desktop() = default;

    /// Shows a folder in the desktop's file manager; returns at once.
    virtual Status openFolder(const std::string& path) = 0;
};

}  // namespace codekiln
