// The stand-in application object: opening workbooks, the list of open ones,
// and counters of starts and opens that tests read to check how often the
// cell field starts the application. Interface: Application in Spreadsheet.h.
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"

namespace tessly::spreadsheet {
namespace {

// Plain counters: the application is only used from the host's one thread.
int g_started = 0;
int g_opened = 0;
int g_running = 0;

}  // namespace

Application::Application()
{
    ++g_started;
    ++g_running;
}

Application::~Application() { quit(); }

int Application::startedCount() { return g_started; }
int Application::openedCount() { return g_opened; }
int Application::runningCount() { return g_running; }

void Application::resetCounters()
{
    g_started = 0;
    g_opened = 0;
}

Workbook Application::workbook(int index) const
{
    if (index < 1 || index > workbookCount())
        throw SpreadsheetError("There is no open workbook number " + std::to_string(index) + " (" +
                               std::to_string(workbookCount()) + " open)");
    return m_workbooks[static_cast<size_t>(index - 1)];
}

Workbook Application::open(const std::u16string& path)
{
    if (m_quit)
        throw SpreadsheetError("The application has quit; cannot open '" + toUtf8(path) + "'");
    Workbook book = Workbook::open(path);
    ++g_opened;
    m_workbooks.push_back(book);
    return book;
}

void Application::quit()
{
    m_workbooks.clear();
    if (!m_quit) {
        m_quit = true;
        --g_running;
    }
}

}  // namespace tessly::spreadsheet
