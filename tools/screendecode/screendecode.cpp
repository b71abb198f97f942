// Reads a window screenshot (binary PPM) and prints its text cells, foreground and
// background colours, decoded with the runtime's own fonts and palette.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/fonts.h"
#include "display/private/decode.h"

namespace {

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
};

// Next header number of a PPM file, skipping white space and comments.
bool ppm_read_number(FILE* f, int32_t& value) {
    int c = std::fgetc(f);
    while (c != EOF) {
        if (c == '#') {
            while (c != EOF && c != '\n') c = std::fgetc(f);
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            c = std::fgetc(f);
        } else {
            break;
        }
    }
    if (c < '0' || c > '9') return false;
    int64_t v = 0;
    while (c >= '0' && c <= '9') {
        v = v * 10 + (c - '0');
        if (v > 1 << 20) return false;
        c = std::fgetc(f);
    }
    value = static_cast<int32_t>(v);
    return true;  // the single white-space byte after the number has been read
}

bool ppm_load(const char* path, Picture& picture) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    int32_t max_value = 0;
    const bool header_ok = std::fgetc(f) == 'P' && std::fgetc(f) == '6' && ppm_read_number(f, picture.width) &&
                           ppm_read_number(f, picture.height) && ppm_read_number(f, max_value) &&
                           max_value == 255 && picture.width > 0 && picture.height > 0;
    if (!header_ok) {
        std::fclose(f);
        return false;
    }
    const size_t count = static_cast<size_t>(picture.width) * picture.height;
    std::vector<uint8_t> bytes(count * 3);
    const bool read_ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    if (!read_ok) return false;
    picture.pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        picture.pixels[i] = (uint32_t{bytes[i * 3]} << 16) | (uint32_t{bytes[i * 3 + 1]} << 8) | bytes[i * 3 + 2];
    }
    return true;
}

char colour_digit(int32_t index) {
    if (index == kDecodeBlank) return '.';
    if (index < 0 || index > 15) return '?';
    return "0123456789abcdef"[index];
}

int usage() {
    std::fprintf(stderr, "usage: screendecode IMAGE.ppm [--rows N] [--cols N] [--cell-height H] [--text]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    int32_t rows = 25;
    int32_t columns = 80;
    int32_t cell_height = 16;
    bool text_only = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](int32_t& out) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (end == nullptr || *end != '\0' || v < 1 || v > 1000) return false;
            out = static_cast<int32_t>(v);
            return true;
        };
        if (arg == "--rows") {
            if (!number(rows)) return usage();
        } else if (arg == "--cols") {
            if (!number(columns)) return usage();
        } else if (arg == "--cell-height") {
            if (!number(cell_height)) return usage();
        } else if (arg == "--text") {
            text_only = true;
        } else if (path == nullptr && !arg.empty() && arg[0] != '-') {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (path == nullptr) return usage();

    Picture picture;
    if (!ppm_load(path, picture)) {
        std::fprintf(stderr, "screendecode: %s is not a readable binary PPM (P6, 8-bit) file\n", path);
        return 1;
    }
    if (picture.width < columns * 8 || picture.height < rows * cell_height) {
        std::fprintf(stderr, "screendecode: a %d x %d picture is too small for %d x %d cells\n", picture.width,
                     picture.height, columns, rows);
        return 1;
    }
    font_tables_init();
    const std::vector<DecodedCell> cells =
        display_decode_cells(picture.pixels.data(), picture.width, picture.height, columns, rows, cell_height,
                             PaletteVga.data(), 16);

    std::string out;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) {
            const DecodedCell& cell = cells[static_cast<size_t>(r) * columns + c];
            out += cell.fg == kDecodeBlank ? std::string(" ") : display_cp437_utf8(cell.code);
        }
        out += '\n';
    }
    if (!text_only) {
        for (int pass = 0; pass < 2; ++pass) {
            out += "--\n";
            for (int32_t r = 0; r < rows; ++r) {
                for (int32_t c = 0; c < columns; ++c) {
                    const DecodedCell& cell = cells[static_cast<size_t>(r) * columns + c];
                    out += colour_digit(pass == 0 ? cell.fg : cell.bg);
                }
                out += '\n';
            }
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
