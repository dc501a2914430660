// Lower-casing eight bytes at a time must agree with the byte-by-byte rule
// for every byte value in every position, whatever stands beside it: only
// A-Z change, so UTF-8 and GB18030 text passes through untouched.
#include <gtest/gtest.h>

#include <string>

#include "engine/state/text.h"

namespace codekiln {
namespace {

TEST(LowerAscii, EightAtOnceAgreesWithOneByOneForEveryByte) {
    for (int neighbour : {0x00, 0x40, 0x41, 0x5A, 0x5B, 0x7F, 0x80, 0xC1, 0xDA, 0xFF}) {
        for (int value = 0; value < 256; ++value) {
            for (std::size_t length : {1u, 7u, 8u, 9u, 17u}) {
                std::string in(length, static_cast<char>(neighbour));
                in[length / 2] = static_cast<char>(value);
                std::string expected = in;
                for (char& c : expected) c = lowerAscii(c);
                std::string out;
                assignLowerAscii(out, in);
                ASSERT_EQ(out, expected) << "byte " << value << " beside " << neighbour << ", length " << length;
            }
        }
    }
}

TEST(LowerAscii, KeepsMultiByteText) {
    std::string out;
    assignLowerAscii(out, "PRINT *, 'ÄÖÜ 本模块' ! Ende");
    EXPECT_EQ(out, "print *, 'ÄÖÜ 本模块' ! ende");
}

}  // namespace
}  // namespace codekiln
