// The workbook the spreadsheet benchmarks read: 2,000 rows of 100 cells,
// numbers and texts, written once per run by openpyxl into a temporary
// folder (it is never committed).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace bigworkbook {

constexpr int kRows = 2000;
constexpr int kColumns = 100;

inline const std::string& path()
{
    static const std::string file = [] {
        auto dir = std::filesystem::temp_directory_path() / "tessly_big_workbook";
        std::filesystem::create_directories(dir);
        std::string out = (dir / "big.xlsx").string();
        std::string script = (dir / "make.py").string();
        std::ofstream(script) << "import openpyxl, sys\n"
                                 "wb = openpyxl.Workbook(write_only=True)\n"
                                 "ws = wb.create_sheet('Big')\n"
                                 "for r in range("
                              << kRows
                              << "):\n"
                                 "    ws.append([r * 1.5 + c if c % 4 else 'text %d' % (r * c) for c in range("
                              << kColumns
                              << ")])\n"
                                 "wb.save(sys.argv[1])\n";
        std::string cmd = "/usr/bin/python3 " + script + " " + out;
        if (std::system(cmd.c_str()) != 0)
            std::abort();
        return out;
    }();
    return file;
}

}
