// The spreadsheet cell field with LibreOffice Calc as the application: the
// module loaded as the host loads it, real field passes, a real headless
// soffice behind the bridge. Tests that need LibreOffice skip without it;
// the start failures and the search for left-over instances need only
// /usr/bin/python3.
#include "host/AcFdEval.h"
#include "replacement_host/CommandLine.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/FieldEngineState.h"
#include "replacement_host/text/Utf.h"
#include "tests/external/Files.h"
#include "tests/libreoffice/Calc.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/wait.h>

namespace {

constexpr char16_t kMarker[] = u"D076A9C0-F37C-4cf3-84E0-FD1D9566DEFC";
const std::u16string kData = utf::toUtf16(std::string(TESSLY_TEST_DATA) + "/xlsx/");

std::u16string text(const AcValue& v)
{
    AcString s;
    v.get(s);
    return s;
}

std::u16string code(const std::u16string& data) { return u"%<\\ExcelCell " + data + u">%"; }

AcFdFieldReactor* reactor()
{
    const auto& list = hostFieldReactors();
    return list.empty() ? nullptr : list.front();
}

// A process of ours ends within a few seconds (and is reaped).
bool ends(pid_t pid)
{
    for (int i = 0; i < 250; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid || ::kill(pid, 0) != 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Starts /usr/bin/python3 sleeping, with these words in its command line.
pid_t sleeper(const std::vector<std::string>& words)
{
    std::vector<std::string> args = {"/usr/bin/python3", "-c", "import time; time.sleep(60)"};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

class LibreOffice : public ::testing::Test {
protected:
    void SetUp() override
    {
        testhost::module();
        spreadsheetserver::resetCounts();
        m_oldSink = commandline::setSink([this](std::u16string_view t) { printed += t; });
    }
    void TearDown() override
    {
        reactor()->endEvaluateFields(0, nullptr);
        commandline::setSink(m_oldSink);
        EXPECT_TRUE(calc::ourProcesses().empty()) << "LibreOffice is left running";
    }
    void needLibreOffice()
    {
        if (!calc::installed())
            GTEST_SKIP() << "LibreOffice (soffice) or python3-uno is not installed";
    }

    calc::ScopedVariable chosen{spreadsheetserver::kChoiceVariable, "libreoffice"};
    testfiles::Folder folder;
    std::u16string printed;

private:
    commandline::Sink m_oldSink;
};

TEST_F(LibreOffice, OnePassReadsEveryFormatAndStartsOnce)
{
    needLibreOffice();
    std::filesystem::copy_file(utf::toUtf8(kData) + "cells.xlsx", folder / "macros.xlsm");
    struct Row {
        std::u16string data;
        std::u16string expected;
    } rows[] = {
        {kData + u"cells.xlsx:Data:B2", u"$1,250.00"},
        {kData + u"cells.xlsx:data:b3", u"15%"},
        {kData + u"cells.xlsx:Second Sheet:Same", u"x"},  // a name of the workbook
        {kData + u"cells.xlsx:Data:B23", u"\u00A0"},      // an empty cell
        {kData + u"cells.xlsx:Data:Mixed", u"\u00A0"},    // cells showing different texts
        {kData + u"display.xlsx:Other:B7", u"43.00"},     // computed on open
        {kData + u"display.xlsx:\u00FCbersicht:B4", u"Sunday, December 31, 2023"},
        {kData + u"display.xlsx:\u00DCbersicht:B14", u" "},
        {kData + u"display.xlsx:Nowhere:B4", kData + u"display.xlsx:Nowhere:B4 is not found."},
        {kData + u"cells.ods:Data:B2", u"$1,250.00"},
        {kData + u"cells.xls:Data:B3", u"15%"},
        {kData + u"cells.csv:cells:A3", u"Quoted, name"},
        {kData + u"cells.csv:cells:C3", u"caf\u00E9"},
        {folder.u16("macros.xlsm") + u":Data:B4", u"12/8/2026"},
    };
    testhost::Drawing d;
    std::vector<AcDbObjectId> ids;
    for (const Row& row : rows)
        ids.push_back(d.addField(code(row.data)));
    // A thousand reads in the same pass.
    std::vector<AcDbObjectId> many;
    for (int i = 0; i < 1000; ++i)
        many.push_back(d.addField(code(kData + u"cells.xlsx:Data:C" + utf::toUtf16(std::to_string(2 + i % 29)))));
    d.evaluate();
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(testhost::u8(rows[i].data));
        auto r = d.result(ids[i]);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(text(r.value), rows[i].expected);
    }
    for (size_t i = 0; i < many.size(); ++i)
        ASSERT_EQ(d.result(many[i]).status, 2) << i;
    EXPECT_EQ(text(d.result(many[0]).value), u"$1,250.00");
    EXPECT_EQ(spreadsheetserver::counts().starts, 1);
    EXPECT_EQ(spreadsheetserver::counts().workbooksOpened, 6);
    EXPECT_TRUE(printed.empty()) << testhost::u8(printed);
}

// Former bugs: a read that failed was a success with no value.
TEST_F(LibreOffice, ErrorsAreReportedTheFieldFailsAndTheSessionCloses)
{
    needLibreOffice();
    struct Row {
        std::u16string data;
        std::u16string says;
    } rows[] = {
        {kData + u"cells.xlsx:Data:ZZZ", u"AsdkExcelCellEvaluator:332:"},
        {kData + u"truncated.xlsx:Data:B2", u"AsdkExcelCellEvaluator:332:"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testhost::u8(row.data));
        printed.clear();
        testhost::Drawing d;
        auto r = d.evaluateCode(code(row.data));
        EXPECT_EQ(r.status, 64);
        EXPECT_NE(printed.find(row.says), std::u16string::npos) << testhost::u8(printed);
        EXPECT_TRUE(calc::ourProcesses().empty()) << "the session is closed after an error";
    }
}

TEST_F(LibreOffice, KilledMidPassFailsTheFieldAndTheNextPassIsClean)
{
    needLibreOffice();
    testhost::Drawing d;
    AcDbObjectId first = d.addField(code(kData + u"cells.xlsx:Data:B2"));
    AcDbObjectId second = d.addField(code(kData + u"cells.xlsx:Data:B3"));
    // One pass, the application killed between its two fields, which the
    // evaluator is given as the host gives them.
    const ACHAR* evaluatorId = u"ExcelCell";
    AcFdFieldEvaluator* evaluator = acdbGetFieldEngine()->findEvaluator(nullptr, evaluatorId);
    auto evaluate = [&](AcDbObjectId id) {
        testhost::RecordingResult r;
        AcDbField* field = AcDbField::cast(HostAccess::objectAt(d.database(), id));
        evaluator->compile(field, nullptr, &r);
        evaluator->evaluate(field, 0, nullptr, &r);
        return r;
    };
    reactor()->beginEvaluateFields(0, nullptr);
    EXPECT_EQ(text(evaluate(first).value), u"$1,250.00");
    std::vector<pid_t> soffice = calc::ourProcesses("--headless");
    ASSERT_EQ(soffice.size(), 1u);
    ::kill(soffice[0], SIGKILL);
    EXPECT_EQ(evaluate(second).status, 64);
    EXPECT_NE(printed.find(u"AsdkExcelCellEvaluator:3"), std::u16string::npos) << testhost::u8(printed);
    EXPECT_NE(printed.find(u"LibreOffice stopped"), std::u16string::npos) << testhost::u8(printed);
    reactor()->endEvaluateFields(0, nullptr);
    EXPECT_TRUE(calc::ourProcesses().empty());

    printed.clear();
    d.evaluate();
    EXPECT_EQ(d.result(second).status, 2);
    EXPECT_EQ(text(d.result(second).value), u"15%");
    EXPECT_EQ(spreadsheetserver::counts().starts, 2);
    EXPECT_TRUE(printed.empty()) << testhost::u8(printed);
}

TEST_F(LibreOffice, StartFailuresAreReportedWithoutLeavingAProcess)
{
    if (std::system("/usr/bin/python3 -c 'import uno' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-uno is not installed";
    std::string hangs = folder.write("hangs.sh", "#!/bin/sh\nexec sleep 60\n");
    std::filesystem::permissions(hangs, std::filesystem::perms::owner_all);
    struct Row {
        std::string soffice;
        std::u16string says;
    } rows[] = {
        {"/nonexistent/soffice", u"LibreOffice is not installed"},
        {"/bin/false", u"LibreOffice ended while starting (exit status 1)"},
        {hangs, u"LibreOffice did not answer within 2 s while starting; it was ended"},
    };
    calc::ScopedVariable timeout("TESSLY_LIBREOFFICE_TIMEOUT", "2");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.soffice);
        calc::ScopedVariable program("TESSLY_SOFFICE", row.soffice);
        printed.clear();
        testhost::Drawing d;
        EXPECT_EQ(d.evaluateCode(code(kData + u"cells.xlsx:Data:B2")).status, 16);
        EXPECT_EQ(printed.rfind(u"\nAsdkExcelCellEvaluator:400:Server execution failed: ", 0), 0u)
            << testhost::u8(printed);
        EXPECT_NE(printed.find(row.says), std::u16string::npos) << testhost::u8(printed);
        EXPECT_TRUE(calc::ourProcesses().empty());
    }
    calc::ScopedVariable unknown(spreadsheetserver::kChoiceVariable, "gnumeric");
    printed.clear();
    testhost::Drawing d;
    EXPECT_EQ(d.evaluateCode(code(kData + u"cells.xlsx:Data:B2")).status, 16);
    EXPECT_NE(printed.find(u"TESSLY_SPREADSHEET is 'gnumeric'; it can be builtin or libreoffice"), std::u16string::npos)
        << testhost::u8(printed);
}

// Instances are found by the folder in their command lines: one whose host
// has gone, or this host's own, is ended when its caption is marked; an
// unmarked one, another running host's, and a user's LibreOffice never.
TEST_F(LibreOffice, LeftOverInstanceIsEndedAtPassBeginOthersNever)
{
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    auto instance = [&](pid_t owner, const std::string& name, const std::u16string& caption) {
        std::string dir = folder / ("tessly-calc-" + std::to_string(owner) + "-" + name);
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "/caption") << utf::toUtf8(caption);
        return sleeper({dir + "/bridge.py", "-env:UserInstallation=file://" + dir + "/profile"});
    };
    pid_t leftOver = instance(gone, "left", u"LibreOffice " + std::u16string(kMarker));
    pid_t unmarked = instance(gone, "plain", u"Book1");
    pid_t otherHost = instance(::getppid(), "other", kMarker);
    pid_t user = sleeper({"-env:UserInstallation=file://" + (folder / "user-profile")});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // their command lines are in place

    reactor()->beginEvaluateFields(0, nullptr);
    EXPECT_TRUE(ends(leftOver));
    EXPECT_FALSE(std::filesystem::exists(folder / ("tessly-calc-" + std::to_string(gone) + "-left")));
    for (pid_t pid : {unmarked, otherHost, user}) {
        EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << pid << " was ended";
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

}
