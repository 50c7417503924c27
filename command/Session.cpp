// The command's session; see the header.
#include "command/Session.h"

#include "host/AcFdEval.h"
#include "host/TesslySibling.h"
#include "host/dbapserv.h"
#include "replacement_host/dxf/DxfFile.h"
#include "replacement_host/dxf/DxfWriter.h"
#include "replacement_host/file/DrawingFile.h"
#include "replacement_host/file/JsonIn.h"
#include "replacement_host/text/Utf.h"

#include <filesystem>

Session::Session(const std::string& drawingPath, const std::string& modulePath) : m_modulePath(modulePath)
{
    if (drawingPath.empty()) {
        m_db = std::make_unique<AcDbDatabase>();
    } else {
        // DXF (and DWG, which is refused) by name or content; JSON otherwise.
        drawingfile::LoadResult loaded;
        if (dxf::isDxfOrDwg(drawingPath)) {
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
    m_module.unload();
    setCurrentSelectedObjectId(0);
    acdbHostApplicationServices()->setWorkingDatabase(nullptr);
    if (m_leaveAtExit)
        static_cast<void>(m_db.release());
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
    return path + ": cannot tell the format from the name; give a name ending in .dxf (DXF) or .json (tessly's drawing format)";
}
