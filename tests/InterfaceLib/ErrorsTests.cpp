#include <gtest/gtest.h>

#include <cstring>

#include "AlertTexts.h"
#include "Errors.h"

namespace {

struct FillCase {
    const char* source;
    const char* expected;
    bool replaced;
};

TEST(FillPlaceholders, ReplacesOnlyCaretDigitZeroToThree) {
    PlaceholderTable table;
    table.text[0] = "zero";
    table.text[1] = "one";
    table.text[2] = nullptr;  // an empty text
    table.text[3] = "three";
    const FillCase cases[] = {
        {"File ^0 on ^1", "File zero on one", true},
        {"gone:^2.", "gone:.", true},
        {"^3^3", "threethree", true},
        {"caret four ^4", "caret four ^4", false},
        {"caret letter ^a", "caret letter ^a", false},
        {"caret at end ^", "caret at end ^", false},
        {"Caf\xC3\xA9 ^0 \xCE\xA9", "Caf\xC3\xA9 zero \xCE\xA9", true},
        {"", "", false},
    };
    for (const FillCase& c : cases) {
        char out[256];
        EXPECT_EQ(FillPlaceholders(c.source, table, out, sizeof out), c.replaced) << c.source;
        EXPECT_STREQ(out, c.expected) << c.source;
    }
}

TEST(FillPlaceholders, StaysInsideTheBufferAndNeverSplitsASequence) {
    PlaceholderTable table;
    table.text[0] = "0123456789";
    char out[8];
    std::memset(out, 'x', sizeof out);
    FillPlaceholders("^0^0", table, out, sizeof out);
    EXPECT_STREQ(out, "0123456");

    // A two-byte character that would straddle the bound is left out whole.
    char small[5];
    FillPlaceholders("abc\xC3\xA9", table, small, sizeof small);
    EXPECT_STREQ(small, "abc");

    // A lead byte right before the terminator is not copied with what lies past it.
    char buffer[16];
    const char truncated[] = {'a', '\xC3', '\0', 'Z', '\0'};
    FillPlaceholders(truncated, table, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "a");
}

TEST(SourceFileName, TakesTheNameBehindTheLastSeparator) {
    EXPECT_STREQ(SourceFileName("C:\\src\\InterfaceLib\\File.Win.cpp"), "File.Win.cpp");
    EXPECT_STREQ(SourceFileName("/work/src/File.cpp"), "File.cpp");
    EXPECT_STREQ(SourceFileName("NoFolder.cpp"), "NoFolder.cpp");
}

TEST(ThrowIfError, ZeroDoesNothingAndKeepsTheLastError) {
    AlertState::ClearLastError();
    EXPECT_THROW(ThrowIfError(-108, "x.cpp", 1), ErrorCodeException);
    EXPECT_EQ(AlertState::LastError(), -108);
    EXPECT_NO_THROW(ThrowIfError(0, "x.cpp", 2));
    EXPECT_EQ(AlertState::LastError(), -108);
}

}  // namespace
