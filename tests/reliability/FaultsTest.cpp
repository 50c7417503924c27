// Faults from outside: files that change between two passes, drawings that
// cannot be written, modules that cannot be loaded. Tests run as root, for
// whom permissions do not stop reads or writes, so "unreadable" is a folder
// put in the file's place and "read-only" a path whose parent is a file;
// a full disk is a file-size limit on the command's process.
#include "replacement_host/file/DrawingFile.h"
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"
#include "tests/external/Files.h"
#include "tests/support/CommandOutput.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testhost::Drawing;
using testhost::u8;
namespace fs = std::filesystem;

using testhost::readFile;

// What happens to a file between the first pass and the second.
struct Change {
    const char* name;
    void (*apply)(const std::string& path);
};

const Change kChanges[] = {
    {"deleted", [](const std::string& p) { fs::remove(p); }},
    {"truncated", [](const std::string& p) { fs::resize_file(p, 3); }},
    {"emptied", [](const std::string& p) { fs::resize_file(p, 0); }},
    {"a folder in its place",
     [](const std::string& p) {
         fs::remove(p);
         fs::create_directory(p);
     }},
};

TEST(Faults, TextFileChangedBetweenPasses)
{
    const struct {
        const char* change;
        int status;
        const char* display;  // null: the field shows its failure
    } expected[] = {
        {"deleted", 2, " is not found."},
        {"truncated", 2, "fir"},
        {"emptied", 16, nullptr},
        {"a folder in its place", 16, nullptr},
    };
    for (size_t i = 0; i < std::size(kChanges); ++i) {
        SCOPED_TRACE(kChanges[i].name);
        testfiles::Folder dir;
        std::string path = dir.write("notes.txt", "first text");
        Drawing d;
        AcDbObjectId id = d.addField(u"%<\\TextField " + testhost::u16(path) + u">%");
        d.evaluate();
        ASSERT_EQ(u8(d.result(id).display), "first text");
        kChanges[i].apply(path);
        // A different time, so the change stamp (the modification time, to
        // the second) cannot vouch for the old text.
        if (fs::exists(path))
            testfiles::setModified(path, 1000000000);
        d.evaluate();
        testhost::FieldResult r = d.result(id);
        EXPECT_EQ(r.status, expected[i].status) << u8(r.display);
        if (expected[i].display) {
            EXPECT_NE(u8(r.display).find(expected[i].display), std::string::npos) << u8(r.display);
        }
    }
}

TEST(Faults, WorkbookChangedBetweenReads)
{
    using namespace tessly::spreadsheet;
    for (const Change& change : kChanges) {
        SCOPED_TRACE(change.name);
        testfiles::Folder dir;
        std::string path = dir / "book.xlsx";
        fs::copy_file(TESSLY_TEST_DATA "/xlsx/cells.xlsx", path);
        Application app;
        Workbook book = app.open(toUtf16(path));
        EXPECT_EQ(toUtf8(book.worksheet(1).range(u"C2").text()), "$1,250.00");
        change.apply(path);
        // The second sheet is read only now, from the changed file: its text
        // or an error, never a crash.
        try {
            book.worksheet(2).range(u"A1").text();
        } catch (const SpreadsheetError&) {
        }
        // The next pass opens the file again and is told why it cannot.
        try {
            Workbook::open(toUtf16(path));
            ADD_FAILURE() << "opened";
        } catch (const SpreadsheetError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        app.quit();
    }
}

TEST(Faults, WorkbookOfACellFieldChangedBetweenPasses)
{
    const struct {
        const char* change;
        int status;
        const char* display;  // null: no value
    } expected[] = {
        {"deleted", 2, " is not found."},
        {"truncated", 64, nullptr},
        {"emptied", 64, nullptr},
        {"a folder in its place", 64, nullptr},
    };
    for (size_t i = 0; i < std::size(kChanges); ++i) {
        SCOPED_TRACE(kChanges[i].name);
        testfiles::Folder dir;
        std::string path = dir / "book.xlsx";
        fs::copy_file(TESSLY_TEST_DATA "/xlsx/cells.xlsx", path);
        Drawing d;
        AcDbObjectId id = d.addField(u"%<\\ExcelCell " + testhost::u16(path) + u":Data:B2>%");
        d.evaluate();
        ASSERT_EQ(u8(d.result(id).display), "$1,250.00");
        kChanges[i].apply(path);
        if (fs::exists(path))
            testfiles::setModified(path, 1000000000);
        d.evaluate();
        testhost::FieldResult r = d.result(id);
        EXPECT_EQ(r.status, expected[i].status) << u8(r.display);
        if (expected[i].display) {
            EXPECT_NE(u8(r.display).find(expected[i].display), std::string::npos) << u8(r.display);
        }
    }
}

TEST(Faults, SaveThatCannotWriteKeepsTheOldDrawing)
{
    testfiles::Folder dir;
    Drawing d(R"([{"type": "text", "handle": "1A", "text": "new"}])");
    std::string folder = dir / "folder.json";
    fs::create_directory(folder);
    std::string file = dir.write("file", "not a folder");
    const struct {
        const char* name;
        std::string path;
        const char* why;
    } rows[] = {
        {"a folder in its place", folder, "is a folder, not a drawing file; nothing was written"},
        {"parent is a file", file + "/site.json", "Not a directory"},
        {"under /proc", "/proc/self/site.json", "cannot write"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error = drawingfile::save(d.database(), row.path);
        EXPECT_NE(error.find(row.path), std::string::npos) << error;
        EXPECT_NE(error.find(row.why), std::string::npos) << error;
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(readFile(file), "not a folder");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << "no temporary file left behind";
}

// Runs a shell command line, giving its exit status and standard error.
std::pair<int, std::string> shell(const std::string& line)
{
    char errName[] = "/tmp/tessly-shell-XXXXXX";
    int fd = mkstemp(errName);
    ::close(fd);
    int status = std::system(("(" + line + ") 2>" + errName + " >/dev/null").c_str());
    std::string err = readFile(errName);
    ::unlink(errName);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST(Faults, FullDiskOnSaveKeepsTheOldDrawing)
{
    testfiles::Folder dir;
    // Big enough that the new text cannot fit in the 512 bytes allowed.
    std::string objects;
    for (int i = 1; i <= 20; ++i)
        objects += std::string(i > 1 ? "," : "") + R"({"type": "text", "handle": ")" + std::to_string(i) +
            R"(A", "text": "%<\\TsExpr 1+)" + std::to_string(i) + R"(>%"})";
    std::string path = dir.write("site.json", R"({"tesslyDrawing": 1, "objects": [)" + objects + "]}");
    std::string before = readFile(path);
    ASSERT_GT(before.size(), 512u);
    // The file-size limit stands in for a full disk; the signal it raises is
    // ignored so that write fails with an error instead.
    auto [status, err] =
        shell("trap '' XFSZ; ulimit -f 1; exec " TESSLY_COMMAND_PATH " eval " + testhost::shellQuote(path) + " --save");
    EXPECT_NE(status, 0);
    EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
    EXPECT_NE(err.find("the old drawing is unchanged"), std::string::npos) << err;
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "no temporary file left behind";
}

TEST(Faults, ModulesThatCannotLoadAreNamed)
{
    testfiles::Folder dir;
    const struct {
        const char* name;
        std::string path;
        const char* message;
    } rows[] = {
        {"not a shared object", dir.write("junk.so", "this is not an ELF file"), "cannot load module"},
        {"empty", dir.write("empty.so", ""), "cannot load module"},
        {"a folder", dir.path(), "cannot load module"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testhost::CommandResult r = testhost::runTessly("field x --module " + testhost::shellQuote(row.path));
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(row.path), std::string::npos) << r.err;
    }
}

}
