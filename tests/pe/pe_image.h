#pragma once

// A PE32 or PE32+ image read from its bytes: its headers, sections, imports
// (ordinary and delay-loaded) and process manifest, for the checks of the
// built programs (x86 and x64). Every read is bounds-checked; a malformed image throws
// std::runtime_error. Free of Windows headers, so that the unit tests read it
// natively and the performance bench under Wine.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick::pe {

using Bytes = std::vector<unsigned char>;

inline constexpr std::uint16_t kPe32 = 0x10B;
inline constexpr std::uint16_t kPe32Plus = 0x20B;
inline constexpr std::uint32_t kSectionExecute = 0x20000000;
inline constexpr std::uint32_t kSectionWrite = 0x80000000;
inline constexpr std::uint32_t kResourceManifest = 24;
inline constexpr std::uint32_t kProcessManifestId = 1;
inline constexpr std::size_t kDelayDescriptorSize = 32;  // IMAGE_DELAYLOAD_DESCRIPTOR
inline constexpr std::uint32_t kDelayAttributesRva = 1;  // its addresses are RVAs (as the linkers here write them)

enum DirectoryIndex { kImportDirectory = 1, kResourceDirectory = 2, kRelocationDirectory = 5, kDelayImportDirectory = 13 };

struct Import {
    std::string dll;
    std::vector<std::string> functions;  // by name; ordinals are left out
};

struct Section {
    std::string name;
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
    std::uint32_t characteristics;
};

// A PE32 or PE32+ image read from its bytes; every read is bounds-checked, and
// a malformed image throws std::runtime_error.
class PeImage {
public:
    explicit PeImage(Bytes bytes) : bytes_(std::move(bytes)) {
        if (U16(0) != 0x5A4D) throw std::runtime_error("no MZ header");
        const std::uint32_t nt = U32(0x3C);
        if (U32(nt) != 0x00004550) throw std::runtime_error("no PE signature");
        fileHeader_ = nt + 4;
        optionalHeader_ = fileHeader_ + 20;
        const std::uint16_t magic = U16(optionalHeader_);
        if (magic != kPe32Plus && magic != kPe32) throw std::runtime_error("neither a PE32 nor a PE32+ image");
        is64_ = magic == kPe32Plus;
        sectionTable_ = optionalHeader_ + U16(fileHeader_ + 16);
        for (std::size_t i = 0; i < U16(fileHeader_ + 2); ++i) {
            const std::size_t header = SectionHeaderOffset(i);
            std::string name(reinterpret_cast<const char*>(At(header, 8)), 8);
            name.resize(name.find('\0') == std::string::npos ? 8 : name.find('\0'));
            sections_.push_back({name, U32(header + 12), U32(header + 8), U32(header + 20), U32(header + 16),
                                 U32(header + kSectionCharacteristics)});
        }
    }

    std::uint16_t Machine() const { return U16(fileHeader_); }
    std::uint16_t FileCharacteristics() const { return U16(FileCharacteristicsOffset()); }
    std::uint16_t DllCharacteristics() const { return U16(DllCharacteristicsOffset()); }
    bool Is64() const { return is64_; }
    // The oldest Windows the loader accepts the image on, as major.minor.
    std::pair<std::uint16_t, std::uint16_t> SubsystemVersion() const {
        return {U16(SubsystemVersionOffset()), U16(SubsystemVersionOffset() + 2)};
    }
    const std::vector<Section>& Sections() const { return sections_; }

    // Where the fields are in the file, for the tests that weaken a copy.
    std::size_t FileCharacteristicsOffset() const { return fileHeader_ + 18; }
    std::size_t DllCharacteristicsOffset() const { return optionalHeader_ + 70; }
    std::size_t SubsystemVersionOffset() const { return optionalHeader_ + 48; }
    std::size_t DirectoryOffset(int index) const {
        return optionalHeader_ + (is64_ ? 112 : 96) + 8 * static_cast<std::size_t>(index);
    }
    std::size_t SectionHeaderOffset(std::size_t index) const { return sectionTable_ + 40 * index; }
    static constexpr std::size_t kSectionCharacteristics = 36;  // within a section header
    // The base relocations that are not padding.
    std::size_t RelocationCount() const {
        const auto [rva, size] = Directory(kRelocationDirectory);
        std::size_t count = 0;
        for (std::uint32_t done = 0; done < size;) {
            const std::size_t block = Offset(rva + done);
            const std::uint32_t blockSize = U32(block + 4);
            if (blockSize < 8 || done + blockSize > size) throw std::runtime_error("malformed relocation block");
            for (std::uint32_t entry = 8; entry + 2 <= blockSize; entry += 2)
                count += (U16(block + entry) >> 12) != 0;  // type 0 only pads a block
            done += blockSize;
        }
        return count;
    }

    std::vector<Import> Imports() const {
        std::vector<Import> imports;
        const auto [rva, size] = Directory(kImportDirectory);
        for (std::uint32_t descriptor = rva; size != 0; descriptor += 20) {
            const std::size_t at = Offset(descriptor);
            const std::uint32_t lookup = U32(at) ? U32(at) : U32(at + 16);
            const std::uint32_t name = U32(at + 12);
            if (name == 0 && lookup == 0) break;
            imports.push_back({Text(name), NameTable(lookup)});
        }
        return imports;
    }

    // Whether the image has a delay-import directory. GNU ld leaves it empty
    // and links dlltool's delay-load descriptors among the code instead.
    bool HasDelayImportDirectory() const { return Directory(kDelayImportDirectory).size != 0; }

    // The DLLs loaded at the first call of one of their functions: those of
    // the delay-import directory or, when it is empty, those of the delay-load
    // descriptors found in the image's sections.
    std::vector<std::string> DelayImports() const {
        std::vector<std::string> dlls;
        for (const Import& import : DelayImportTables()) dlls.push_back(import.dll);
        return dlls;
    }

    // Those DLLs with the functions taken from each.
    std::vector<Import> DelayImportTables() const {
        std::vector<Import> imports;
        const auto [rva, size] = Directory(kDelayImportDirectory);
        for (std::uint32_t descriptor = rva; size != 0; descriptor += kDelayDescriptorSize) {
            const std::size_t at = Offset(descriptor);
            if (U32(at + 4) == 0) break;
            imports.push_back({Text(U32(at + 4)), NameTable(U32(at + 16))});
        }
        if (size != 0) return imports;
        for (const Section& section : sections_)
            for (std::size_t at = section.rawOffset;
                 at + kDelayDescriptorSize <= std::size_t{section.rawOffset} + section.rawSize; at += 4)
                if (const auto dll = DelayDescriptorAt(at)) imports.push_back({*dll, NameTable(U32(at + 16))});
        return imports;
    }

    // The process manifest (RT_MANIFEST, id 1, first language); empty if none.
    std::string Manifest() const {
        const auto [base, size] = Directory(kResourceDirectory);
        if (size == 0) return {};
        const auto child = [&](std::uint32_t directory, std::uint32_t id) -> std::optional<std::uint32_t> {
            const std::size_t at = Offset(base + directory);
            const std::size_t entries = std::size_t{U16(at + 12)} + U16(at + 14);
            for (std::size_t i = 0; i < entries; ++i) {
                const std::size_t entry = at + 16 + 8 * i;
                if (id == 0 || U32(entry) == id) return U32(entry + 4);
            }
            return std::nullopt;
        };
        const auto type = child(0, kResourceManifest);
        if (!type || !(*type >> 31)) return {};
        const auto name = child(*type & 0x7FFFFFFF, kProcessManifestId);
        if (!name || !(*name >> 31)) return {};
        const auto language = child(*name & 0x7FFFFFFF, 0);
        if (!language || (*language >> 31)) return {};
        const std::size_t data = Offset(base + *language);
        const std::uint32_t length = U32(data + 4);
        return std::string(reinterpret_cast<const char*>(At(Offset(U32(data)), length)), length);
    }

private:
    struct DataDirectory {
        std::uint32_t rva;
        std::uint32_t size;
    };

    DataDirectory Directory(int index) const {
        if (static_cast<std::uint32_t>(index) >= U32(optionalHeader_ + (is64_ ? 108 : 92))) return {0, 0};
        return {U32(DirectoryOffset(index)), U32(DirectoryOffset(index) + 4)};
    }

    // The section whose data holds a relative virtual address, if any.
    const Section* SectionOf(std::uint32_t rva) const {
        for (const Section& section : sections_)
            if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize) return &section;
        return nullptr;
    }

    // The file offset of a relative virtual address inside a section's data.
    std::size_t Offset(std::uint32_t rva) const {
        if (const Section* section = SectionOf(rva)) return section->rawOffset + (rva - section->virtualAddress);
        throw std::runtime_error("address outside the image's data: " + std::to_string(rva));
    }

    // A NUL-terminated name of printable characters at `rva`, or nothing.
    std::optional<std::string> Name(std::uint32_t rva) const {
        if (!SectionOf(rva)) return std::nullopt;
        std::string name;
        for (std::size_t at = Offset(rva); at < bytes_.size() && name.size() < 256; ++at) {
            const unsigned char c = bytes_[at];
            if (c == 0) return name.empty() ? std::nullopt : std::optional<std::string>(name);
            if (c < 0x20 || c > 0x7E) return std::nullopt;
            name.push_back(static_cast<char>(c));
        }
        return std::nullopt;
    }

    // A delay-load descriptor at file offset `at` whose DLL name, module
    // handle (writable, for the helper to fill), address table and name table
    // all resolve, the name table listing at least one function: the DLL's
    // name, else nothing.
    std::optional<std::string> DelayDescriptorAt(std::size_t at) const {
        if (U32(at) != kDelayAttributesRva) return std::nullopt;
        const auto dll = Name(U32(at + 4));
        const Section* handle = SectionOf(U32(at + 8));
        if (!dll || dll->size() <= 4 || !EqualNoCase(dll->substr(dll->size() - 4), ".dll") || !handle ||
            !(handle->characteristics & kSectionWrite) || !SectionOf(U32(at + 12)) || !SectionOf(U32(at + 16)))
            return std::nullopt;
        std::size_t functions = 0;
        for (std::size_t thunk = Offset(U32(at + 16));; thunk += ThunkSize()) {
            if (thunk + ThunkSize() > bytes_.size()) return std::nullopt;
            const std::uint64_t entry = Read(thunk, ThunkSize());
            if (entry == 0) break;
            if (!ByOrdinal(entry) && !Name(static_cast<std::uint32_t>(entry) + 2)) return std::nullopt;  // after the hint
            ++functions;
        }
        return functions ? dll : std::nullopt;
    }

    std::size_t ThunkSize() const { return is64_ ? 8 : 4; }
    bool ByOrdinal(std::uint64_t entry) const { return (entry >> (is64_ ? 63 : 31)) != 0; }

    // The functions of an import name table, by name; ordinals are left out.
    std::vector<std::string> NameTable(std::uint32_t rva) const {
        std::vector<std::string> functions;
        for (std::size_t thunk = Offset(rva);; thunk += ThunkSize()) {
            const std::uint64_t entry = Read(thunk, ThunkSize());
            if (entry == 0) break;
            if (!ByOrdinal(entry)) functions.push_back(Text(static_cast<std::uint32_t>(entry) + 2));  // after the hint
        }
        return functions;
    }

    static bool EqualNoCase(const std::string& a, const char* b) {
        return std::equal(a.begin(), a.end(), b, b + std::char_traits<char>::length(b), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
        });
    }

    std::string Text(std::uint32_t rva) const {
        std::string text;
        for (std::size_t at = Offset(rva); *At(at, 1) != 0; ++at) text.push_back(static_cast<char>(*At(at, 1)));
        return text;
    }

    const unsigned char* At(std::size_t offset, std::size_t length) const {
        if (offset > bytes_.size() || length > bytes_.size() - offset)
            throw std::runtime_error("read past the end of the image");
        return bytes_.data() + offset;
    }
    std::uint64_t Read(std::size_t offset, std::size_t length) const {
        const unsigned char* p = At(offset, length);
        std::uint64_t value = 0;
        for (std::size_t i = length; i-- > 0;) value = value << 8 | p[i];
        return value;
    }
    std::uint16_t U16(std::size_t offset) const { return static_cast<std::uint16_t>(Read(offset, 2)); }
    std::uint32_t U32(std::size_t offset) const { return static_cast<std::uint32_t>(Read(offset, 4)); }

    Bytes bytes_;
    std::size_t fileHeader_ = 0;
    std::size_t optionalHeader_ = 0;
    std::size_t sectionTable_ = 0;
    bool is64_ = true;
    std::vector<Section> sections_;
};

}  // namespace tarnwick::pe
