// Relative paths against the working drawing's folder; see the header. The
// folder is never made the process's working folder: the full path is formed
// from the text, so nothing shared changes.
#include "external/DrawingPath.h"

#include "host/dbapserv.h"
#include "host/winpath.h"

#include <string>

namespace drawingpath {
namespace {

bool resolve(const ACHAR* relativePath, AcString& fullPath)
{
    AcDbDatabase* db = acdbHostApplicationServices()->workingDatabase();
    const ACHAR* fileName = nullptr;
    if (!relativePath || !db || db->getFilename(fileName) != Acad::eOk || !fileName)
        return false;
    // Longer names would overrun the folder buffer.
    std::size_t length = std::char_traits<ACHAR>::length(fileName);
    if (length >= MAX_PATH)
        return false;
    ACHAR folder[MAX_PATH] = {};
    std::char_traits<ACHAR>::copy(folder, fileName, length);
    PathRemoveFileSpecW(folder);
    ACHAR full[MAX_PATH] = {};
    if (!_wfullpathIn(full, folder, relativePath, MAX_PATH))
        return false;
    fullPath = full;
    return true;
}

}

bool locate(const AcString& written, AcString& fullPath)
{
    if (!PathIsRelativeW(written.c_str())) {
        fullPath = written;
        return true;
    }
    return resolve(written.c_str(), fullPath);
}

}
