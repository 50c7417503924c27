// The change stamp: a file's modification time as it is compared, written on
// a field and read back.
#include "external/ChangeStamp.h"
#include "host/TesslySibling.h"
#include "tests/external/Files.h"

#include <gtest/gtest.h>

namespace {

const long long kNoon = 1796731200;  // 2026-12-08 12:00:00 UTC

TEST(ChangeStamp, TextRoundTripKeepsTheSecond)
{
    testfiles::Folder dir;
    std::string path = dir.write("a.txt", "x");
    for (long long when : {kNoon, kNoon + 1, kNoon + 43199, 0LL, 4102444799LL}) {
        SCOPED_TRACE(when);
        testfiles::setModified(path, when);
        ChangeStamp stamp = ChangeStamp::ofFile(utf::toUtf16(path).c_str());
        ASSERT_TRUE(stamp.isValid());
        ChangeStamp back = ChangeStamp::parse(stamp.text().c_str());
        ASSERT_TRUE(back.isValid()) << utf::toUtf8(stamp.text());
        EXPECT_EQ(back.date(), stamp.date());
        EXPECT_TRUE(ChangeStamp::matches(back, stamp));
    }
}

TEST(ChangeStamp, OnlyTwoValidStampsOfTheSameSecondMatch)
{
    ChangeStamp stamp = ChangeStamp::parse(u"12/8/2026 10:15:30 AM");
    ASSERT_TRUE(stamp.isValid());
    struct Case {
        const char16_t* stored;
        bool matches;
    } cases[] = {
        {u"12/8/2026 10:15:30 AM", true},
        {u"2026-12-08 10:15:30", true},
        {u"12/8/2026 10:15:31 AM", false},
        {u"12/8/2026 10:15:29 AM", false},
        {u"12/8/2026 10:15:30 PM", false},
        {u"Invalid DateTime", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf::toUtf8(c.stored));
        EXPECT_EQ(ChangeStamp::matches(ChangeStamp::parse(c.stored), stamp), c.matches);
    }
    EXPECT_FALSE(ChangeStamp::matches(ChangeStamp(), ChangeStamp())) << "invalid never matches, not even itself";
}

TEST(ChangeStamp, StoredOnTheFieldUnderTheApplicationName)
{
    testfiles::Folder dir;
    std::string path = dir.write("a.txt", "x");
    testfiles::setModified(path, kNoon);
    ChangeStamp stamp = ChangeStamp::ofFile(utf::toUtf16(path).c_str());
    AcDbField field(u"%<\\TextField a.txt>%");
    EXPECT_FALSE(ChangeStamp::load(&field).isValid()) << "no stamp yet";

    ChangeStamp::store(&field, stamp);
    AcString text;
    getXdata(&field, u"5922BCAD362F4a2f85F978E948CC606B", text);
    EXPECT_EQ(text, stamp.text());
    EXPECT_TRUE(ChangeStamp::matches(ChangeStamp::load(&field), stamp));

    ChangeStamp::store(&field, ChangeStamp());
    getXdata(&field, u"5922BCAD362F4a2f85F978E948CC606B", text);
    EXPECT_EQ(text, u"Invalid DateTime");
    EXPECT_FALSE(ChangeStamp::load(&field).isValid());
}

TEST(ChangeStamp, MissingFileHasAnInvalidStamp)
{
    testfiles::Folder dir;
    ChangeStamp stamp = ChangeStamp::ofFile(dir.u16("missing.txt").c_str());
    EXPECT_FALSE(stamp.isValid());
    EXPECT_EQ(stamp.text(), u"Invalid DateTime");
}

}
