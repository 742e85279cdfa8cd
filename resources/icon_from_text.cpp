// Turns the text drawing of the application icon into an .ico file.
//   icon_from_text drawing.txt out.ico
// Built and run on the build machine, so it uses the standard library only.
//
// Drawing format (lines starting with '#' are comments):
//   colour <char> <RRGGBB> [name]   a palette entry, in palette order (at most 16)
//   colour <char> transparent       the character for see-through pixels
//   image <size>                    followed by <size> rows of <size> characters
// Every image up to 64 pixels is written as a bitmap with 4 bits per pixel and
// the one 16-colour palette; the 256-pixel one as a PNG image (the form
// Windows Vista and later read at that size, and Windows XP passes over), with
// the same palette and see-through pixels marked in it.

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
            if (image.size < 1 || image.size > 256) Fail(line, "an image size is 1 to 256 pixels");
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

// --- The PNG image --------------------------------------------------------------

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::uint32_t Adler32(const std::string& bytes) {
    std::uint32_t a = 1, b = 0;
    for (unsigned char byte : bytes) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// Deflate's bit order: values from their lowest bit, Huffman codes from their highest.
class BitWriter {
public:
    void Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) Bit((value >> i) & 1u);
    }
    void Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1u);
    }
    std::string Finish() {
        if (used_) bytes_.push_back(static_cast<char>(current_));
        return bytes_;
    }

private:
    void Bit(std::uint32_t bit) {
        current_ |= bit << used_;
        if (++used_ == 8) {
            bytes_.push_back(static_cast<char>(current_));
            current_ = 0;
            used_ = 0;
        }
    }
    std::string bytes_;
    std::uint32_t current_ = 0;
    int used_ = 0;
};

// One block with the fixed Huffman codes; repeats found through a hash of
// their first three bytes. A drawing of flat colours needs no more.
std::string Deflate(const std::string& data) {
    static const int kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int kDistanceBase[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    const auto symbol = [](BitWriter& out, int value) {
        if (value < 144)
            out.Code(static_cast<std::uint32_t>(0x30 + value), 8);
        else if (value < 256)
            out.Code(static_cast<std::uint32_t>(0x190 + value - 144), 9);
        else if (value < 280)
            out.Code(static_cast<std::uint32_t>(value - 256), 7);
        else
            out.Code(static_cast<std::uint32_t>(0xC0 + value - 280), 8);
    };
    constexpr int kWindow = 32768, kMaxLength = 258, kTries = 64;
    const int size = static_cast<int>(data.size());
    const auto byteAt = [&](int i) {
        return static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    };
    const auto hash = [&](int i) {
        return ((byteAt(i) << 10) ^ (byteAt(i + 1) << 5) ^ byteAt(i + 2)) & 0x7FFF;
    };
    std::vector<int> head(0x8000, -1), previous(data.size(), -1);
    const auto remember = [&](int i) {
        if (i + 2 >= size) return;
        const int key = hash(i);
        previous[static_cast<std::size_t>(i)] = head[static_cast<std::size_t>(key)];
        head[static_cast<std::size_t>(key)] = i;
    };

    BitWriter out;
    out.Bits(1, 1);  // the last block
    out.Bits(1, 2);  // fixed codes
    for (int i = 0; i < size;) {
        int bestLength = 0, bestDistance = 0;
        if (i + 2 < size) {
            int candidate = head[static_cast<std::size_t>(hash(i))];
            for (int tries = 0; candidate >= 0 && i - candidate <= kWindow && tries < kTries; ++tries) {
                int length = 0;
                while (length < kMaxLength && i + length < size &&
                       byteAt(candidate + length) == byteAt(i + length))
                    ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = i - candidate;
                }
                candidate = previous[static_cast<std::size_t>(candidate)];
            }
        }
        if (bestLength < 3) {
            symbol(out, byteAt(i));
            remember(i++);
            continue;
        }
        int code = 28;
        while (kLengthBase[code] > bestLength) --code;
        symbol(out, 257 + code);
        out.Bits(static_cast<std::uint32_t>(bestLength - kLengthBase[code]), kLengthExtra[code]);
        code = 29;
        while (kDistanceBase[code] > bestDistance) --code;
        out.Code(static_cast<std::uint32_t>(code), 5);
        out.Bits(static_cast<std::uint32_t>(bestDistance - kDistanceBase[code]),
                 code < 4 ? 0 : code / 2 - 1);
        for (int end = i + bestLength; i < end;) remember(i++);
    }
    symbol(out, 256);
    return out.Finish();
}

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string Chunk(const std::string& type, const std::string& data) {
    return BigEndian32(static_cast<std::uint32_t>(data.size())) + type + data +
           BigEndian32(Crc32(type + data));
}

// 8 bits per pixel, an index into the drawing's palette; the entry after the
// palette's colours stands for see-through.
std::string Png(const Drawing& drawing, const Image& image) {
    const int transparent = static_cast<int>(drawing.palette.size());
    std::string pixels;
    for (const std::string& row : image.rows) {
        pixels.push_back(0);  // no filter
        for (char c : row) {
            const int index = drawing.index.at(c);
            pixels.push_back(static_cast<char>(index < 0 ? transparent : index));
        }
    }
    std::string palette, opacity;
    for (const std::uint32_t rgb : drawing.palette) {
        palette += {static_cast<char>(rgb >> 16), static_cast<char>(rgb >> 8), static_cast<char>(rgb)};
        opacity.push_back(static_cast<char>(0xFF));
    }
    palette += std::string(3, '\0');
    opacity.push_back(0);
    const std::string header = BigEndian32(static_cast<std::uint32_t>(image.size)) +
                               BigEndian32(static_cast<std::uint32_t>(image.size)) +
                               std::string{8, 3, 0, 0, 0};
    const std::string zlib = std::string{0x78, 0x01} + Deflate(pixels) + BigEndian32(Adler32(pixels));
    return std::string("\x89PNG\r\n\x1A\n", 8) + Chunk("IHDR", header) + Chunk("PLTE", palette) +
           Chunk("tRNS", opacity) + Chunk("IDAT", zlib) + Chunk("IEND", "");
}

// --- The bitmaps -------------------------------------------------------------------

std::size_t XorStride(int size) { return static_cast<std::size_t>((size * 4 + 31) / 32 * 4); }
std::size_t AndStride(int size) { return static_cast<std::size_t>((size + 31) / 32 * 4); }

// A bitmap image of an .ico file: the header, the palette, the colour bits
// and the see-through mask, both from the bottom row up.
std::string Bitmap(const Drawing& drawing, const Image& image, int black) {
    const int size = image.size;
    Writer out;
    out.U32(40);
    out.U32(static_cast<std::uint32_t>(size));
    out.U32(static_cast<std::uint32_t>(size * 2));  // colour bits and mask, stacked
    out.U16(1);
    out.U16(4);
    out.U32(0);  // uncompressed
    out.U32(static_cast<std::uint32_t>((XorStride(size) + AndStride(size)) *
                                       static_cast<std::size_t>(size)));
    out.U32(0);
    out.U32(0);
    out.U32(16);
    out.U32(0);
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t rgb = i < static_cast<int>(drawing.palette.size())
                                      ? drawing.palette[static_cast<std::size_t>(i)]
                                      : 0;
        out.U8(rgb & 0xFF);
        out.U8((rgb >> 8) & 0xFF);
        out.U8((rgb >> 16) & 0xFF);
        out.U8(0);
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<unsigned> row(XorStride(size), 0);
        for (int x = 0; x < size; ++x) {
            int index =
                drawing.index.at(image.rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
            if (index < 0) index = black;
            row[static_cast<std::size_t>(x / 2)] |= static_cast<unsigned>(index) << (x % 2 ? 0 : 4);
        }
        for (unsigned b : row) out.U8(b);
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<unsigned> row(AndStride(size), 0);
        for (int x = 0; x < size; ++x)
            if (drawing.index.at(image.rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]) <
                0)
                row[static_cast<std::size_t>(x / 8)] |= 0x80u >> (x % 8);
        for (unsigned b : row) out.U8(b);
    }
    return out.Bytes();
}

std::string Encode(const Drawing& drawing) {
    // See-through pixels must be black in the colour bits, or they tint what lies beneath.
    int black = -1;
    for (std::size_t i = 0; i < drawing.palette.size(); ++i)
        if (drawing.palette[i] == 0) black = static_cast<int>(i);
    if (black < 0) throw std::runtime_error("the palette needs black (000000) for transparent pixels");

    std::vector<std::string> images;
    for (const Image& image : drawing.images)
        images.push_back(image.size == 256 ? Png(drawing, image) : Bitmap(drawing, image, black));

    Writer out;
    out.U16(0);  // reserved
    out.U16(1);  // icon
    out.U16(static_cast<unsigned>(drawing.images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * drawing.images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = drawing.images[i].size;
        const bool png = size == 256;
        out.U8(png ? 0 : static_cast<unsigned>(size));  // 0 stands for 256
        out.U8(png ? 0 : static_cast<unsigned>(size));
        out.U8(png ? 0 : 16);  // colours in the palette; 0 where the image itself says
        out.U8(0);
        out.U16(1);             // planes
        out.U16(png ? 32 : 4);  // bits per pixel once read (a PNG image with see-through pixels: 32)
        out.U32(static_cast<std::uint32_t>(images[i].size()));
        out.U32(offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    std::string bytes = out.Bytes();
    for (const std::string& image : images) bytes += image;
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    return drawing_tool::Run(argc, argv, "icon_from_text drawing.txt out.ico",
                             [](std::istream& in) { return Encode(Read(in)); });
}
