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

#include "pe_image.h"

namespace {

using namespace tarnwick::pe;

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kFileRelocsStripped = 0x0001;
constexpr std::uint16_t kHighEntropyVa = 0x0020;
constexpr std::uint16_t kDynamicBase = 0x0040;
constexpr std::uint16_t kNxCompat = 0x0100;

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
    std::set<std::string> delayed;
    for (const std::string& name : image.DelayImports()) {
        checkDll(name);
        delayed.insert(Lower(name));
    }
    if (!heapTermination) problems.push_back("HeapSetInformation not imported from kernel32.dll");
    // COM's libraries load at the first bind, once the window shows, not
    // before the program's first instruction.
    const std::vector<Import> imports = image.Imports();
    for (const std::string dll : {"ole32.dll", "oleaut32.dll"}) {
        const bool imported = std::any_of(imports.begin(), imports.end(), [&](const Import& import) {
            return Lower(import.dll) == dll;
        });
        if (imported || !delayed.count(dll)) problems.push_back(dll + " is not delay-loaded");
    }
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
        {"COM loaded before the first instruction",
         [](Bytes& b) { Replace(b, "ole32.dll", "olf32.dll"); }, "ole32.dll is not delay-loaded"},
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
