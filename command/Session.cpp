// The command's session; see the header.
#include "command/Session.h"

#include "plugin/TesslyExports.h"
#include "command/FieldReport.h"

#include "host/AcFdEval.h"
#include "sibling_library/Sibling.h"
#include "host/dbapserv.h"
#include "replacement_host/dxf/DxfFile.h"
#include "replacement_host/fields/FieldProgress.h"
#include "replacement_host/dxf/DxfWriter.h"
#include "replacement_host/file/DrawingFile.h"
#include "replacement_host/file/JsonIn.h"
#include "replacement_host/text/Utf.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {
// "reading plan.dxf: 45%" on a terminal while a read runs past a second.
class ReadProgress {
public:
    explicit ReadProgress(const std::string& path)
    {
        if (::isatty(STDERR_FILENO) == 0)
            return;
        auto start = std::chrono::steady_clock::now();
        readprogress::set([this, path, start](size_t done, size_t total) {
            auto now = std::chrono::steady_clock::now();
            if (total == 0 || now - start < std::chrono::seconds(1) || now - m_last < std::chrono::milliseconds(100))
                return;
            m_last = now;
            m_shown = true;
            std::fprintf(stderr, "\rreading %s: %zu%%", path.c_str(), done * 100 / total);
            std::fflush(stderr);
        });
    }
    ~ReadProgress()
    {
        readprogress::set(nullptr);
        if (m_shown)
            std::fprintf(stderr, "\r\033[K");
    }

private:
    std::chrono::steady_clock::time_point m_last;
    bool m_shown = false;
};
}

Session::Session(const std::string& drawingPath, const std::string& modulePath) : m_modulePath(modulePath)
{
    std::error_code folderError;
    if (drawingPath.empty()) {
        m_db = std::make_unique<AcDbDatabase>();
        // Relative paths in fields count from the current folder.
        auto here = std::filesystem::current_path(folderError);
        if (!folderError)
            m_db->setFilename(utf::toUtf16((here / "Drawing1.json").string()));
    } else if (std::filesystem::is_directory(drawingPath, folderError)) {
        throw UsageError(drawingPath + ": is a folder, not a drawing file");
    } else {
        // DXF (and DWG, which is refused) by name or content; JSON otherwise.
        drawingfile::LoadResult loaded;
        if (dxf::isDxfOrDwg(drawingPath)) {
            ReadProgress progress(drawingPath);
            dxf::LoadResult dxfLoaded = dxf::load(drawingPath);
            loaded = std::move(dxfLoaded.drawing);
            m_loadNotes = dxf::loadNotes(dxfLoaded);
            m_fromDxf = true;
        } else {
            loaded = drawingfile::load(drawingPath);
        }
        if (!loaded.database)
            throw UsageError(loaded.error);
        m_db = std::move(loaded.database);
        // Relative paths in fields resolve against the drawing's folder.
        std::error_code ec;
        auto absolute = std::filesystem::absolute(drawingPath, ec);
        m_db->setFilename(utf::toUtf16(ec ? drawingPath : absolute.lexically_normal().string()));
        m_selected = loaded.selected;
    }
    acdbHostApplicationServices()->setWorkingDatabase(m_db.get());
    setCurrentSelectedObjectId(m_selected.asOldId());
}

Session::~Session()
{
    fieldreport::setCauseFinder(nullptr);
    m_module.unload();
    setCurrentSelectedObjectId(0);
    acdbHostApplicationServices()->setWorkingDatabase(nullptr);
#ifndef TESSLY_SANITIZE
    // Tearing down a drawing the process no longer needs only costs time at
    // exit. Sanitizer builds tear it down, so leak reports stay meaningful.
    if (m_leaveAtExit)
        static_cast<void>(m_db.release());
#endif
}

void Session::select(const std::string& handle)
{
    AcDbHandle h;
    AcDbObjectId id;
    if (!drawingfile::parseHandle(handle, h) || m_db->getAcDbObjectId(id, false, h) != Acad::eOk)
        throw UsageError("--select " + handle + ": no object of the drawing has this handle");
    m_selected = id;
    setCurrentSelectedObjectId(id.asOldId());
}

void Session::loadModule()
{
    std::string error = m_module.load(m_modulePath.empty() ? ModuleLoader::defaultPath() : m_modulePath);
    if (!error.empty())
        throw UsageError(error);
    // Why a field shows what it shows, by the module's own rules.
    auto check = reinterpret_cast<TesslyCheckFieldFn>(m_module.symbol("tesslyCheckField"));
    fieldreport::setCauseFinder([check](const AcDbField& field) {
        std::vector<std::string> found;
        if (!check)
            return found;
        check(
            field.objectId().asOldId(),
            [](const char16_t* text, size_t length, void* context) {
                static_cast<std::vector<std::string>*>(context)->push_back(utf::toUtf8(std::u16string(text, length)));
            },
            &found);
        return found;
    });
}

void Session::evaluateAll() { acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, m_db.get()); }

void Session::evaluate(const std::vector<AcDbObjectId>& fieldIds)
{
    acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, m_db.get(), fieldIds);
}

namespace {
std::string lowerExtension(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}
}

std::string Session::save(const std::string& path)
{
    // The output name says the format, so a DXF name never holds JSON.
    std::string ext = lowerExtension(path);
    if (ext == ".json")
        return drawingfile::save(*m_db, path, m_selected);
    if (ext == ".dxf") {
        if (!m_fromDxf)
            return path + ": tessly writes DXF only for drawings read from DXF; give a .json name to save this drawing";
        m_saveNotes.clear();
        return dxf::save(*m_db, path, &m_saveNotes);
    }
    return path +
        ": cannot tell the format from the name; give a name ending in .dxf (DXF) or .json (tessly's drawing format)";
}
