#pragma once

// What the two converters from text drawings to resource files share: the
// error for a bad line, a little-endian byte writer, and the command line.
// Built and run on the build machine, so the standard library only.

#include <cstdint>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

namespace drawing_tool {

[[noreturn]] inline void Fail(int line, const std::string& why) {
    throw std::runtime_error("line " + std::to_string(line) + ": " + why);
}

class Writer {
public:
    void U8(unsigned v) { bytes_.push_back(static_cast<char>(v & 0xFF)); }
    void U16(unsigned v) { U8(v); U8(v >> 8); }
    void U32(std::uint32_t v) { U16(v & 0xFFFF); U16(v >> 16); }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// `tool drawing.txt out.file`: reads the drawing, writes what `convert` makes of it.
template <typename Convert>
int Run(int argc, char** argv, const char* usage, Convert convert) {
    if (argc != 3) {
        std::cerr << "usage: " << usage << "\n";
        return 2;
    }
    try {
        std::ifstream in(argv[1]);
        if (!in) throw std::runtime_error("cannot read the drawing");
        const std::string bytes = convert(in);
        std::ofstream out(argv[2], std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& e) {
        std::cerr << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace drawing_tool
