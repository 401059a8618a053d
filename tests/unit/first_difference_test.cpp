// The case runners' diff: two transcripts differ exactly when it names a
// line, and it names the first line that differs with both versions of it.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace usbisp::test {
namespace {

TEST(FirstDifference, NamesTheFirstLineThatDiffersOrNothing) {
    struct Case {
        const char* expected;
        const char* actual;
        const char* difference;
    };
    const Case cases[] = {
        {"", "", ""},
        {"a\nb\n", "a\nb\n", ""},
        {"a\nb\nc\n", "a\nB\nC\n", "first difference at line 2\n  expected: b\n  actual:   B"},
        {"a\n", "a\nb\n",
         "first difference at line 2\n  expected: (none: the text ends before it)\n  actual:   b"},
        {"a\nb\n", "a\n",
         "first difference at line 2\n  expected: b\n  actual:   (none: the text ends before it)"},
        // Only the last line break differs.
        {"a\nb\n", "a\nb",
         "first difference at line 2\n  expected: b\n  actual:   b  (no line break after it)"},
        {"end ok\n", "",
         "first difference at line 1\n  expected: end ok\n  actual:   (none: the text ends before "
         "it)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirstDifference(c.expected, c.actual), c.difference)
            << "expected \"" << c.expected << "\", actual \"" << c.actual << '"';
}

}  // namespace
}  // namespace usbisp::test
