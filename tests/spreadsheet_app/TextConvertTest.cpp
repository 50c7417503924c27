// The stand-in spreadsheet application converts text with the host's rules:
// the same bytes give the same UTF-16 text on both sides.
#include "replacement_host/text/Utf.h"
#include "spreadsheet_app/TextConvert.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConvert, DecodesAsTheHostDoes)
{
    const struct {
        const char* bytes;
        std::u16string text;
    } rows[] = {
        {"plain", u"plain"},
        {"\xC3\x9C"
         "bersicht",
         u"\u00DCbersicht"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"} /* overlong "/" is not a slash */,
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"} /* an encoded surrogate */,
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"} /* past U+10FFFF */,
        {"a\xE2\x82", u"a\uFFFD\uFFFD"} /* cut short */,
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(tessly::spreadsheet::toUtf16(row.bytes), row.text);
        EXPECT_EQ(utf::toUtf16(row.bytes), row.text);
    }
}

TEST(TextConvert, EncodesLoneSurrogatesAsReplacement)
{
    const std::u16string lone = u"a\xD800z";
    EXPECT_EQ(tessly::spreadsheet::toUtf8(lone), "a\xEF\xBF\xBDz");
    EXPECT_EQ(utf::toUtf8(lone), "a\xEF\xBF\xBDz");
}

}
