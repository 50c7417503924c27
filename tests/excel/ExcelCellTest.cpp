// The spreadsheet cell field run the real way: the module loaded as the
// host loads it, the field engine's passes with the module's reactor, and
// the stand-in spreadsheet application behind the automation platform. A
// recorder put in front of the application shows the dispatch calls made.
#include "host/AcFdEval.h"
#include "host/TesslySibling.h"
#include "replacement_host/CommandLine.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/FieldEngineState.h"
#include "replacement_host/platform/ClassRegistry.h"
#include "replacement_host/platform/Processes.h"
#include "replacement_host/platform/SpreadsheetServer.h"
#include "tests/external/Files.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <sstream>

namespace {

using testhost::RecordingResult;

constexpr char16_t kProgId[] = u"Excel.Application";
constexpr char16_t kMarker[] = u"D076A9C0-F37C-4cf3-84E0-FD1D9566DEFC";
constexpr char16_t kStampApp[] = u"5922BCAD362F4a2f85F978E948CC606B";
const std::string kCells = std::string(TESSLY_TEST_DATA) + "/xlsx/cells.xlsx";
const std::u16string kDisplay = utf::toUtf16(std::string(TESSLY_TEST_DATA) + "/xlsx/display.xlsx");

struct Call {
    DISPID member;
    WORD flags;
    std::vector<VARIANT> args;  // in written order
};

struct Recording {
    std::vector<Call> calls;
    DISPID failMember = -1;
    HRESULT failWith = 0;
    std::vector<DISPID> members() const
    {
        std::vector<DISPID> ids;
        for (const Call& c : calls)
            ids.push_back(c.member);
        return ids;
    }
};

// Stands in front of an automation object and of every object reached from it.
class Recorder final : public IDispatch {
public:
    Recorder(IDispatch* inner, std::shared_ptr<Recording> recording) : m_inner(inner), m_rec(std::move(recording)) {}
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG n = --m_refs;
        if (n == 0) {
            m_inner->Release();
            delete this;
        }
        return n;
    }
    HRESULT Invoke(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception) override
    {
        Call call{member, flags, {}};
        for (unsigned i = params ? params->cArgs : 0; i > 0; --i)
            call.args.push_back(params->rgvarg[i - 1]);
        m_rec->calls.push_back(call);
        if (member == m_rec->failMember) {
            if (exception)
                exception->bstrDescription = u"Recorded failure";
            return m_rec->failWith;
        }
        HRESULT hr = m_inner->Invoke(member, flags, params, result, exception);
        if (hr >= 0 && result && result->vt == VT_DISPATCH && result->pdispVal)
            result->pdispVal = new Recorder(result->pdispVal, m_rec);
        return hr;
    }

private:
    IDispatch* m_inner;
    std::shared_ptr<Recording> m_rec;
    ULONG m_refs = 1;
};

void endProcess(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE, 0, processId);
    TerminateProcess(process, 0);
    CloseHandle(process);
}

std::u16string text(const AcValue& v)
{
    AcString s;
    v.get(s);
    return s;
}

class ExcelCell : public ::testing::Test {
protected:
    void SetUp() override
    {
        testhost::module();
        spreadsheetserver::resetCounts();
        m_oldSink = commandline::setSink([this](std::u16string_view t) { printed += t; });
        std::filesystem::copy_file(kCells, folder / "book.xlsx");
        book = folder.u16("book.xlsx");
    }
    void TearDown() override
    {
        restore();
        commandline::setSink(m_oldSink);
    }
    // The real application back, no pass, nothing running that should not be.
    void restore()
    {
        if (m_real)
            classregistry::replace(kProgId, m_real);
        m_real = nullptr;
        classregistry::setAvailable(kProgId, true);
        reactor()->endEvaluateFields(0, nullptr);
        EXPECT_EQ(spreadsheetserver::runningInstances(), 0) << "an instance is left running";
    }

    // From here on every application started is recorded.
    std::shared_ptr<Recording> record()
    {
        auto rec = std::make_shared<Recording>();
        m_real = classregistry::replace(kProgId, nullptr);
        classregistry::replace(kProgId, [real = m_real, rec](IDispatch** out) {
            IDispatch* inner = nullptr;
            HRESULT hr = real(&inner);
            if (hr >= 0)
                *out = new Recorder(inner, rec);
            return hr;
        });
        return rec;
    }

    static AcFdFieldReactor* reactor()
    {
        const auto& list = hostFieldReactors();
        return list.empty() ? nullptr : list.front();
    }
    static AcFdFieldEvaluator* evaluator()
    {
        const ACHAR* id = u"ExcelCell";
        return acdbGetFieldEngine()->findEvaluator(nullptr, id);
    }
    // Compiles and evaluates the field directly, outside any pass the host runs.
    static RecordingResult evaluateDirect(AcDbField* field)
    {
        RecordingResult r;
        evaluator()->compile(field, nullptr, &r);
        evaluator()->evaluate(field, 0, nullptr, &r);
        return r;
    }
    static AcDbField* fieldOf(testhost::Drawing& d, AcDbObjectId id)
    {
        return AcDbField::cast(HostAccess::objectAt(d.database(), id));
    }
    static std::u16string code(const std::u16string& data) { return u"%<\\ExcelCell " + data + u">%"; }
    static std::u16string stampOf(AcDbField* field)
    {
        AcString s;
        getXdata(field, kStampApp, s);
        return s;
    }

    testfiles::Folder folder;
    std::u16string book;
    std::u16string printed;

private:
    commandline::Sink m_oldSink;
    classregistry::Factory m_real;
};

TEST_F(ExcelCell, DisplayedTexts)
{
    struct Row {
        std::u16string data;
        std::u16string expected;
    } rows[] = {
        {book + u":Data:B2", u"$1,250.00"},
        {book + u":data:b3", u"15%"},  // worksheet and reference in any case
        {book + u":DATA:B18", u"#DIV/0!"},
        {book + u":Second Sheet:B2", u"42"},
        {book + u":Data:Price", u"$1,250.00"},  // a defined name
        {book + u":Data:B23", u"\u00A0"},       // an empty cell
        {book + u":Data:Mixed", u"\u00A0"},     // cells showing different texts
        {book + u":Second Sheet:Same", u"x"},
        {kDisplay + u":\u00FCbersicht:B4", u"Sunday, December 31, 2023"},  // the name folds beyond Latin-1
        {kDisplay + u":\u00DCBERSICHT:B14", u" "},                         // one space stays a space
    };
    testhost::Drawing d;
    std::vector<AcDbObjectId> ids;
    for (const Row& row : rows)
        ids.push_back(d.addField(code(row.data)));
    d.evaluate();
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(testhost::u8(rows[i].data));
        auto r = d.result(ids[i]);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(text(r.value), rows[i].expected);
    }
    EXPECT_EQ(spreadsheetserver::counts().starts, 1);
    EXPECT_EQ(spreadsheetserver::counts().workbooksOpened, 2);
    EXPECT_TRUE(printed.empty()) << testhost::u8(printed);
}

TEST_F(ExcelCell, CodesThatCannotBeSplitGiveInvalidCode)
{
    for (const std::u16string& data : std::vector<std::u16string>{
             u"book.xlsx:B2", u":B2", u":Data:B2", book + u":Data:", book + u"::B2", std::u16string(u"B2")}) {
        SCOPED_TRACE(testhost::u8(data));
        testhost::Drawing d;
        auto r = d.evaluateCode(code(data));
        EXPECT_EQ(r.status, 16);
        EXPECT_FALSE(r.value.isValid());
    }
    EXPECT_EQ(spreadsheetserver::counts().starts, 0);
}

TEST_F(ExcelCell, MissingWorkbookOrWorksheetShowsTheWholeData)
{
    testhost::Drawing d;
    std::u16string missing = folder.u16("gone.xlsx") + u":Data:B7";
    auto r = d.evaluateCode(code(missing));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(text(r.value), missing + u" is not found.");
    EXPECT_EQ(spreadsheetserver::counts().starts, 0) << "the application is not started for a missing file";

    std::u16string noSheet = book + u":Nowhere:B7";
    AcDbObjectId id = d.addField(code(noSheet));
    d.evaluate();
    EXPECT_EQ(text(d.result(id).value), noSheet + u" is not found.");
    EXPECT_EQ(stampOf(fieldOf(d, id)), u"") << "no stamp for a message";
}

TEST_F(ExcelCell, WorkbookPathMatchesOpenWorkbooksRegardlessOfCase)
{
    // Two files whose names differ in case only: the second is taken for the
    // first, already open.
    std::filesystem::copy_file(kCells, folder / "BOOK.xlsx");
    testhost::Drawing d;
    d.addField(code(book + u":Data:B2"));
    AcDbObjectId upper = d.addField(code(folder.u16("BOOK.xlsx") + u":data:B3"));
    d.evaluate();
    EXPECT_EQ(text(d.result(upper).value), u"15%");
    EXPECT_EQ(spreadsheetserver::counts().workbooksOpened, 1);
}

TEST_F(ExcelCell, RelativePathIsResolvedAgainstTheDrawingFolder)
{
    std::string drawing = folder.write("plan.json", R"({"tesslyDrawing": 1, "objects": [
        {"type": "text", "handle": "100", "text": "%<\\ExcelCell book.xlsx:Data:B2>%"}]})");
    auto r = testhost::runTessly("eval " + testhost::shellQuote(drawing) + " --json");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto j = nlohmann::ordered_json::parse(r.out);
    EXPECT_EQ(j["display"], "$1,250.00");
    EXPECT_EQ(j["spreadsheetStarts"], 1);
    EXPECT_EQ(j["workbooksOpened"], 1);
}

TEST_F(ExcelCell, CommandReportsOneStartAndOneOpenForAPass)
{
    std::string b = testhost::u8(book);
    auto r = testhost::runTessly("field - --json",
                                 "%<\\ExcelCell " + b + ":Data:B2>%\n%<\\ExcelCell " + b +
                                     ":Data:B4>%\n%<\\ExcelCell " + kCells + ":Data:B30>%\n");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> displays;
    for (std::string line; std::getline(lines, line);) {
        auto j = nlohmann::ordered_json::parse(line);
        displays.push_back(j["display"]);
        EXPECT_EQ(j["spreadsheetStarts"], 1);
        EXPECT_EQ(j["workbooksOpened"], 2);
    }
    EXPECT_EQ(displays, (std::vector<std::string>{"$1,250.00", "12/8/2026", "caf\u00e9 \u2013 A\u00b2"}));
}

TEST_F(ExcelCell, OutsideAPassEachChangedReadStartsAndQuits)
{
    testhost::Drawing d;
    AcDbField* field = fieldOf(d, d.addField(code(book + u":Data:B2")));
    testfiles::setModified(folder / "book.xlsx", 1700000000);
    EXPECT_EQ(text(evaluateDirect(field).value), u"$1,250.00");
    EXPECT_EQ(spreadsheetserver::runningInstances(), 0) << "quit after the read";
    EXPECT_NE(stampOf(field), u"");

    RecordingResult unchanged = evaluateDirect(field);
    EXPECT_EQ(unchanged.status, 2);
    EXPECT_EQ(spreadsheetserver::counts().starts, 1) << "an unchanged workbook is not read";

    testfiles::setModified(folder / "book.xlsx", 1700000100);
    EXPECT_EQ(text(evaluateDirect(field).value), u"$1,250.00");
    EXPECT_EQ(spreadsheetserver::counts().starts, 2);
    EXPECT_EQ(spreadsheetserver::runningInstances(), 0);
}

TEST_F(ExcelCell, InsideAPassOnlyAResidentFieldKeepsTheSession)
{
    reactor()->beginEvaluateFields(0, nullptr);
    AcDbField loose(code(book + u":Data:B2").c_str());
    EXPECT_EQ(text(evaluateDirect(&loose).value), u"$1,250.00");
    EXPECT_EQ(spreadsheetserver::runningInstances(), 0) << "a field not in a drawing closes the session";
    EXPECT_NE(stampOf(&loose), u"") << "the stamp is written all the same";

    testhost::Drawing d;
    evaluateDirect(fieldOf(d, d.addField(code(book + u":Data:B3"))));
    EXPECT_EQ(spreadsheetserver::runningInstances(), 1);
    reactor()->endEvaluateFields(0, nullptr);
    EXPECT_EQ(spreadsheetserver::runningInstances(), 0);
    evaluateDirect(fieldOf(d, d.addField(code(book + u":Data:B4"))));
    EXPECT_EQ(spreadsheetserver::runningInstances(), 0) << "the flag is cleared at the end";
}

TEST_F(ExcelCell, SessionCallsAndCloseTwiceQuitsOnce)
{
    auto rec = record();
    testhost::Drawing d;
    reactor()->beginEvaluateFields(0, nullptr);
    evaluateDirect(fieldOf(d, d.addField(code(book + u":Data:B2"))));
    ASSERT_FALSE(rec->calls.empty());
    const Call& caption = rec->calls.front();
    EXPECT_EQ(caption.member, 0x8B);
    EXPECT_EQ(caption.flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(caption.args.at(0).bstrVal, kMarker);
    EXPECT_EQ(rec->members(), (std::vector<DISPID>{0x8B, 0x23C, 0x76, 0x2AA, 0x1EE, 0x76, 0xAA, 0x6E, 0xC5, 0x8A}));
    const Call& open = rec->calls[3];
    ASSERT_EQ(open.args.size(), 13u);
    EXPECT_EQ(open.args[0].bstrVal, book);
    EXPECT_EQ(open.args[1].vt, VT_I4);
    EXPECT_EQ(open.args[1].lVal, 1);
    EXPECT_EQ(open.args[2].lVal, 1);
    for (size_t i = 3; i < 13; ++i) {
        EXPECT_EQ(open.args[i].vt, VT_ERROR);
        EXPECT_EQ(open.args[i].scode, DISP_E_PARAMNOTFOUND);
    }
    const Call& range = rec->calls[8];
    EXPECT_EQ(range.args.at(0).bstrVal, u"B2");
    EXPECT_EQ(range.args.at(1).scode, DISP_E_PARAMNOTFOUND);

    // The second field finds the workbook open: Count, Item, FullName.
    rec->calls.clear();
    evaluateDirect(fieldOf(d, d.addField(code(book + u":Data:B3"))));
    EXPECT_EQ(rec->members(), (std::vector<DISPID>{0x23C, 0x76, 0xAA, 0x121, 0x1EE, 0x76, 0xAA, 0x6E, 0xC5, 0x8A}));

    rec->calls.clear();
    reactor()->endEvaluateFields(0, nullptr);
    EXPECT_EQ(rec->members(), (std::vector<DISPID>{0x157, 0x12E}));
    EXPECT_EQ(rec->calls[0].args.at(0).vt, VT_BOOL);
    EXPECT_EQ(rec->calls[0].args.at(0).boolVal, VARIANT_FALSE);
    rec->calls.clear();
    reactor()->endEvaluateFields(0, nullptr);
    EXPECT_TRUE(rec->calls.empty()) << "no session, nothing to quit";
}

TEST_F(ExcelCell, MarkedInstanceIsEndedAtPassBeginUnmarkedNever)
{
    DWORD user = spreadsheetserver::startInstance(u"Book1 - Spreadsheet");
    DWORD wrongClass = processes::start({});
    processes::addWindow(wrongClass, u"Notepad", [] { return std::u16string(kMarker) + u".txt"; });
    DWORD left1 = spreadsheetserver::startInstance(u"Spreadsheet " + std::u16string(kMarker));
    DWORD left2 = spreadsheetserver::startInstance(kMarker);
    reactor()->beginEvaluateFields(0, nullptr);
    EXPECT_FALSE(processes::isRunning(left1));
    EXPECT_TRUE(processes::isRunning(left2)) << "one instance per call";
    reactor()->beginEvaluateFields(0, nullptr);
    EXPECT_FALSE(processes::isRunning(left2));
    EXPECT_TRUE(processes::isRunning(user));
    EXPECT_TRUE(processes::isRunning(wrongClass));
    processes::exit(wrongClass);
    endProcess(user);
}

TEST_F(ExcelCell, BeginQuitsTheOpenSessionBeforeLookingForLeftovers)
{
    testhost::Drawing d;
    reactor()->beginEvaluateFields(0, nullptr);
    evaluateDirect(fieldOf(d, d.addField(code(book + u":Data:B2"))));
    // Marked too, and after the session's in window order: looked for first,
    // the session's own instance would be ended in its place.
    DWORD leftover = spreadsheetserver::startInstance(kMarker);
    reactor()->beginEvaluateFields(0, nullptr);
    EXPECT_FALSE(processes::isRunning(leftover));
    EXPECT_EQ(spreadsheetserver::runningInstances(), 0);
}

TEST_F(ExcelCell, MarkedInstanceIsEndedWhenTheModuleLoads)
{
    DWORD user = spreadsheetserver::startInstance(u"Book1");
    DWORD left = spreadsheetserver::startInstance(kMarker);
    // A second copy of the module: loading it builds its evaluators.
    std::string copy = folder / "TesslyEvalCopy.so";
    std::filesystem::copy_file(TESSLY_MODULE_PATH, copy);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_FALSE(processes::isRunning(left));
    EXPECT_TRUE(processes::isRunning(user));
    dlclose(handle);
    endProcess(user);
}

TEST_F(ExcelCell, CreationFailureIsReportedWithSite400)
{
    classregistry::setAvailable(kProgId, false);
    testhost::Drawing d;
    auto r = d.evaluateCode(code(book + u":Data:B2"));
    EXPECT_EQ(r.status, 16);
    EXPECT_EQ(printed, u"\nAsdkExcelCellEvaluator:400:Invalid class string");
}

TEST_F(ExcelCell, ErrorsWhileSettingUpAreReportedAndTheInstanceQuit)
{
    for (HRESULT failure : {DISP_E_EXCEPTION, RPC_E_DISCONNECTED}) {
        SCOPED_TRACE(failure);
        printed.clear();
        auto rec = record();
        rec->failMember = 0x8B;
        rec->failWith = failure;
        testhost::Drawing d;
        EXPECT_EQ(d.evaluateCode(code(book + u":Data:B2")).status, 16);
        EXPECT_EQ(printed,
                  failure == DISP_E_EXCEPTION
                      ? u"\nAsdkExcelCellEvaluator:409:Recorded failure"
                      : u"\nAsdkExcelCellEvaluator:416:The object invoked has disconnected from its clients.");
        EXPECT_EQ(spreadsheetserver::runningInstances(), 0);
        restore();
    }
}

// Former bugs: a failed read was a success with no value, wiping the field.
TEST_F(ExcelCell, FailedReadIsAnErrorReportedAndClosed)
{
    struct Row {
        std::u16string data;
        DISPID failMember;
        std::u16string report;
        std::u16string says = {};
    } rows[] = {
        {book + u":Data:ZZZ", -1, u"\nAsdkExcelCellEvaluator:332:"},
        {utf::toUtf16(std::string(TESSLY_TEST_DATA) + "/xlsx/truncated.xlsx") + u":Data:B2", -1,
         u"\nAsdkExcelCellEvaluator:332:"},
        {book + u":Data:B2", 0x8A,
         u"\nAsdkExcelCellEvaluator:341:The object invoked has disconnected from its clients."},
        // What the built-in application cannot do fails the field and says why.
        {kDisplay + u":Other:B7", -1, u"\nAsdkExcelCellEvaluator:332:",
         u"B7 holds a formula with no stored value; the built-in application does not compute formulas"},
        {kDisplay + u":Other:Elsewhere", -1, u"\nAsdkExcelCellEvaluator:332:", u"not on this sheet"},
        {folder.u16("book.ods") + u":Data:B2", -1, u"\nAsdkExcelCellEvaluator:332:", u"--spreadsheet libreoffice"},
    };
    std::filesystem::copy_file(kCells, folder / "book.ods");
    for (const Row& row : rows) {
        SCOPED_TRACE(testhost::u8(row.data));
        printed.clear();
        auto rec = record();
        rec->failMember = row.failMember;
        rec->failWith = RPC_E_DISCONNECTED;
        testhost::Drawing d;
        AcDbObjectId id = d.addField(code(row.data));
        reactor()->beginEvaluateFields(0, nullptr);
        RecordingResult r = evaluateDirect(fieldOf(d, id));
        EXPECT_EQ(r.status, 64);
        EXPECT_FALSE(r.value.isValid());
        EXPECT_EQ(printed.substr(0, row.report.size()), row.report);
        EXPECT_NE(printed.find(row.says), std::u16string::npos) << testhost::u8(printed);
        EXPECT_EQ(spreadsheetserver::runningInstances(), 0) << "closed even inside a pass";
        EXPECT_EQ(stampOf(fieldOf(d, id)), u"");
        restore();
    }
}

}
