#include "pe_imports.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <utility>

#include "test_data.h"

namespace tarnwick::bench::perf {

namespace {

constexpr std::size_t kImportDescriptorSize = 20;  // IMAGE_IMPORT_DESCRIPTOR
constexpr std::size_t kDelayDescriptorSize = 32;   // IMAGE_DELAYLOAD_DESCRIPTOR
constexpr std::uint32_t kDelayAttributesRva = 1;   // its addresses are RVAs (all 64-bit ones)

// A PE32+ image as a file holds it; every read is bounds-checked.
class Image {
public:
    explicit Image(std::string bytes) : bytes_(std::move(bytes)) {
        if (U16(0) != IMAGE_DOS_SIGNATURE || U32(U32(0x3C)) != IMAGE_NT_SIGNATURE)
            throw std::runtime_error("not a PE image");
        const std::size_t fileHeader = U32(0x3C) + 4;
        optionalHeader_ = fileHeader + sizeof(IMAGE_FILE_HEADER);
        if (U16(optionalHeader_) != IMAGE_NT_OPTIONAL_HDR64_MAGIC) throw std::runtime_error("not a PE32+ image");
        const std::size_t sectionTable = optionalHeader_ + U16(fileHeader + 16);
        for (std::size_t i = 0; i < U16(fileHeader + 2); ++i) {
            const std::size_t header = sectionTable + sizeof(IMAGE_SECTION_HEADER) * i;
            sections_.push_back({U32(header + 12), U32(header + 16), U32(header + 20), U32(header + 36)});
        }
    }

    std::uint16_t U16(std::size_t at) const { return static_cast<std::uint16_t>(Read(at, 2)); }
    std::uint32_t U32(std::size_t at) const { return static_cast<std::uint32_t>(Read(at, 4)); }
    std::uint64_t U64(std::size_t at) const { return Read(at, 8); }
    std::size_t Size() const { return bytes_.size(); }

    // RVA and size of a data directory; zeros when the image has none.
    std::pair<std::uint32_t, std::uint32_t> Directory(int index) const {
        if (static_cast<std::uint32_t>(index) >= U32(optionalHeader_ + 108)) return {0, 0};
        const std::size_t entry = optionalHeader_ + 112 + 8 * static_cast<std::size_t>(index);
        return {U32(entry), U32(entry + 4)};
    }

    // The file offset of an address inside a section's stored data.
    std::optional<std::size_t> Offset(std::uint32_t rva) const {
        for (const Section& section : sections_)
            if (rva >= section.address && rva - section.address < section.rawSize)
                return std::size_t{section.rawOffset} + (rva - section.address);
        return std::nullopt;
    }
    std::size_t OffsetOrThrow(std::uint32_t rva) const {
        if (const auto offset = Offset(rva)) return *offset;
        throw std::runtime_error("an address outside the image's data");
    }

    // A NUL-terminated name of printable characters, or nothing.
    std::optional<std::string> Name(std::uint32_t rva) const {
        const auto offset = Offset(rva);
        if (!offset) return std::nullopt;
        std::string name;
        for (std::size_t at = *offset; at < bytes_.size() && name.size() < 256; ++at) {
            const char c = bytes_[at];
            if (c == '\0') return name.empty() ? std::nullopt : std::optional<std::string>(name);
            if (c < 0x20 || c > 0x7E) return std::nullopt;
            name.push_back(c);
        }
        return std::nullopt;
    }

    bool Writable(std::uint32_t rva) const {
        for (const Section& section : sections_)
            if (rva >= section.address && rva - section.address < section.rawSize)
                return (section.characteristics & IMAGE_SCN_MEM_WRITE) != 0;
        return false;
    }

    struct Section {
        std::uint32_t address, rawSize, rawOffset, characteristics;
    };
    const std::vector<Section>& Sections() const { return sections_; }

private:
    std::uint64_t Read(std::size_t at, std::size_t size) const {
        if (at > bytes_.size() || size > bytes_.size() - at) throw std::runtime_error("a truncated PE image");
        std::uint64_t value = 0;
        std::memcpy(&value, bytes_.data() + at, size);  // little-endian, like the image
        return value;
    }

    std::string bytes_;
    std::size_t optionalHeader_ = 0;
    std::vector<Section> sections_;
};

bool EndsWithDll(const std::string& name) {
    return name.size() > 4 && CompareStringOrdinal(std::wstring(name.end() - 4, name.end()).c_str(), -1, L".dll",
                                                   -1, TRUE) == CSTR_EQUAL;
}

// A delay-load descriptor at `at` whose DLL name, module handle, address table
// and name table all resolve, the name table listing at least one function by
// name or ordinal: the DLL's name, else nothing.
std::optional<std::string> DelayDescriptorAt(const Image& image, std::size_t at) {
    if (image.U32(at) != kDelayAttributesRva) return std::nullopt;
    const auto dll = image.Name(image.U32(at + 4));
    if (!dll || !EndsWithDll(*dll) || !image.Writable(image.U32(at + 8)) || !image.Offset(image.U32(at + 12)))
        return std::nullopt;
    const auto names = image.Offset(image.U32(at + 16));
    if (!names) return std::nullopt;
    std::size_t functions = 0;
    for (std::size_t thunk = *names;; thunk += 8) {
        if (thunk + 8 > image.Size()) return std::nullopt;
        const std::uint64_t entry = image.U64(thunk);
        if (entry == 0) break;
        const bool byOrdinal = (entry >> 63) != 0;
        if (!byOrdinal && !image.Name(static_cast<std::uint32_t>(entry) + 2)) return std::nullopt;  // after the hint
        ++functions;
    }
    return functions ? dll : std::nullopt;
}

}  // namespace

ImageImports ReadImports(const std::wstring& path) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) throw std::runtime_error("cannot read " + Utf8(path));
    const Image image(*bytes);
    ImageImports imports;

    const auto [importRva, importSize] = image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (std::uint32_t descriptor = importRva; importSize != 0; descriptor += kImportDescriptorSize) {
        const std::uint32_t name = image.U32(image.OffsetOrThrow(descriptor) + 12);
        if (name == 0) break;
        imports.imported.push_back(image.Name(name).value_or("?"));
    }

    const auto [delayRva, delaySize] = image.Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
    for (std::uint32_t descriptor = delayRva; delaySize != 0; descriptor += kDelayDescriptorSize) {
        const std::uint32_t name = image.U32(image.OffsetOrThrow(descriptor) + 4);
        if (name == 0) break;
        imports.delayLoaded.push_back(image.Name(name).value_or("?"));
    }
    if (delaySize == 0) {
        for (const auto& section : image.Sections())
            for (std::size_t at = section.rawOffset; at + kDelayDescriptorSize <= std::size_t{section.rawOffset} + section.rawSize;
                 at += 4)
                if (const auto dll = DelayDescriptorAt(image, at)) imports.delayLoaded.push_back(*dll);
        imports.delayFromDescriptors = !imports.delayLoaded.empty();
    }
    return imports;
}

}  // namespace tarnwick::bench::perf
