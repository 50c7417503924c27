// What every subcommand sets up: the drawing (loaded or new) as the working
// drawing, the sibling library's selection, and the module, loaded and
// initialised; torn down in the reverse order.
#pragma once

#include "command/ModuleLoader.h"
#include "host/dbmain.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// A failure the user caused: printed as one line, exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Session {
public:
    // An empty path gives a new empty drawing.
    Session(const std::string& drawingPath, const std::string& modulePath);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    AcDbDatabase& database() { return *m_db; }
    // True for a drawing read from DXF: only such a drawing is written as DXF.
    bool fromDxf() const { return m_fromDxf; }
    // What the reader passed over ("skipped 12 HATCH"), or empty.
    const std::vector<std::string>& loadNotes() const { return m_loadNotes; }
    AcDbObjectId selected() const { return m_selected; }
    // Selects the object with this handle in the sibling library.
    void select(const std::string& handle);
    void loadModule();
    void* moduleSymbol(const char* name) const { return m_module.symbol(name); }
    // One evaluation pass over every field of the drawing, or over the given ones.
    void evaluateAll();
    void evaluate(const std::vector<AcDbObjectId>& fieldIds);
    // Writes the drawing in the format its name gives (.dxf or .json); the
    // error line, or empty.
    std::string save(const std::string& path);
    // The process ends with the session: the drawing is left to the exit
    // rather than freed object by object.
    void leaveDrawingAtExit() { m_leaveAtExit = true; }
    // What a DXF save left as it was, and why.
    const std::vector<std::string>& saveNotes() const { return m_saveNotes; }

private:
    std::unique_ptr<AcDbDatabase> m_db;
    bool m_fromDxf = false;
    std::vector<std::string> m_loadNotes;
    std::vector<std::string> m_saveNotes;
    AcDbObjectId m_selected;
    std::string m_modulePath;
    ModuleLoader m_module;
    bool m_leaveAtExit = false;
};
