// Test support; see the header.
#include "tests/support/TestHost.h"
#include "replacement_host/HostAccess.h"

#include "host/AcFdEval.h"
#include "sibling_library/Sibling.h"
#include "host/dbapserv.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/file/DrawingFile.h"
#include "replacement_host/text/Utf.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testhost {

ModuleLoader& module()
{
    // Never destroyed: at exit the module's own objects may be gone before a
    // static loader here could send the unload message.
    static ModuleLoader* loader = new ModuleLoader;
    if (!loader->loaded()) {
        std::string error = loader->load(TESSLY_MODULE_PATH);
        if (!error.empty())
            throw std::runtime_error(error);
    }
    return *loader;
}

Drawing::Drawing(const std::string& objectsJson, const std::string& selected)
{
    module();
    std::string text = "{\"tesslyDrawing\": 1, \"objects\": " + objectsJson +
        (selected.empty() ? "" : ", \"selected\": \"" + selected + "\"") + "}";
    drawingfile::LoadResult r = drawingfile::loadFromText(text, "test drawing");
    if (!r.database)
        throw std::runtime_error(r.error);
    m_db = std::move(r.database);
    acdbHostApplicationServices()->setWorkingDatabase(m_db.get());
    setCurrentSelectedObjectId(r.selected.asOldId());
}

Drawing::~Drawing()
{
    if (acdbHostApplicationServices()->workingDatabase() == m_db.get())
        acdbHostApplicationServices()->setWorkingDatabase(nullptr);
    setCurrentSelectedObjectId(0);
}

AcDbObjectId Drawing::addField(const std::u16string& code)
{
    auto* text = new AcDbText;
    HostAccess::hostSetMakesOwnFields(*text, false);
    text->setTextString(code.c_str());
    AcDbObjectId textId, fieldId;
    m_db->addObject(text, m_db->modelSpaceId(), textId);
    m_db->addObject(new AcDbField(code.c_str()), textId, fieldId);
    HostAccess::hostAddField(*text, fieldId);
    m_added.push_back(fieldId);
    return fieldId;
}

void Drawing::evaluate()
{
    module();
    if (m_added.empty())
        acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, m_db.get());
    else
        acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, m_db.get(), m_added);
}

FieldResult Drawing::result(AcDbObjectId fieldId) const
{
    FieldResult r;
    auto* field = AcDbField::cast(HostAccess::objectAt(*m_db, fieldId));
    if (!field)
        throw std::runtime_error("no such field");
    if (HostAccess::passRecord(*field).evaluatorFound && !field->isTextField())
        r.evaluator = utf::toUtf8(field->evaluatorId());
    r.status = field->evaluationStatus();
    field->getValue(r.value);
    r.display = field->getValue();
    return r;
}

FieldResult Drawing::evaluateCode(const std::u16string& code)
{
    m_added.clear();
    AcDbObjectId id = addField(code);
    evaluate();
    return result(id);
}

AcDbObjectId Drawing::idOf(const std::string& handle) const
{
    AcDbObjectId id;
    m_db->getAcDbObjectId(id, false, AcDbHandle(std::stoull(handle, nullptr, 16)));
    return id;
}

std::string shellQuote(const std::string& word)
{
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CommandResult runTessly(const std::string& arguments, const std::string& stdinText)
{
    char inName[] = "/tmp/tessly-in-XXXXXX";
    char errName[] = "/tmp/tessly-err-XXXXXX";
    int inFd = mkstemp(inName), errFd = mkstemp(errName);
    if (inFd < 0 || errFd < 0)
        throw std::runtime_error("cannot make temporary files");
    if (::write(inFd, stdinText.data(), stdinText.size()) != static_cast<ssize_t>(stdinText.size()))
        throw std::runtime_error("cannot write standard input file");
    ::close(inFd);
    ::close(errFd);
    std::string command = std::string(TESSLY_COMMAND_PATH) + " " + arguments + " <" + inName + " 2>" + errName;
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run tessly");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        result.out.append(buf.data(), n);
    int status = pclose(pipe);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errName);
    std::stringstream ss;
    ss << err.rdbuf();
    result.err = ss.str();
    ::unlink(inName);
    ::unlink(errName);
    return result;
}

std::string u8(const std::u16string& s) { return utf::toUtf8(s); }
std::u16string u16(const std::string& s) { return utf::toUtf16(s); }

}
