#include "pe_imports.h"

#include <stdexcept>

#include "pe_image.h"
#include "test_data.h"

namespace tarnwick::bench::perf {

ImageImports ReadImports(const std::wstring& path) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) throw std::runtime_error("cannot read " + Utf8(path));
    const pe::PeImage image(pe::Bytes(bytes->begin(), bytes->end()));
    ImageImports imports;
    for (const pe::Import& import : image.Imports()) imports.imported.push_back(import.dll);
    imports.delayLoaded = image.DelayImports();
    imports.delayFromDescriptors = !image.HasDelayImportDirectory() && !imports.delayLoaded.empty();
    return imports;
}

}  // namespace tarnwick::bench::perf
