// Loads the TesslyEval module the way the host loads a plug-in: dlopen, the
// two entry points, the initialise message; unload sends the unload message
// and closes the library.
#pragma once

#include <string>

class ModuleLoader {
public:
    ModuleLoader() = default;
    ~ModuleLoader() { unload(); }
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // The module next to this program (or, installed, in the library folder),
    // unless TESSLY_MODULE names another.
    static std::string defaultPath();
    // Gives an empty text on success, else what went wrong.
    std::string load(const std::string& path);
    void unload();
    bool loaded() const { return m_handle != nullptr; }
    int sendMessage(int code, void* pkt = nullptr) const;
    void* symbol(const char* name) const;

private:
    void* m_handle = nullptr;
    int (*m_entryPoint)(int, void*) = nullptr;
};
