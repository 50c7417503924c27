// Names that match, and names that must not, under simple case folding.
#include "replacement_host/text/CaseFold.h"

#include <gtest/gtest.h>

#include <string>

TEST(CaseFold, NamesCompareIgnoringCase)
{
    struct Row {
        std::u16string a, b;
        bool equal;
    } rows[] = {
        {u"Sheet1", u"sHEET1", true},
        {u"\u00FCbersicht", u"\u00DCbersicht", true},            // Latin-1
        {u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179", true},  // Latin Extended-A, every other code point
        {u"\u03A3\u039F\u03A6\u0399\u0391", u"\u03C3\u03BF\u03C6\u03B9\u03B1", true},  // Greek
        {u"\u03C2", u"\u03A3", true},                                                  // final sigma folds to sigma
        {u"\u041F\u0420\u0418\u0412\u0415\u0422", u"\u043F\u0440\u0438\u0432\u0435\u0442", true},  // Cyrillic
        {u"\u1E9E", u"\u00DF", true},          // capital sharp s folds to sharp s
        {u"\U00010400", u"\U00010428", true},  // Deseret, beyond the 16-bit plane
        {u"\u00DF", u"ss", false},             // simple folding keeps one code point
        {u"\u0130", u"i", false},              // dotted capital I has no simple folding
        {u"Sheet", u"Sheet1", false},
        {u"\u00E9", u"e", false},
        {u"\xD800", u"\xD800", true},  // a lone surrogate is itself
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.a) + " / " + testing::PrintToString(r.b));
        EXPECT_EQ(casefold::equalsIgnoreCase(r.a, r.b), r.equal);
        EXPECT_EQ(casefold::equalsIgnoreCase(r.b, r.a), r.equal);
    }
}
