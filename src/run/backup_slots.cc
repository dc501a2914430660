// The backup slots. The stored slot is read as a decimal number and rounded
// half to even. The number is handled as its digit strings rather than as a
// double, so that an exact half is seen exactly ("2.5" and
// "2.50000000000000000001" differ).
#include "run/backup_slots.h"

#include <string>

#include <cstddef>

namespace codekiln {

namespace {

constexpr int kHighestSlot = kBackupSlots;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int parseBackupSlot(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') ++pos;

    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }

    // Integer part. Only its value up to the highest slot matters: anything
    // larger is out of range whatever the fraction, so it is capped there.
    long long whole = 0;
    bool tooLarge = false;
    bool anyDigit = false;
    while (pos < text.size() && isDigit(text[pos])) {
        anyDigit = true;
        whole = whole * 10 + (text[pos] - '0');
        if (whole > kHighestSlot) {
            tooLarge = true;
            whole = kHighestSlot + 1;
        }
        ++pos;
    }

    // Fraction: only whether it is below, at or above one half matters.
    // compare < 0: below a half, 0: exactly a half, > 0: above a half.
    int compare = -1;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::size_t first = pos;
        while (pos < text.size() && isDigit(text[pos])) ++pos;
        if (pos > first) {
            anyDigit = true;
            char lead = text[first];
            if (lead > '5') {
                compare = 1;
            } else if (lead == '5') {
                compare = 0;
                for (std::size_t i = first + 1; i < pos; ++i) {
                    if (text[i] != '0') {
                        compare = 1;
                        break;
                    }
                }
            }
        }
    }

    if (!anyDigit || tooLarge) return 0;

    long long rounded = whole;
    if (compare > 0 || (compare == 0 && whole % 2 == 1)) ++rounded;

    if (negative && rounded != 0) return 0;  // a negative slot does not exist
    if (rounded > kHighestSlot) return 0;
    return static_cast<int>(rounded);
}

bool isBackupSlot(int slot) { return slot >= 1 && slot <= kBackupSlots; }

int nextBackupSlot(int current) { return current >= kBackupSlots || current < 0 ? 1 : current + 1; }

std::string backupFolderName(int slot) { return "备份" + std::to_string(slot); }

std::string backupFolderPath(const std::string& root, int slot) { return joinPath(root, backupFolderName(slot)); }

std::string slotFolderPath(FileSystem& files, int slot) { return backupFolderPath(files.backupRoot(), slot); }

bool isInsideBackupFolder(std::string_view file, std::string_view root, PathStyle style) {
    if (file.empty() || root.empty() || !isSameOrBelow(file, root, style)) return false;
    std::size_t at = root.size();  // the first name below the root
    while (at < file.size() && isPathSeparator(file[at], style)) ++at;
    for (int k = 1; k <= kBackupSlots; ++k) {
        const std::string name = backupFolderName(k);
        const std::size_t end = at + name.size();
        if (file.compare(at, name.size(), name) == 0 && end < file.size() && isPathSeparator(file[end], style))
            return true;
    }
    return false;
}

int readStoredSlot(SettingsStore& settings, int absent) {
    const std::string stored = settings.readSetting(kSlotSection, kSlotKey);
    return stored.empty() ? absent : parseBackupSlot(stored);
}

Status storeSlot(SettingsStore& settings, int slot) {
    return settings.writeSetting(kSlotSection, kSlotKey, std::to_string(slot));
}

}  // namespace codekiln
