// Stand-in for the spreadsheet application that the cell field drives: it
// opens .xlsx workbooks read-only and gives each cell's text as the
// application would display it. Text is UTF-16 at this interface.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessly::spreadsheet {

// Raised for anything the application would refuse: unreadable, corrupt or
// encrypted workbooks, unknown worksheets, invalid references. The message
// names the file, sheet or reference concerned.
class SpreadsheetError : public std::runtime_error {
public:
    explicit SpreadsheetError(const std::string& message) : std::runtime_error(message) {}
};

struct WorkbookData;

class Range {
public:
    // The displayed text. A multi-cell range shows its text only when every
    // cell shows the same; otherwise, and for an empty cell, the text is
    // empty (the caller decides how to show emptiness).
    std::u16string text() const;

    int firstRow() const { return m_row1; }
    int firstColumn() const { return m_col1; }
    int lastRow() const { return m_row2; }
    int lastColumn() const { return m_col2; }

private:
    friend class Worksheet;
    Range(std::shared_ptr<WorkbookData> book, int sheet, int row1, int col1, int row2, int col2)
        : m_book(std::move(book)), m_sheet(sheet), m_row1(row1), m_col1(col1), m_row2(row2), m_col2(col2)
    {
    }

    std::shared_ptr<WorkbookData> m_book;
    int m_sheet;  // index among all sheets of the workbook part
    int m_row1, m_col1, m_row2, m_col2;
};

class Worksheet {
public:
    std::u16string name() const;

    // A cell ("B7", "$B$7", lower case too), a rectangle ("A1:C3") or a
    // defined name (this sheet's names before the workbook's). The sheet's
    // cells are read on the first call.
    Range range(const std::u16string& reference) const;

private:
    friend class Workbook;
    Worksheet(std::shared_ptr<WorkbookData> book, int sheet) : m_book(std::move(book)), m_sheet(sheet) {}

    std::shared_ptr<WorkbookData> m_book;
    int m_sheet;
};

// A workbook opened read-only. Copies share the same open file.
class Workbook {
public:
    // Reads the package, the workbook part, shared strings and styles;
    // worksheets are read when first used.
    static Workbook open(const std::u16string& path);

    // Absolute path of the file.
    std::u16string fullName() const;
    bool date1904() const;

    int worksheetCount() const;
    Worksheet worksheet(int index) const;  // from 1
    // Name compared without regard to letter case.
    Worksheet worksheetByName(const std::u16string& name) const;

private:
    explicit Workbook(std::shared_ptr<WorkbookData> data) : m_data(std::move(data)) {}
    std::shared_ptr<WorkbookData> m_data;
};

// One running instance: its open workbooks and the properties the automation
// layer sets. The counters are process-wide so a host can check how often the
// application was started and workbooks opened.
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    static int startedCount();
    static int openedCount();
    static int runningCount();
    static void resetCounters();  // started and opened back to 0

    void setCaption(std::u16string caption) { m_caption = std::move(caption); }
    const std::u16string& caption() const { return m_caption; }
    void setDisplayAlerts(bool on) { m_displayAlerts = on; }
    bool displayAlerts() const { return m_displayAlerts; }

    int workbookCount() const { return static_cast<int>(m_workbooks.size()); }
    Workbook workbook(int index) const;  // from 1
    // Opens read-only and adds it to the open workbooks.
    Workbook open(const std::u16string& path);
    // Closes every workbook; the instance is no longer running.
    void quit();
    bool hasQuit() const { return m_quit; }

private:
    std::vector<Workbook> m_workbooks;
    std::u16string m_caption;
    bool m_displayAlerts = true;
    bool m_quit = false;
};

}  // namespace tessly::spreadsheet
