// Case-blind equality: the measured and the zero-ended forms agree on every
// row, and only ASCII letters fold.
#include "util/TextCase.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextCase, EqualsIgnoreCase)
{
    struct Case {
        std::u16string a, b;
        bool equal;
    } cases[] = {
        {u"", u"", true},
        {u"SPECIES", u"SPECIES", true},
        {u"Species", u"sPECIES", true},
        {u"Oak", u"Oa", false},
        {u"Oa", u"Oak", false},
        {u"", u"a", false},
        {u"a", u"", false},
        {u"\u00e9t\u00e9", u"\u00c9T\u00c9", false},  // only ASCII letters fold
        {u"@[`{", u"`{@[", false},                    // the neighbours of the letters do not
        {u"a-1", u"A-1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a.begin(), c.a.end()) + " / " + std::string(c.b.begin(), c.b.end()));
        EXPECT_EQ(textcase::equalsIgnoreCase(std::u16string_view(c.a), c.b), c.equal);
        EXPECT_EQ(textcase::equalsIgnoreCase(c.a.c_str(), c.b), c.equal);
    }
    // A wanted text with a zero in it never equals a zero-ended text.
    const std::u16string ab = u"ab";
    EXPECT_FALSE(textcase::equalsIgnoreCase(ab.c_str(), std::u16string_view(u"ab\0c", 4)));
    static_assert(textcase::equalsIgnoreCase(std::u16string_view(u"Tag"), u"TAG"));
}

}
