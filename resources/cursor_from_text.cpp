// Turns the text drawing of a monochrome cursor into a .cur file.
//   cursor_from_text drawing.txt out.cur
// Built and run on the build machine, so it uses the standard library only.
//
// Drawing format, as for the icon (lines starting with '#' are comments):
//   colour <char> 000000 [name]    black
//   colour <char> FFFFFF [name]    white
//   colour <char> transparent      see-through
//   hotspot <x> <y>                the pixel that points, from the top left
//   image 32                       followed by 32 rows of 32 characters
// The cursor is written as one 32 x 32 image with 1 bit per pixel.

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "drawing_tool.h"

namespace {

using drawing_tool::Fail;
using drawing_tool::Writer;

constexpr int kSize = 32;

enum class Pixel { Black, White, Transparent };

struct Drawing {
    std::map<char, Pixel> pixels;
    int hotspotX = -1;
    int hotspotY = -1;
    bool imageStarted = false;
    std::vector<std::string> rows;
};

Drawing Read(std::istream& in) {
    Drawing drawing;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        if (drawing.imageStarted && drawing.rows.size() < kSize) {
            if (text.size() != kSize)
                Fail(line, "a row has " + std::to_string(text.size()) + " pixels, not 32");
            for (char c : text)
                if (!drawing.pixels.count(c)) Fail(line, std::string("no colour for '") + c + "'");
            drawing.rows.push_back(text);
            continue;
        }
        std::istringstream words(text);
        std::string keyword;
        words >> keyword;
        if (keyword == "colour") {
            std::string character, value;
            words >> character >> value;
            if (character.size() != 1) Fail(line, "a colour needs one character");
            if (drawing.pixels.count(character[0])) Fail(line, "colour character used twice");
            if (value == "transparent")
                drawing.pixels[character[0]] = Pixel::Transparent;
            else if (value == "000000")
                drawing.pixels[character[0]] = Pixel::Black;
            else if (value == "FFFFFF" || value == "ffffff")
                drawing.pixels[character[0]] = Pixel::White;
            else
                Fail(line, "a monochrome cursor has black (000000), white (FFFFFF) and transparent only");
        } else if (keyword == "hotspot") {
            if (!(words >> drawing.hotspotX >> drawing.hotspotY) || drawing.hotspotX < 0 ||
                drawing.hotspotX >= kSize || drawing.hotspotY < 0 || drawing.hotspotY >= kSize)
                Fail(line, "the hot spot is two numbers from 0 to 31");
        } else if (keyword == "image") {
            int size = 0;
            words >> size;
            if (size != kSize) Fail(line, "the cursor is 32 x 32 pixels");
            if (drawing.imageStarted) Fail(line, "a cursor has one image");
            drawing.imageStarted = true;
        } else {
            Fail(line, "unknown line");
        }
    }
    if (drawing.rows.size() != kSize) Fail(line, "the image is incomplete");
    if (drawing.hotspotX < 0) Fail(line, "no hot spot");
    return drawing;
}

std::string Encode(const Drawing& drawing) {
    constexpr std::uint32_t kStride = 4;  // 32 pixels of 1 bit
    constexpr std::uint32_t kImageBytes = 40 + 2 * 4 + 2 * kStride * kSize;

    Writer out;
    out.U16(0);  // reserved
    out.U16(2);  // cursor
    out.U16(1);  // one image
    out.U8(kSize);
    out.U8(kSize);
    out.U8(2);  // colours
    out.U8(0);
    out.U16(static_cast<unsigned>(drawing.hotspotX));  // a cursor's entry holds the hot spot
    out.U16(static_cast<unsigned>(drawing.hotspotY));  // where an icon's holds planes and bits
    out.U32(kImageBytes);
    out.U32(6 + 16);

    out.U32(40);
    out.U32(kSize);
    out.U32(kSize * 2);  // colour bits and mask, stacked
    out.U16(1);
    out.U16(1);
    out.U32(0);  // uncompressed
    out.U32(2 * kStride * kSize);
    out.U32(0);
    out.U32(0);
    out.U32(2);
    out.U32(0);
    out.U32(0x000000);  // palette: black, white
    out.U32(0xFFFFFF);

    // Colour bits (1 = white; see-through pixels 0, so the screen shows
    // through unchanged), then the mask (1 = see-through); rows bottom up.
    for (bool mask : {false, true}) {
        for (int y = kSize - 1; y >= 0; --y) {
            std::uint32_t bits = 0;
            for (int x = 0; x < kSize; ++x) {
                const Pixel pixel = drawing.pixels.at(drawing.rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
                const bool set = mask ? pixel == Pixel::Transparent : pixel == Pixel::White;
                if (set) bits |= 0x80000000u >> x;
            }
            out.U8(bits >> 24);
            out.U8(bits >> 16);
            out.U8(bits >> 8);
            out.U8(bits);
        }
    }
    return out.Bytes();
}

}  // namespace

int main(int argc, char** argv) {
    return drawing_tool::Run(argc, argv, "cursor_from_text drawing.txt out.cur",
                             [](std::istream& in) { return Encode(Read(in)); });
}
