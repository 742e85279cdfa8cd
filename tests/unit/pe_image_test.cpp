// The hardening of the built tarnwick.exe, x64 and x86, as the Windows loader
// sees it, read from the image's own headers: ASLR (with high entropy on x64)
// and the relocations it needs, DEP, on x86 the mark that the image has no
// exception handler of its own to dispatch, no section both writable and
// executable, imports only of DLLs that cannot be planted beside the program,
// and the manifest's request for administrator rights. That heap corruption
// ends the process cannot be read from outside; the image shows only that
// HeapSetInformation is imported. And that it starts on the oldest Windows of
// its architecture: the subsystem version says so, and no function that
// Windows lacks is imported, ordinarily or delay-loaded.
//
// The Windows build trees come from CMake (TARNWICK_EXE_IMAGE,
// TARNWICK_X86_EXE_IMAGE); without one its tests skip. The second test weakens
// a copy of the image in memory one way at a time and expects the checks to
// name each weakening.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "pe_image.h"

namespace {

using namespace tarnwick::pe;

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kFileRelocsStripped = 0x0001;
constexpr std::uint16_t kHighEntropyVa = 0x0020;
constexpr std::uint16_t kDynamicBase = 0x0040;
constexpr std::uint16_t kNxCompat = 0x0100;
constexpr std::uint16_t kNoSeh = 0x0400;

// One build of the program and the oldest Windows it is made for.
struct Target {
    const char* name;
    const char* image;  // null without that build tree
    std::uint16_t machine;
    std::pair<std::uint16_t, std::uint16_t> subsystem;
    const char* oldest;       // as the problems name it
    const char* newerList;    // the functions that Windows lacks, one a line (newer-functions.sh)
    bool delaysCom;           // ole32 and oleaut32 are delay-loaded
};

#ifdef TARNWICK_EXE_IMAGE
constexpr const char* kX64Image = TARNWICK_EXE_IMAGE;
#else
constexpr const char* kX64Image = nullptr;
#endif
#ifdef TARNWICK_X86_EXE_IMAGE
constexpr const char* kX86Image = TARNWICK_X86_EXE_IMAGE;
#else
constexpr const char* kX86Image = nullptr;
#endif
#ifndef TARNWICK_NEWER_FUNCTIONS_DIR
#define TARNWICK_NEWER_FUNCTIONS_DIR "."
#endif

const Target kTargets[] = {
    {"x64", kX64Image, kMachineAmd64, {5, 2}, "Windows Server 2003 x64", "newer_than_0x0502.txt", true},
    {"x86", kX86Image, kMachineI386, {5, 1}, "Windows XP", "newer_than_0x0501.txt", false},
};

// Functions of Windows from Vista on that MinGW-w64's headers declare for
// every version, so that the derived lists miss them.
const std::set<std::string> kUnguardedNewerFunctions = {
    "ShutdownBlockReasonCreate", "ShutdownBlockReasonDestroy", "ShutdownBlockReasonQuery",
    "SetDefaultDllDirectories",  "AddDllDirectory",            "RemoveDllDirectory"};

// The functions the target's oldest Windows lacks: derived from the headers'
// version guards, plus the ones they do not guard.
void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

std::set<std::string> NewerFunctions(const Target& target) {
    const std::string path = std::string(TARNWICK_NEWER_FUNCTIONS_DIR) + "/" + target.newerList;
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::set<std::string> names = kUnguardedNewerFunctions;
    for (std::string line; std::getline(file, line);)
        if (!line.empty()) names.insert(line);
    return names;
}

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
std::vector<std::string> HardeningProblems(const PeImage& image, const Target& target) {
    std::vector<std::string> problems;
    if (image.Machine() != target.machine) problems.push_back(std::string("not an ") + target.name + " image");
    const auto [major, minor] = image.SubsystemVersion();
    if (std::make_pair(major, minor) != target.subsystem)
        problems.push_back("subsystem version " + std::to_string(major) + "." + std::to_string(minor) +
                           ", not the one of " + target.oldest);
    const std::uint16_t dll = image.DllCharacteristics();
    if (!(dll & kDynamicBase)) problems.push_back("ASLR: DYNAMIC_BASE not set");
    if (image.Is64() && !(dll & kHighEntropyVa)) problems.push_back("ASLR: HIGH_ENTROPY_VA not set");
    // GCC's x86 code has no frame-based exception handler: the image says so,
    // and the loader then dispatches none that points into it.
    if (!image.Is64() && !(dll & kNoSeh)) problems.push_back("SEH: NO_SEH not set");
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
    // Windows refuses to start a program that imports a function it lacks.
    const std::set<std::string> newer = NewerFunctions(target);
    const auto checkFunctions = [&](const Import& import) {
        for (const std::string& function : import.functions)
            if (newer.count(function))
                problems.push_back("imports " + function + " from " + import.dll + ", which " + target.oldest +
                                   " lacks");
    };
    for (const Import& import : image.Imports()) {
        checkDll(import.dll);
        checkFunctions(import);
        if (Lower(import.dll) == "kernel32.dll")
            heapTermination |= std::count(import.functions.begin(), import.functions.end(), "HeapSetInformation") > 0;
    }
    std::set<std::string> delayed;
    for (const Import& import : image.DelayImportTables()) {
        checkDll(import.dll);
        checkFunctions(import);
        delayed.insert(Lower(import.dll));
    }
    if (!heapTermination) problems.push_back("HeapSetInformation not imported from kernel32.dll");
    // COM's libraries load at the first bind, once the window shows, not
    // before the program's first instruction (x64; the x86 link cannot
    // delay-load, see ui/CMakeLists.txt).
    const std::vector<Import> imports = image.Imports();
    for (const std::string dll : {"ole32.dll", "oleaut32.dll"}) {
        if (!target.delaysCom) break;
        const bool imported = std::any_of(imports.begin(), imports.end(), [&](const Import& import) {
            return Lower(import.dll) == dll;
        });
        if (imported || !delayed.count(dll)) problems.push_back(dll + " is not delay-loaded");
    }
    return problems;
}

Bytes ReadImage(const Target& target) {
    std::ifstream file(target.image, std::ios::binary);
    if (!file) throw std::runtime_error(std::string("cannot read ") + target.image);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class TarnwickImage : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        if (!GetParam().image) GTEST_SKIP() << "no " << GetParam().name << " Windows build tree given";
    }
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

TEST_P(TarnwickImage, IsHardenedAndStartsOnTheOldestWindows) {
    const PeImage image(ReadImage(GetParam()));
    const std::vector<std::string> problems = HardeningProblems(image, GetParam());
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

// Renames the longest function the image imports to `function`, which is no
// longer: the image then imports `function` instead.
void ImportInstead(Bytes& bytes, const PeImage& image, const std::string& function) {
    std::string longest;
    for (const Import& import : image.Imports())
        for (const std::string& name : import.functions)
            if (name.size() > longest.size()) longest = name;
    ASSERT_GE(longest.size(), function.size());
    Replace(bytes, longest + '\0', function + std::string(longest.size() + 1 - function.size(), '\0'));
}

TEST_P(TarnwickImage, ChecksNameEveryWeakening) {
    const Target& target = GetParam();
    const Bytes original = ReadImage(target);
    const PeImage image(original);
    ASSERT_TRUE(HardeningProblems(image, target).empty());
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
    std::vector<Weakening> weakenings = {
        {"no ASLR", [&](Bytes& b) { Flip(b, dllCharacteristics, kDynamicBase); }, "DYNAMIC_BASE"},
        {"a newer Windows", [&](Bytes& b) { b[image.SubsystemVersionOffset()] = 6; }, "subsystem version 6."},
        // The four functions of Vista the program once imported.
        {"GetTickCount64 imported", [&](Bytes& b) { ImportInstead(b, image, "GetTickCount64"); },
         "imports GetTickCount64"},
        {"CreateMutexExW imported", [&](Bytes& b) { ImportInstead(b, image, "CreateMutexExW"); },
         "imports CreateMutexExW"},
        {"ShutdownBlockReasonCreate imported", [&](Bytes& b) { ImportInstead(b, image, "ShutdownBlockReasonCreate"); },
         "imports ShutdownBlockReasonCreate"},
        {"ShutdownBlockReasonDestroy imported",
         [&](Bytes& b) { ImportInstead(b, image, "ShutdownBlockReasonDestroy"); }, "imports ShutdownBlockReasonDestroy"},
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
         "imports COMCTL32"},
    };
    if (target.delaysCom)
        weakenings.push_back({"COM loaded before the first instruction",
                              [](Bytes& b) { Replace(b, "ole32.dll", "olf32.dll"); }, "ole32.dll is not delay-loaded"});
    if (image.Is64())
        weakenings.push_back(
            {"low-entropy ASLR", [&](Bytes& b) { Flip(b, dllCharacteristics, kHighEntropyVa); }, "HIGH_ENTROPY_VA"});
    else
        weakenings.push_back({"SEH handlers of its own", [&](Bytes& b) { Flip(b, dllCharacteristics, kNoSeh); },
                              "NO_SEH"});
    for (const Weakening& weakening : weakenings) {
        Bytes bytes = original;
        weakening.apply(bytes);
        const std::vector<std::string> problems = HardeningProblems(PeImage(bytes), target);
        EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                                [&](const std::string& p) { return p.find(weakening.expected) != std::string::npos; }))
            << weakening.what << ":" << Joined(problems);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, TarnwickImage, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
