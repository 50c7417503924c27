// What one running spreadsheet application answers behind the automation
// server, whichever application it is: the built-in stand-in or LibreOffice
// Calc. Workbooks count from 1 in the order they were opened, worksheets
// from 1 in workbook order. An error the application raises is thrown as an
// exception carrying its message; an application that has gone away throws
// Disconnected.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace spreadsheetserver {

struct Disconnected {};

class Application {
public:
    virtual ~Application() = default;

    virtual bool running() const = 0;
    virtual void setCaption(const std::u16string& caption) = 0;
    virtual std::u16string caption() const = 0;
    virtual void setDisplayAlerts(bool on) = 0;
    // Closes every workbook and ends the application.
    virtual void quit() = 0;

    virtual int workbookCount() const = 0;
    // Opens read-only; gives the new workbook's number.
    virtual int open(const std::u16string& path) = 0;
    virtual std::u16string fullName(int book) const = 0;
    virtual int worksheetCount(int book) const = 0;
    virtual std::u16string worksheetName(int book, int sheet) const = 0;
    // The worksheet's number; throws when there is none of that name.
    virtual int worksheetByName(int book, const std::u16string& name) const = 0;
    // Checks the reference and gives what reads the range's displayed text.
    virtual std::function<std::u16string()> range(int book, int sheet, const std::u16string& reference) = 0;
};

// LibreOffice Calc, started headless; throws StartFailure when it cannot be.
struct StartFailure {
    std::u16string reason;
};
std::unique_ptr<Application> startCalc();
// Instances of Calc started and workbooks opened in them since the last reset.
int calcStarts();
int calcWorkbooksOpened();
void resetCalcCounts();

}
