// The module's lifecycle and evaluator registry, run against the module
// loaded with dlopen, as the host loads it.
#include "app/CTesslyEvalApp.h"
#include "host/AcFdEval.h"
#include "replacement_host/fields/FieldEngineState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>

namespace {

// A fresh load of the module, without any message sent.
class RawModule {
public:
    RawModule()
    {
        m_handle = dlopen(TESSLY_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!m_handle)
            throw std::runtime_error(dlerror());
        entry = reinterpret_cast<int (*)(int, void*)>(dlsym(m_handle, "acrxEntryPoint"));
        version = reinterpret_cast<int (*)()>(dlsym(m_handle, "acrxGetApiVersion"));
        app = reinterpret_cast<CTesslyEvalApp* (*)()>(dlsym(m_handle, "tesslyTestApplication"))();
    }
    ~RawModule() { dlclose(m_handle); }
    int (*entry)(int, void*) = nullptr;
    int (*version)() = nullptr;
    CTesslyEvalApp* app = nullptr;

private:
    void* m_handle = nullptr;
};

bool engineHolds(AcFdFieldEvaluatorLoader* loader)
{
    AcFdFieldEngine* engine = acdbGetFieldEngine();
    for (int i = 0; i < engine->evaluatorLoaderCount(); ++i)
        if (engine->getEvaluatorLoader(i) == loader)
            return true;
    return false;
}

bool reactorAttached(AcFdFieldReactor* reactor)
{
    const auto& list = hostFieldReactors();
    return std::find(list.begin(), list.end(), reactor) != list.end();
}

const char16_t* const kIds[] = {u"AcLength",  u"AcArea",    u"AcBlockCount", u"TextField",
                                u"TableCell", u"ExcelCell", u"TsExpr"};

TEST(Lifecycle, ExportsTheEntryPointsUnderPlainNames)
{
    RawModule m;
    ASSERT_NE(m.entry, nullptr);
    ASSERT_NE(m.version, nullptr);
    EXPECT_EQ(m.version(), 0x130000);
}

TEST(Lifecycle, InitialiseRegistersAndUnloadWithdraws)
{
    RawModule m;
    AcFdFieldEvaluatorLoader* loader = &m.app->loader();
    AcFdFieldReactor* reactor = &m.app->reactor();
    EXPECT_FALSE(engineHolds(loader));
    EXPECT_EQ(m.entry(1, nullptr), 0);
    EXPECT_TRUE(engineHolds(loader));
    EXPECT_TRUE(reactorAttached(reactor));
    EXPECT_EQ(m.app->loaderRegistered(), 1);
    EXPECT_EQ(m.entry(2, nullptr), 0);
    EXPECT_FALSE(engineHolds(loader));
    EXPECT_FALSE(reactorAttached(reactor));
    EXPECT_EQ(m.app->loaderRegistered(), 1) << "the flag keeps its value after unload";
}

TEST(Lifecycle, CodesOutsideTheHandlersAndOtherCodesChangeNothing)
{
    RawModule m;
    for (int code : {-1, -100, 16, 17, 1000, 0, 3, 4, 5, 15}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(m.entry(code, nullptr), 0);
        EXPECT_FALSE(engineHolds(&m.app->loader()));
        EXPECT_FALSE(reactorAttached(&m.app->reactor()));
        EXPECT_EQ(m.app->loaderRegistered(), 0);
    }
}

TEST(Lifecycle, UnloadWithoutInitialiseTouchesNothing)
{
    RawModule m;
    // Another party's registrations must survive a stray unload message.
    AcFdFieldEvaluatorLoader other;
    acdbGetFieldEngine()->registerEvaluatorLoader(&other);
    EXPECT_EQ(m.entry(2, nullptr), 0);
    EXPECT_TRUE(engineHolds(&other));
    EXPECT_FALSE(engineHolds(&m.app->loader()));
    acdbGetFieldEngine()->unregisterEvaluatorLoader(&other);
}

TEST(Registry, EveryIdAnswersTheEvaluatorMadeAtLoad)
{
    RawModule m;
    m.entry(1, nullptr);
    AcFdFieldEngine* engine = acdbGetFieldEngine();
    std::vector<AcFdFieldEvaluator*> seen;
    for (const char16_t* id : kIds) {
        SCOPED_TRACE(std::string(id, id + std::char_traits<char16_t>::length(id)));
        AcFdFieldEvaluator* byLoader = m.app->loader().getEvaluator(id);
        ASSERT_NE(byLoader, nullptr);
        const ACHAR* asked = id;
        EXPECT_EQ(engine->findEvaluator(nullptr, asked), byLoader);
        EXPECT_EQ(m.app->loader().findEvaluator(nullptr, asked), byLoader);
        EXPECT_EQ(asked, id) << "the id is not changed";
        EXPECT_EQ(std::count(seen.begin(), seen.end(), byLoader), 0) << "one evaluator per id";
        seen.push_back(byLoader);
        EXPECT_EQ(m.app->loader().getEvaluator(id), byLoader) << "the same object every time";
    }
    m.entry(2, nullptr);
}

TEST(Registry, IdsMatchIgnoringAsciiCaseOnly)
{
    RawModule m;
    AsdkEvaluatorLoader& loader = m.app->loader();
    AcFdFieldEvaluator* length = loader.getEvaluator(u"AcLength");
    const struct {
        const char16_t* id;
        AcFdFieldEvaluator* expected;
    } rows[] = {
        {u"acLENGTH", length},
        {u"ACLENGTH", length},
        {u" AcLength", nullptr},
        {u"AcLength ", nullptr},
        {u"AcLengthX", nullptr},
        {u"AcLengt", nullptr},
        {u"", nullptr},
        {u"TSEXPR", loader.getEvaluator(u"TsExpr")},
        {u"tablecell", loader.getEvaluator(u"TableCell")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.id, row.id + std::char_traits<char16_t>::length(row.id)));
        EXPECT_EQ(loader.getEvaluator(row.id), row.expected);
        const ACHAR* id = row.id;
        EXPECT_EQ(loader.findEvaluator(nullptr, id), row.expected);
    }
    EXPECT_EQ(loader.getEvaluator(nullptr), nullptr);
    const ACHAR* none = nullptr;
    EXPECT_EQ(loader.findEvaluator(nullptr, none), nullptr);
}

}
