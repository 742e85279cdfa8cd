#pragma once

// The DLLs an executable names in its own image, read from the file.

#include <string>
#include <vector>

namespace tarnwick::bench::perf {

struct ImageImports {
    // The import directory: the loader maps these before the first instruction.
    std::vector<std::string> imported;
    // Loaded by the delay-load helper at the first call of one of their
    // functions: the delay-import directory's DLLs or, when that directory is
    // empty, those of the delay-load descriptors found in the image.
    std::vector<std::string> delayLoaded;
    // GNU ld links dlltool's delay-import descriptors into the code section
    // and leaves the delay-import directory empty; they were found there.
    bool delayFromDescriptors = false;
};

// Throws std::runtime_error when the file cannot be read or is not a PE32+ image.
ImageImports ReadImports(const std::wstring& path);

}  // namespace tarnwick::bench::perf
