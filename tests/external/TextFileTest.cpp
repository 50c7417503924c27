// Text file fields through the real field engine with the module loaded as
// the host loads it: paths relative to the working drawing's folder, the
// decodings, the failures, and the change stamp that skips unchanged files.
#include "host/AcFdEval.h"
#include "host/TesslySibling.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/platform/CrtIo.h"
#include "tests/external/Files.h"
#include "tests/support/TestHost.h"
#include "util/Utf8.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

using testhost::RecordingResult;

const char16_t* const kStampApp = u"5922BCAD362F4a2f85F978E948CC606B";
const long long kNoon = 1796731200;  // 2026-12-08 12:00:00 UTC

std::u16string code(const std::u16string& path) { return u"%<\\TextField " + path + u">%"; }

std::u16string workingFolder()
{
    char buf[4096];
    return utf::toUtf16(::getcwd(buf, sizeof buf) ? buf : "");
}

// The drawing is saved as <folder>/plans/site.json.
class TextFile : public ::testing::Test {
protected:
    TextFile()
    {
        std::filesystem::create_directories(dir / "plans");
        drawing.database().setFilename(dir.u16("plans/site.json"));
    }

    testhost::FieldResult evaluate(const std::u16string& path) { return drawing.evaluateCode(code(path)); }
    AcDbField* field(AcDbObjectId id) { return AcDbField::cast(HostAccess::objectAt(drawing.database(), id)); }
    AcString stamp(AcDbObjectId id)
    {
        AcString text;
        getXdata(field(id), kStampApp, text);
        return text;
    }
    std::u16string textOf(AcDbObjectId id)
    {
        AcString text;
        drawing.result(id).value.get(text);
        return text;
    }

    testfiles::Folder dir;
    testhost::Drawing drawing;
};

TEST_F(TextFile, DecodesByByteOrderMark)
{
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"lines stay as they are", "line one\r\nline two\n", u"line one\r\nline two\n"},
        {"UTF-8", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x90", u"café € 📐"},
        {"invalid UTF-8",
         "a\xFF"
         "b\xC3",
         u"a\uFFFDb\uFFFD"},
        {"zero byte ends the text", "before\0after"s, u"before"},
        {"UTF-16 LE with mark", "\xFF\xFEh\0i\0\xAC\x20"s, u"hi€"},
        {"UTF-16 LE zero unit ends the text",
         "\xFF\xFE"
         "a\0\0\0b\0"s,
         u"a"},
        {"UTF-16 LE last odd byte", "\xFF\xFEh\0i"s, u"hi"},
        {"UTF-16 BE with mark", "\xFE\xFF\0h\0i\x20\xAC"s, u"hi€"},
        {"only the mark", "\xFF\xFE", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("plans/file.txt", c.bytes);
        testhost::FieldResult r = evaluate(u"file.txt");
        EXPECT_EQ(r.status, 2);
        ASSERT_EQ(r.value.dataType(), AcValue::kString);
        AcString text;
        r.value.get(text);
        EXPECT_EQ(text, c.text);
    }
}

// Long files are decoded a piece at a time: sequences cut at a piece's end,
// invalid ones there, and a zero byte far in must read as the whole would.
TEST_F(TextFile, LongFilesReadAsTheWholeDecodes)
{
    using namespace std::string_literals;
    const size_t piece = 1 << 20;
    auto around = [&](size_t at, const std::string& middle) {
        std::string bytes(at - 2, 'a');
        return bytes + middle + std::string(piece / 2, 'z');
    };
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"4-byte sequence across the first piece", around(piece, "\xF0\x9F\x93\x90")},
        {"3-byte sequence across the first piece", around(piece - 1, "\xE2\x82\xAC")},
        {"2-byte sequence ending the first piece", around(piece, "\xC3\xA9")},
        {"cut sequence across the first piece",
         around(piece,
                "\xF0\x9F\x93"
                "b")},
        {"stray continuation bytes there", around(piece, "\x80\x80\x80\x80\x80")},
        {"zero byte in the third piece", std::string(2 * piece + 5, 'x') + "\0tail"s + std::string(10, 'y')},
        {"several pieces of accents",
         [] {
             std::string s;
             while (s.size() < 3 * (1 << 20) + 7)
                 s += "\xC3\xA9t\xC3\xA9 \xE2\x80\x94 ";
             return s;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("plans/long.txt", c.bytes);
        testhost::FieldResult r = evaluate(u"long.txt");
        EXPECT_EQ(r.status, 2);
        AcString text;
        r.value.get(text);
        std::u16string expected = utf8::decode(std::string_view(c.bytes).substr(0, c.bytes.find('\0')));
        ASSERT_EQ(text.size(), expected.size());
        EXPECT_TRUE(text == expected);
    }
    // UTF-16 past one piece.
    std::string wide = "\xFF\xFE";
    for (size_t i = 0; i < piece; ++i)
        wide += i % 2 ? "\xAC\x20"s : "q\0"s;
    dir.write("plans/wide.txt", wide);
    AcString text;
    evaluate(u"wide.txt").value.get(text);
    ASSERT_EQ(text.size(), piece);
    EXPECT_EQ(text.substr(piece - 2), u"q€");
}

TEST_F(TextFile, RelativeToTheDrawingFolderOrAbsolute)
{
    dir.write("plans/notes/materials.txt", "oak");
    std::u16string cwd = workingFolder();
    const std::u16string paths[] = {
        u"notes/materials.txt",
        u"notes\\materials.txt",
        u"./notes/../notes/materials.txt",
        u"../plans/notes/materials.txt",
        dir.u16("plans/notes/materials.txt"),
    };
    for (const std::u16string& path : paths) {
        SCOPED_TRACE(utf::toUtf8(path));
        testhost::FieldResult r = evaluate(path);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.display, u"oak");
        EXPECT_EQ(workingFolder(), cwd);
    }
}

TEST_F(TextFile, MissingFileShowsTheResolvedPath)
{
    struct Case {
        std::u16string path;
        std::u16string shown;
    } cases[] = {
        {u"notes\\missing.txt", dir.u16("plans/notes/missing.txt") + u" is not found."},
        {u"../missing.txt", dir.u16("missing.txt") + u" is not found."},
        {dir.u16("gone/x.txt"), dir.u16("gone/x.txt") + u" is not found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf::toUtf8(c.path));
        AcDbObjectId id = drawing.addField(code(c.path));
        drawing.evaluate();
        EXPECT_EQ(drawing.result(id).status, 2);
        EXPECT_EQ(textOf(id), c.shown);
        EXPECT_EQ(stamp(id), u"") << "no stamp for a missing file";
    }
}

TEST_F(TextFile, FailuresGive16)
{
    dir.write("plans/empty.txt", "");
    std::string big = dir.write("plans/big.txt", "");
    ASSERT_EQ(::truncate(big.c_str(), 0x80000000LL), 0);  // sparse
    std::filesystem::create_directories(dir / "plans/folder");
    std::u16string cwd = workingFolder();
    struct Case {
        const char* name;
        std::u16string drawingFile;
        std::u16string path;
    } cases[] = {
        {"empty file", dir.u16("plans/site.json"), u"empty.txt"},
        {"2 GiB file", dir.u16("plans/site.json"), u"big.txt"},
        {"a folder", dir.u16("plans/site.json"), u"folder"},
        {"drawing never saved", u"", u"empty.txt"},
        {"drawing folder gone", dir.u16("gone/site.json"), u"empty.txt"},
        {"full path past 259", dir.u16("plans/site.json"), std::u16string(260, u'n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drawing.database().setFilename(c.drawingFile);
        AcDbObjectId id = drawing.addField(code(c.path));
        drawing.evaluate();
        EXPECT_EQ(drawing.result(id).status, 16);
        EXPECT_EQ(drawing.result(id).value.dataType(), AcValue::kUnknown);
        EXPECT_EQ(stamp(id), u"");
        EXPECT_EQ(workingFolder(), cwd);
    }
}

TEST_F(TextFile, DrawingNamesFitTheBufferOrGive16)
{
    // A drawing in a folder whose name makes the drawing's file name 259
    // characters long fits the 260-character buffer with its zero; 260 does not.
    std::u16string prefix = dir.u16("plans/");
    std::u16string folder = prefix + std::u16string(259 - prefix.size() - 7, u'd');
    std::filesystem::create_directories(utf::toUtf8(folder));
    dir.write(utf::toUtf8(folder.substr(prefix.size() - 6)) + "/a.txt", "near the limit");
    struct Case {
        std::u16string drawingFile;
        int status;
    } cases[] = {{folder + u"/s.json", 2}, {folder + u"/ss.json", 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drawingFile.size());
        drawing.database().setFilename(c.drawingFile);
        EXPECT_EQ(evaluate(u"a.txt").status, c.status);
    }
}

TEST_F(TextFile, UnchangedFileIsReadOnce)
{
    std::string path = dir.write("plans/notes.txt", "first");
    testfiles::setModified(path, kNoon);
    AcDbObjectId id = drawing.addField(code(u"notes.txt"));
    drawing.evaluate();
    EXPECT_EQ(textOf(id), u"first");
    EXPECT_NE(stamp(id), u"") << "written by the read";

    // New content under the same time: the stamp says unchanged.
    long opens = crtio::openCount();
    dir.write("plans/notes.txt", "second");
    testfiles::setModified(path, kNoon);
    drawing.evaluate();
    EXPECT_EQ(crtio::openCount(), opens) << "the file was opened again";
    EXPECT_EQ(drawing.result(id).status, 2);
    EXPECT_EQ(textOf(id), u"first");

    // A second later is a change, whatever the content.
    testfiles::setModified(path, kNoon + 1);
    drawing.evaluate();
    EXPECT_EQ(crtio::openCount(), opens + 1);
    EXPECT_EQ(textOf(id), u"second");
}

TEST_F(TextFile, OnlyTheMarkStillStamps)
{
    dir.write("plans/mark.txt", "\xFF\xFE");
    AcDbObjectId id = drawing.addField(code(u"mark.txt"));
    drawing.evaluate();
    EXPECT_EQ(drawing.result(id).status, 2);
    EXPECT_EQ(textOf(id), u"");
    EXPECT_NE(stamp(id), u"");
}

TEST_F(TextFile, FieldOutsideADrawingIsReadEveryTimeButStamped)
{
    std::string path = dir.write("plans/notes.txt", "loose");
    testfiles::setModified(path, kNoon);
    testhost::module();
    const ACHAR* id = u"TextField";
    AcFdFieldEvaluator* evaluator = acdbGetFieldEngine()->findEvaluator(nullptr, id);
    AcDbField loose(code(utf::toUtf16(path)).c_str());
    RecordingResult result;
    ASSERT_EQ(evaluator->compile(&loose, nullptr, &result), Acad::eOk);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        long opens = crtio::openCount();
        EXPECT_EQ(evaluator->evaluate(&loose, 0, nullptr, &result), Acad::eOk);
        EXPECT_EQ(crtio::openCount(), opens + 1);
        EXPECT_EQ(result.status, 2);
        AcString stamp;
        getXdata(&loose, kStampApp, stamp);
        EXPECT_NE(stamp, u"");
    }
}

// Former bugs: kept from the first version of the field.
TEST_F(TextFile, FileBackUnchangedAfterMissingIsReadAgain)
{
    std::string path = dir.write("plans/notes.txt", "text");
    testfiles::setModified(path, kNoon);
    AcDbObjectId id = drawing.addField(code(u"notes.txt"));
    drawing.evaluate();
    std::filesystem::rename(path, dir / "away.txt");
    drawing.evaluate();
    EXPECT_EQ(textOf(id), dir.u16("plans/notes.txt") + u" is not found.");
    std::filesystem::rename(dir / "away.txt", path);  // the same time as when read
    drawing.evaluate();
    EXPECT_EQ(textOf(id), u"text") << "the stamp still vouched for the message";
}

TEST(TextFileCommand, StampKeptAcrossSavedRuns)
{
    testfiles::Folder dir;
    std::string notes = dir.write("notes.txt", "first");
    testfiles::setModified(notes, kNoon);
    std::string drawingFile = dir.write(
        "site.json",
        R"({"tesslyDrawing": 1, "objects": [{"type": "text", "handle": "1A", "text": "%<\\TextField notes.txt>%"}]})");
    std::string run = "eval " + testhost::shellQuote(drawingFile) + " --save --json";

    testhost::CommandResult r = testhost::runTessly(run);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("\"first\""), std::string::npos) << r.out;

    dir.write("notes.txt", "second");
    testfiles::setModified(notes, kNoon);
    r = testhost::runTessly(run);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("\"first\""), std::string::npos) << "the saved stamp skips the read: " << r.out;

    testfiles::setModified(notes, kNoon + 1);
    r = testhost::runTessly(run);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("\"second\""), std::string::npos) << r.out;
}

}
