// The hardening of the built tarnwick.exe as the Windows loader sees it, read
// from the image's own headers: ASLR with high entropy and the relocations it
// needs, DEP, no section both writable and executable, imports only of DLLs
// that cannot be planted beside the program, and the manifest's request for
// administrator rights. That heap corruption ends the process cannot be read
// from outside; the image shows only that HeapSetInformation is imported.
//
// The Windows build tree comes from CMake (TARNWICK_EXE_IMAGE); without it the
// tests skip. The second test weakens a copy of the image in memory one way at
// a time and expects the checks to name each weakening.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint16_t kFileRelocsStripped = 0x0001;
constexpr std::uint16_t kHighEntropyVa = 0x0020;
constexpr std::uint16_t kDynamicBase = 0x0040;
constexpr std::uint16_t kNxCompat = 0x0100;
constexpr std::uint32_t kSectionExecute = 0x20000000;
constexpr std::uint32_t kSectionWrite = 0x80000000;
constexpr std::uint32_t kResourceManifest = 24;
constexpr std::uint32_t kProcessManifestId = 1;

enum DirectoryIndex { kImportDirectory = 1, kResourceDirectory = 2, kRelocationDirectory = 5, kDelayImportDirectory = 13 };

// DLLs the loader takes only from the system folder, whatever the search
// order: the known DLLs of every Windows from Vista to 11, and ntdll, which is
// in every process before the image is mapped.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll",
    "msvcrt.dll",   "ntdll.dll",    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll",
    "setupapi.dll", "shell32.dll",  "shlwapi.dll", "user32.dll", "ws2_32.dll"};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

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

// A PE32+ image read from its bytes; every read is bounds-checked, and a
// malformed image throws std::runtime_error.
class PeImage {
public:
    explicit PeImage(Bytes bytes) : bytes_(std::move(bytes)) {
        if (U16(0) != 0x5A4D) throw std::runtime_error("no MZ header");
        const std::uint32_t nt = U32(0x3C);
        if (U32(nt) != 0x00004550) throw std::runtime_error("no PE signature");
        fileHeader_ = nt + 4;
        optionalHeader_ = fileHeader_ + 20;
        if (U16(optionalHeader_) != kPe32Plus) throw std::runtime_error("not a PE32+ image");
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
    const std::vector<Section>& Sections() const { return sections_; }

    // Where the fields are in the file, for the tests that weaken a copy.
    std::size_t FileCharacteristicsOffset() const { return fileHeader_ + 18; }
    std::size_t DllCharacteristicsOffset() const { return optionalHeader_ + 70; }
    std::size_t DirectoryOffset(int index) const { return optionalHeader_ + 112 + 8 * static_cast<std::size_t>(index); }
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
            Import import{Text(name), {}};
            for (std::uint32_t thunk = lookup;; thunk += 8) {
                const std::uint64_t entry = U64(Offset(thunk));
                if (entry == 0) break;
                if (entry >> 63) continue;  // by ordinal
                import.functions.push_back(Text(static_cast<std::uint32_t>(entry) + 2));  // after the hint
            }
            imports.push_back(import);
        }
        return imports;
    }

    std::vector<std::string> DelayImports() const {
        std::vector<std::string> dlls;
        const auto [rva, size] = Directory(kDelayImportDirectory);
        for (std::uint32_t descriptor = rva; size != 0; descriptor += 32) {
            const std::uint32_t name = U32(Offset(descriptor) + 4);
            if (name == 0) break;
            dlls.push_back(Text(name));
        }
        return dlls;
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
        if (static_cast<std::uint32_t>(index) >= U32(optionalHeader_ + 108)) return {0, 0};
        return {U32(DirectoryOffset(index)), U32(DirectoryOffset(index) + 4)};
    }

    // The file offset of a relative virtual address inside a section's data.
    std::size_t Offset(std::uint32_t rva) const {
        for (const Section& section : sections_)
            if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize)
                return section.rawOffset + (rva - section.virtualAddress);
        throw std::runtime_error("address outside the image's data: " + std::to_string(rva));
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
    std::uint64_t U64(std::size_t offset) const { return Read(offset, 8); }

    Bytes bytes_;
    std::size_t fileHeader_ = 0;
    std::size_t optionalHeader_ = 0;
    std::size_t sectionTable_ = 0;
    std::vector<Section> sections_;
};

// The attribute values of every `element` tag in `xml`.
std::vector<std::string> Attributes(const std::string& xml, const std::string& element, const std::string& name) {
    std::vector<std::string> values;
    const std::regex tag("<" + element + "\\b[^>]*>");
    const std::regex attribute("\\s" + name + "\\s*=\\s*([\"'])(.*?)\\1");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator(); ++it) {
        std::smatch value;
        const std::string text = it->str();
        if (std::regex_search(text, value, attribute)) values.push_back(value[2]);
    }
    return values;
}

// What makes the image weaker than it should be; empty when nothing does.
std::vector<std::string> HardeningProblems(const PeImage& image) {
    std::vector<std::string> problems;
    if (image.Machine() != kMachineAmd64) problems.push_back("not an x64 image");
    const std::uint16_t dll = image.DllCharacteristics();
    if (!(dll & kDynamicBase)) problems.push_back("ASLR: DYNAMIC_BASE not set");
    if (!(dll & kHighEntropyVa)) problems.push_back("ASLR: HIGH_ENTROPY_VA not set");
    if (!(dll & kNxCompat)) problems.push_back("DEP: NX_COMPAT not set");
    if (image.FileCharacteristics() & kFileRelocsStripped) problems.push_back("ASLR: relocations stripped");
    if (image.RelocationCount() == 0) problems.push_back("ASLR: no base relocations");
    for (const Section& section : image.Sections())
        if ((section.characteristics & kSectionExecute) && (section.characteristics & kSectionWrite))
            problems.push_back("section " + section.name + " is writable and executable");

    const std::string manifest = image.Manifest();
    if (Attributes(manifest, "requestedExecutionLevel", "level") != std::vector<std::string>{"requireAdministrator"})
        problems.push_back("manifest: does not require administrator rights");
    const std::vector<std::string> assemblies = Attributes(manifest, "assemblyIdentity", "name");
    const bool commonControlsSideBySide =
        std::find(assemblies.begin(), assemblies.end(), "Microsoft.Windows.Common-Controls") != assemblies.end();

    // Any other DLL the loader would search for, starting in the program's
    // own folder. comctl32 comes from the side-by-side store, since the
    // manifest names the assembly (with the system's public key).
    bool heapTermination = false;
    const auto checkDll = [&](const std::string& name) {
        const std::string dll = Lower(name);
        if (kKnownDlls.count(dll) || (dll == "comctl32.dll" && commonControlsSideBySide)) return;
        problems.push_back("imports " + name + ", which a copy beside the program could replace");
    };
    for (const Import& import : image.Imports()) {
        checkDll(import.dll);
        if (Lower(import.dll) == "kernel32.dll")
            heapTermination |= std::count(import.functions.begin(), import.functions.end(), "HeapSetInformation") > 0;
    }
    for (const std::string& name : image.DelayImports()) checkDll(name);
    if (!heapTermination) problems.push_back("HeapSetInformation not imported from kernel32.dll");
    return problems;
}

#ifdef TARNWICK_EXE_IMAGE
Bytes ReadImage() {
    std::ifstream file(TARNWICK_EXE_IMAGE, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " TARNWICK_EXE_IMAGE);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
#define REQUIRE_IMAGE()
#else
Bytes ReadImage() { return {}; }
#define REQUIRE_IMAGE() GTEST_SKIP() << "no Windows build tree given (TARNWICK_WIN_BUILD_DIR)"
#endif

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

TEST(TarnwickImage, IsHardenedAgainstTheUsualAttacks) {
    REQUIRE_IMAGE();
    const PeImage image(ReadImage());
    const std::vector<std::string> problems = HardeningProblems(image);
    EXPECT_TRUE(problems.empty()) << Joined(problems);
}

// Overwrites the first occurrence of `from` with `to`, of the same length.
void Replace(Bytes& bytes, const std::string& from, const std::string& to) {
    ASSERT_EQ(from.size(), to.size());
    const auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(at, bytes.end()) << from;
    std::copy(to.begin(), to.end(), at);
}

// Toggles the `mask` bits of the little-endian field at `offset`.
void Flip(Bytes& bytes, std::size_t offset, std::uint32_t mask) {
    for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
        bytes[offset + i] = static_cast<unsigned char>(bytes[offset + i] ^ ((mask >> (8 * i)) & 0xFF));
}

TEST(TarnwickImage, ChecksNameEveryWeakening) {
    REQUIRE_IMAGE();
    const Bytes original = ReadImage();
    const PeImage image(original);
    ASSERT_TRUE(HardeningProblems(image).empty());
    const std::size_t dllCharacteristics = image.DllCharacteristicsOffset();
    const std::size_t fileCharacteristics = image.FileCharacteristicsOffset();
    std::optional<std::size_t> code;
    for (std::size_t i = 0; i < image.Sections().size() && !code; ++i)
        if (image.Sections()[i].characteristics & kSectionExecute)
            code = image.SectionHeaderOffset(i) + PeImage::kSectionCharacteristics;
    ASSERT_TRUE(code.has_value());

    struct Weakening {
        const char* what;
        std::function<void(Bytes&)> apply;
        const char* expected;
    };
    const Weakening weakenings[] = {
        {"no ASLR", [&](Bytes& b) { Flip(b, dllCharacteristics, kDynamicBase); }, "DYNAMIC_BASE"},
        {"low-entropy ASLR", [&](Bytes& b) { Flip(b, dllCharacteristics, kHighEntropyVa); }, "HIGH_ENTROPY_VA"},
        {"no DEP", [&](Bytes& b) { Flip(b, dllCharacteristics, kNxCompat); }, "NX_COMPAT"},
        {"relocations stripped", [&](Bytes& b) { Flip(b, fileCharacteristics, kFileRelocsStripped); },
         "relocations stripped"},
        {"relocation directory gone",
         [&](Bytes& b) {
             for (std::size_t i = 0; i < 8; ++i) b[image.DirectoryOffset(kRelocationDirectory) + i] = 0;
         },
         "no base relocations"},
        {"writable code", [&](Bytes& b) { Flip(b, *code, kSectionWrite); }, "writable and executable"},
        {"the ADSI library imported", [](Bytes& b) { Replace(b, "KERNEL32.dll", "ACTIVEDS.dll"); },
         "imports ACTIVEDS.dll"},
        {"a lost heap setting", [](Bytes& b) { Replace(b, "HeapSetInformation", "HeapSetInformatioX"); },
         "HeapSetInformation"},
        {"no elevation",
         [](Bytes& b) { Replace(b, "\"requireAdministrator\"", "\"asInvoker\"           "); },
         "administrator"},
        {"comctl32 from the search path",
         [](Bytes& b) { Replace(b, "Microsoft.Windows.Common-Controls", "Microsoft.Windows.Common-Controlz"); },
         "imports COMCTL32.dll"},
    };
    for (const Weakening& weakening : weakenings) {
        Bytes bytes = original;
        weakening.apply(bytes);
        const std::vector<std::string> problems = HardeningProblems(PeImage(bytes));
        EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                                [&](const std::string& p) { return p.find(weakening.expected) != std::string::npos; }))
            << weakening.what << ":" << Joined(problems);
    }
}

}  // namespace
