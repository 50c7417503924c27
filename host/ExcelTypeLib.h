// The member ids of the spreadsheet application's automation type library
// that this system calls, numbered as the type library numbers them. The
// module calls them; the stand-in application answers them.
#pragma once

#include "host/oleautomation.h"

namespace exceltypelib {
enum : DISPID {
    kCount = 0x76,           // Workbooks.Count, Worksheets.Count
    kName = 0x6E,            // Worksheet.Name
    kText = 0x8A,            // Range.Text
    kCaption = 0x8B,         // Application.Caption
    kItem = 0xAA,            // Workbooks.Item, Worksheets.Item
    kRange = 0xC5,           // Worksheet.Range
    kFullName = 0x121,       // Workbook.FullName
    kQuit = 0x12E,           // Application.Quit
    kDisplayAlerts = 0x157,  // Application.DisplayAlerts
    kWorksheets = 0x1EE,     // Workbook.Worksheets
    kWorkbooks = 0x23C,      // Application.Workbooks
    kOpen = 0x2AA,           // Workbooks.Open
};
}
