// The platform stand-ins the file fields stand on: path rules, the full-path
// step, the 32-bit file length and automation dates with their text.
#include "host/crtio.h"
#include "host/oleauto.h"
#include "host/winpath.h"
#include "tests/external/Files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

TEST(WinPath, RelativeOrAbsolute)
{
    struct Case {
        const char16_t* path;
        bool relative;
    } cases[] = {
        {u"notes.txt", true}, {u"notes/a.txt", true}, {u"notes\\a.txt", true}, {u"..\\a.txt", true},
        {u"", true},          {u"/srv/a.txt", false}, {u"\\a.txt", false},     {u"C:\\a.txt", false},
        {u"C:a.txt", false},  {u"./a.txt", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf::toUtf8(c.path));
        EXPECT_EQ(PathIsRelativeW(c.path), c.relative);
    }
}

TEST(WinPath, RemoveFileSpecKeepsTheRoot)
{
    struct Case {
        const char16_t* path;
        const char16_t* folder;
        bool removed;
    } cases[] = {
        {u"/srv/plans/site.json", u"/srv/plans", true},
        {u"/site.json", u"/", true},
        {u"/", u"/", false},
        {u"site.json", u"", true},
        {u"C:\\plans\\site.dwg", u"C:\\plans", true},
        {u"C:\\site.dwg", u"C:\\", true},
        {u"plans\\site.dwg", u"plans", true},
        {u"", u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf::toUtf8(c.path));
        ACHAR buffer[MAX_PATH] = {};
        std::u16string(c.path).copy(buffer, MAX_PATH - 1);
        EXPECT_EQ(PathRemoveFileSpecW(buffer), c.removed);
        EXPECT_EQ(std::u16string(buffer), c.folder);
    }
}

TEST(WinPath, FullPathInAFolderIsFormedFromTheText)
{
    testfiles::Folder dir;
    dir.write("plans/a.txt", "x");
    std::u16string plans = dir.u16("plans");
    struct Case {
        const char16_t* relative;
        std::u16string full;
    } cases[] = {
        {u"a.txt", plans + u"/a.txt"},
        {u"./a.txt", plans + u"/a.txt"},
        {u"notes\\b.txt", plans + u"/notes/b.txt"},
        {u"..\\b.txt", dir.u16("b.txt")},
        {u"x//../../b.txt", dir.u16("b.txt")},
        {u"missing/b.txt", plans + u"/missing/b.txt"},
        {u"sub/", plans + u"/sub/"},  // a closing separator stays
        {u"sub/./..", plans},         // nothing to close
        {u"../../../../../../../../../../../../../../../../../../../../../../../../b.txt",
         u"/b.txt"},  // stops at the root
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf::toUtf8(c.relative));
        ACHAR full[MAX_PATH];
        ASSERT_EQ(_wfullpathIn(full, plans.c_str(), c.relative, MAX_PATH), full);
        EXPECT_EQ(std::u16string(full), c.full);
    }
}

TEST(WinPath, FullPathFailsAsMakingTheFolderCurrentWould)
{
    testfiles::Folder dir;
    std::string file = dir.write("plans/a.txt", "x");
    std::u16string plans = dir.u16("plans");
    ACHAR full[MAX_PATH];
    EXPECT_EQ(_wfullpathIn(full, dir.u16("missing").c_str(), u"a.txt", MAX_PATH), nullptr);
    EXPECT_EQ(_wfullpathIn(full, utf::toUtf16(file).c_str(), u"a.txt", MAX_PATH), nullptr) << "a file, not a folder";
    EXPECT_EQ(_wfullpathIn(full, u"", u"a.txt", MAX_PATH), nullptr);
    // The full path with its zero must fit exactly.
    size_t fits = plans.size() + 1 + 5 + 1;
    EXPECT_NE(_wfullpathIn(full, plans.c_str(), u"a.txt", fits), nullptr);
    EXPECT_EQ(_wfullpathIn(full, plans.c_str(), u"a.txt", fits - 1), nullptr);
}

TEST(CrtIo, LengthOf2GiBOrMoreIsRefused)
{
    testfiles::Folder dir;
    std::string path = dir.write("big.bin", "");
    ASSERT_EQ(::truncate(path.c_str(), 0x80000000LL), 0);  // sparse: no disk used
    int fd = _wopen(utf::toUtf16(path).c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(_filelength(fd), -1);
    ASSERT_EQ(::truncate(path.c_str(), 0x7FFFFFFFLL), 0);
    EXPECT_EQ(_filelength(fd), 0x7FFFFFFF);
    _close(fd);
    EXPECT_LT(_wopen(dir.u16().c_str(), _O_RDONLY | _O_BINARY), 0) << "a folder does not open";
}

SYSTEMTIME calendar(int y, int mo, int d, int h, int mi, int s)
{
    SYSTEMTIME t{};
    t.wYear = WORD(y), t.wMonth = WORD(mo), t.wDay = WORD(d), t.wHour = WORD(h), t.wMinute = WORD(mi),
    t.wSecond = WORD(s);
    return t;
}

std::u16string dateText(DATE date)
{
    BSTR text = nullptr;
    if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, &text)))
        return u"(failed)";
    std::u16string out(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}

TEST(OleDate, CalendarDateAndTextRoundTrip)
{
    struct Case {
        SYSTEMTIME time;
        DATE date;
        const char16_t* text;
    } cases[] = {
        {calendar(1899, 12, 30, 0, 0, 0), 0.0, u"12/30/1899 12:00:00 AM"},
        {calendar(1900, 1, 1, 12, 0, 0), 2.5, u"1/1/1900 12:00:00 PM"},
        {calendar(1899, 12, 29, 6, 0, 0), -1.25, u"12/29/1899 6:00:00 AM"},
        {calendar(2026, 12, 8, 10, 15, 30), 46364 + (10 * 3600 + 15 * 60 + 30) / 86400.0, u"12/8/2026 10:15:30 AM"},
        {calendar(2024, 2, 29, 23, 59, 59), 45351 + 86399 / 86400.0, u"2/29/2024 11:59:59 PM"},
        {calendar(100, 1, 1, 0, 0, 0), -657434.0, u"1/1/100 12:00:00 AM"},
        {calendar(9999, 12, 31, 0, 0, 1), 2958465 + 1 / 86400.0, u"12/31/9999 12:00:01 AM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf::toUtf8(c.text));
        DATE date = -1e9;
        ASSERT_TRUE(SystemTimeToVariantTime(&c.time, &date));
        EXPECT_DOUBLE_EQ(date, c.date);
        SYSTEMTIME back{};
        ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
        EXPECT_EQ(std::tie(back.wYear, back.wMonth, back.wDay, back.wHour, back.wMinute, back.wSecond),
                  std::tie(c.time.wYear, c.time.wMonth, c.time.wDay, c.time.wHour, c.time.wMinute, c.time.wSecond));
        EXPECT_EQ(dateText(date), c.text);
        DATE read = -1e9;
        ASSERT_EQ(VarDateFromStr(c.text, LOCALE_USER_DEFAULT, 0, &read), S_OK);
        EXPECT_EQ(read, date) << "read back exactly";
    }
}

TEST(OleDate, OtherFormsRead)
{
    const DATE when = 46364 + (10 * 3600 + 15 * 60 + 30) / 86400.0;
    struct Case {
        const char16_t* text;
        DATE date;
    } cases[] = {
        {u"2026-12-08 10:15:30", when},
        {u"2026-12-08T10:15:30", when},
        {u"  12/8/2026   10:15:30 am ", when},
        {u"12/08/2026 10:15:30", when},
        {u"12/8/2026", 46364.0},
        {u"2026-12-08", 46364.0},
        {u"12/8/2026 10:15 PM", 46364 + 22.25 / 24},
        {u"6:00:00 PM", 0.75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf::toUtf8(c.text));
        DATE date = -1e9;
        ASSERT_EQ(VarDateFromStr(c.text, LOCALE_USER_DEFAULT, 0, &date), S_OK);
        EXPECT_DOUBLE_EQ(date, c.date);
    }
}

TEST(OleDate, TextsThatAreNoDate)
{
    const char16_t* texts[] = {u"",
                               u"Invalid DateTime",
                               u"13/1/2026 1:00:00 AM",
                               u"2/29/2026",
                               u"12/8/2026 13:00:00 PM",
                               u"12/8/2026 0:00:00 AM",
                               u"2026-12-08 24:00:00",
                               u"12/8/2026 10:15:30 AM x",
                               u"12/8/99",
                               u"2026-12-08T",
                               u"12/8/2026 10:60:00",
                               u"1/1/10000"};
    for (const char16_t* text : texts) {
        SCOPED_TRACE(utf::toUtf8(text));
        DATE date = 7.0;
        EXPECT_TRUE(FAILED(VarDateFromStr(text, LOCALE_USER_DEFAULT, 0, &date)));
        EXPECT_EQ(date, 7.0);
    }
    SYSTEMTIME t = calendar(2026, 2, 29, 0, 0, 0);
    DATE date;
    EXPECT_FALSE(SystemTimeToVariantTime(&t, &date));
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &t));
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &t));
}

}
