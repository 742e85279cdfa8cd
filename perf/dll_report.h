#pragma once

// The DLLs an executable brings into its process, each marked by how it came:
// imported (the image's import directory: mapped before the first
// instruction), delay-loaded (the image's delay-load descriptors: mapped at
// the first call of one of their functions), or loaded at run time (in the
// process but named by neither: the imports' own dependencies, Wine's
// drivers, and what the program, COM and the directory service load).

#include <map>
#include <set>
#include <string>
#include <vector>

#include "measure.h"
#include "pe_imports.h"

namespace tarnwick::bench::perf {

class DllReport {
public:
    // Reads the image of `exe` (a Windows path); throws when it cannot.
    explicit DllReport(const std::wstring& exe);

    // The modules seen loaded in the process at `moment` ("idle", ...); a list
    // that could not be taken is kept as a failure.
    void Seen(const std::string& moment, const ModuleList& modules);

    struct Dll {
        std::string name;     // as the image names it, else the loaded file's name
        std::string how;      // "imported", "delay-loaded", "loaded at run time"
        std::wstring folder;  // where it was loaded from; empty: not seen loaded
        std::vector<std::string> moments;  // in the order first seen
    };
    // Imported first, then delay-loaded, then the rest by name.
    std::vector<Dll> Dlls() const;
    const ImageImports& Image() const { return image_; }
    const std::set<std::string>& Failures() const { return failures_; }
    bool SeenAtAll() const { return !moments_.empty(); }
    // The moments at which the loaded modules were listed, in order.
    const std::vector<std::string>& Moments() const { return moments_; }

private:
    std::wstring exeName_;  // lower case
    ImageImports image_;
    std::map<std::string, Dll> loaded_;  // by lower-case file name
    std::set<std::string> failures_;
    std::vector<std::string> moments_;
};

// Windows' system folder, with a trailing backslash.
std::wstring SystemFolder();

// Where Windows keeps its own DLLs, for a folder a module was loaded from:
// "system folder", "Windows' side-by-side store" (the common controls 6 the
// manifest asks for come from there), or empty for any other folder.
std::string WindowsOwnFolder(const std::wstring& folder);

// The file the stand-in WinNT provider is registered with (its COM class's
// InprocServer32); empty when it is not registered.
std::wstring StandInProviderFile();

// Case-insensitive equality of two paths or names.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace tarnwick::bench::perf
