// Module loading; see the header.
#include "command/ModuleLoader.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>

#ifndef TESSLY_MODULE_DIR
#define TESSLY_MODULE_DIR "../lib/tessly"
#endif

namespace {
constexpr int kInitAppMsg = 1;
constexpr int kUnloadAppMsg = 2;
constexpr int kApiVersion = 0x130000;
}

std::string ModuleLoader::defaultPath()
{
    if (const char* env = std::getenv("TESSLY_MODULE"); env && *env)
        return env;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::filesystem::path folder = ec ? std::filesystem::path(".") : exe.parent_path();
    // Built: next to the program. Installed: in the library folder beside the program's.
    std::filesystem::path installed = folder / TESSLY_MODULE_DIR / "TesslyEval.so";
    if (!std::filesystem::exists(folder / "TesslyEval.so", ec) && std::filesystem::exists(installed, ec))
        return installed.lexically_normal().string();
    return (folder / "TesslyEval.so").string();
}

std::string ModuleLoader::load(const std::string& path)
{
    unload();
    // A bare name would make dlopen search the library path instead.
    std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return "cannot load module " + path + ": " + (why ? why : "unknown error");
    }
    auto entry = reinterpret_cast<int (*)(int, void*)>(dlsym(handle, "acrxEntryPoint"));
    auto version = reinterpret_cast<int (*)()>(dlsym(handle, "acrxGetApiVersion"));
    if (!entry || !version) {
        dlclose(handle);
        return path + " is not a TesslyEval module: it lacks " + (entry ? "acrxGetApiVersion" : "acrxEntryPoint");
    }
    if (int v = version(); v != kApiVersion) {
        dlclose(handle);
        return path + " is built for host API version " + std::to_string(v) + ", this host is " +
            std::to_string(kApiVersion);
    }
    m_handle = handle;
    m_entryPoint = entry;
    sendMessage(kInitAppMsg, m_handle);
    return {};
}

void ModuleLoader::unload()
{
    if (!m_handle)
        return;
    sendMessage(kUnloadAppMsg, m_handle);
    dlclose(m_handle);
    m_handle = nullptr;
    m_entryPoint = nullptr;
}

int ModuleLoader::sendMessage(int code, void* pkt) const { return m_entryPoint ? m_entryPoint(code, pkt) : -1; }

void* ModuleLoader::symbol(const char* name) const { return m_handle ? dlsym(m_handle, name) : nullptr; }
