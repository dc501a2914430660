// The modern layout.
#include "format/modern_layout.h"

namespace codekiln {

ModernFile formatModern(std::string_view text, const ModernOptions& options) {
    (void)options;
    ModernFile file;
    file.text.assign(text);
    return file;
}

}  // namespace codekiln
