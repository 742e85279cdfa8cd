// Turns the text drawing of the application icon into an .ico file.
//   icon_from_text drawing.txt out.ico
// Built and run on the build machine, so it uses the standard library only.
//
// Drawing format (lines starting with '#' are comments):
//   colour <char> <RRGGBB> [name]   a palette entry, in palette order (at most 16)
//   colour <char> transparent       the character for see-through pixels
//   image <size>                    followed by <size> rows of <size> characters
// Every image is written with 4 bits per pixel and the one 16-colour palette.

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "drawing_tool.h"

namespace {

using drawing_tool::Fail;
using drawing_tool::Writer;

struct Image {
    int size = 0;
    std::vector<std::string> rows;
};

struct Drawing {
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::map<char, int> index;           // character -> palette index, -1 for transparent
    std::vector<Image> images;
};

Drawing Read(std::istream& in) {
    Drawing drawing;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        if (!drawing.images.empty() &&
            static_cast<int>(drawing.images.back().rows.size()) < drawing.images.back().size) {
            Image& image = drawing.images.back();
            if (static_cast<int>(text.size()) != image.size)
                Fail(line, "a row of an image of " + std::to_string(image.size) + " pixels has " +
                               std::to_string(text.size()));
            for (char c : text)
                if (!drawing.index.count(c)) Fail(line, std::string("no colour for '") + c + "'");
            image.rows.push_back(text);
            continue;
        }
        std::istringstream words(text);
        std::string keyword;
        words >> keyword;
        if (keyword == "colour") {
            std::string character, value;
            words >> character >> value;
            if (character.size() != 1) Fail(line, "a colour needs one character");
            if (drawing.index.count(character[0])) Fail(line, "colour character used twice");
            if (value == "transparent") {
                drawing.index[character[0]] = -1;
                continue;
            }
            if (value.size() != 6 || value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                Fail(line, "a colour is six hexadecimal digits RRGGBB");
            if (drawing.palette.size() == 16) Fail(line, "more than 16 colours");
            drawing.index[character[0]] = static_cast<int>(drawing.palette.size());
            drawing.palette.push_back(static_cast<std::uint32_t>(std::stoul(value, nullptr, 16)));
        } else if (keyword == "image") {
            Image image;
            words >> image.size;
            if (image.size < 1 || image.size > 256 || image.size % 8 != 0)
                Fail(line, "an image size is a multiple of 8 up to 256");
            drawing.images.push_back(image);
        } else {
            Fail(line, "unknown line");
        }
    }
    if (drawing.images.empty()) Fail(line, "no image");
    if (static_cast<int>(drawing.images.back().rows.size()) != drawing.images.back().size)
        Fail(line, "the last image is incomplete");
    return drawing;
}

std::size_t XorStride(int size) { return static_cast<std::size_t>((size * 4 + 31) / 32 * 4); }
std::size_t AndStride(int size) { return static_cast<std::size_t>((size + 31) / 32 * 4); }
std::size_t ImageBytes(int size) {
    return 40 + 16 * 4 + (XorStride(size) + AndStride(size)) * static_cast<std::size_t>(size);
}

std::string Encode(const Drawing& drawing) {
    // See-through pixels must be black in the colour bits, or they tint what lies beneath.
    int black = -1;
    for (std::size_t i = 0; i < drawing.palette.size(); ++i)
        if (drawing.palette[i] == 0) black = static_cast<int>(i);
    if (black < 0) throw std::runtime_error("the palette needs black (000000) for transparent pixels");

    Writer out;
    out.U16(0);  // reserved
    out.U16(1);  // icon
    out.U16(static_cast<unsigned>(drawing.images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * drawing.images.size());
    for (const Image& image : drawing.images) {
        out.U8(image.size == 256 ? 0 : static_cast<unsigned>(image.size));
        out.U8(image.size == 256 ? 0 : static_cast<unsigned>(image.size));
        out.U8(16);  // colours
        out.U8(0);
        out.U16(1);  // planes
        out.U16(4);  // bits per pixel
        out.U32(static_cast<std::uint32_t>(ImageBytes(image.size)));
        out.U32(offset);
        offset += static_cast<std::uint32_t>(ImageBytes(image.size));
    }
    for (const Image& image : drawing.images) {
        const int size = image.size;
        out.U32(40);
        out.U32(static_cast<std::uint32_t>(size));
        out.U32(static_cast<std::uint32_t>(size * 2));  // colour bits and mask, stacked
        out.U16(1);
        out.U16(4);
        out.U32(0);  // uncompressed
        out.U32(static_cast<std::uint32_t>((XorStride(size) + AndStride(size)) * static_cast<std::size_t>(size)));
        out.U32(0);
        out.U32(0);
        out.U32(16);
        out.U32(0);
        for (int i = 0; i < 16; ++i) {
            const std::uint32_t rgb = i < static_cast<int>(drawing.palette.size()) ? drawing.palette[static_cast<std::size_t>(i)] : 0;
            out.U8(rgb & 0xFF);
            out.U8((rgb >> 8) & 0xFF);
            out.U8((rgb >> 16) & 0xFF);
            out.U8(0);
        }
        // Bitmap rows run from the bottom up.
        for (int y = size - 1; y >= 0; --y) {
            std::vector<unsigned> row(XorStride(size), 0);
            for (int x = 0; x < size; ++x) {
                int index = drawing.index.at(image.rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
                if (index < 0) index = black;
                row[static_cast<std::size_t>(x / 2)] |= static_cast<unsigned>(index) << (x % 2 ? 0 : 4);
            }
            for (unsigned b : row) out.U8(b);
        }
        for (int y = size - 1; y >= 0; --y) {
            std::vector<unsigned> row(AndStride(size), 0);
            for (int x = 0; x < size; ++x)
                if (drawing.index.at(image.rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]) < 0)
                    row[static_cast<std::size_t>(x / 8)] |= 0x80u >> (x % 8);
            for (unsigned b : row) out.U8(b);
        }
    }
    return out.Bytes();
}

}  // namespace

int main(int argc, char** argv) {
    return drawing_tool::Run(argc, argv, "icon_from_text drawing.txt out.ico",
                             [](std::istream& in) { return Encode(Read(in)); });
}
