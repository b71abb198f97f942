// TrueType fonts: opening at a pixel height, the font-loading statement's style text.
#include <SDL_ttf.h>

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "display/fonts.h"
#include "errors/errors.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

TTF_Font* font_ttf_open(const char* file_name, int32_t point_size) {
    if (point_size < 1) return nullptr;
    return TTF_OpenFont(file_name, point_size);
}

// Opens a face so that its line height is the wanted height + 2 pixels.
TTF_Font* font_open_at_height(const char* file_name, int32_t wanted_height) {
    const int32_t target = wanted_height + 2;
    TTF_Font* probe = font_ttf_open(file_name, 1000);
    if (probe == nullptr) return nullptr;
    const int32_t probe_height = TTF_FontHeight(probe);
    TTF_CloseFont(probe);
    if (probe_height < 1) return nullptr;
    int32_t points = static_cast<int32_t>(static_cast<int64_t>(target) * 1000 / probe_height);
    TTF_Font* font = font_ttf_open(file_name, points);
    if (font == nullptr) return nullptr;
    if (TTF_FontHeight(font) > target) {
        TTF_CloseFont(font);
        points -= 1;
        font = font_ttf_open(file_name, points);
        if (font == nullptr) return nullptr;
    }
    if (TTF_FontHeight(font) < target) {
        TTF_CloseFont(font);
        font = font_ttf_open(file_name, points + 1);
    }
    return font;
}

// Width of a rendered space, the advance of every cell of a fixed-width face.
int32_t font_space_width(TTF_Font* font) {
    const Uint16 space[2] = {0x20, 0};
    SDL_Color white{255, 255, 255, 0};
    SDL_Surface* s = TTF_RenderUNICODE_Solid(font, space, white);
    if (s == nullptr) return 0;
    const int32_t w = s->w;
    SDL_FreeSurface(s);
    return w;
}

std::string_view string_view_of(const BasicString* s) {
    if (s == nullptr || s->text == nullptr || s->length <= 0) return {};
    return {reinterpret_cast<const char*>(s->text), static_cast<size_t>(s->length)};
}

// Parses "bold, MonoSpace" into style bits; -1 when a piece is unknown or repeated.
int32_t font_parse_style(std::string_view text) {
    struct StyleWord { const char* word; uint32_t bit; };
    constexpr StyleWord words[] = {{"BOLD", kFontStyleBold},           {"ITALIC", kFontStyleItalic},
                                   {"UNDERLINE", kFontStyleUnderline}, {"DONTBLEND", kFontStyleDontBlend},
                                   {"MONOSPACE", kFontStyleMonospace}, {"UNICODE", kFontStyleUnicode}};
    uint32_t bits = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string piece(text.substr(start, comma - start));
        const size_t first = piece.find_first_not_of(' ');
        const size_t last = piece.find_last_not_of(' ');
        piece = first == std::string::npos ? std::string() : piece.substr(first, last - first + 1);
        for (char& c : piece) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        uint32_t bit = 0;
        for (const StyleWord& w : words) {
            if (piece == w.word) bit = w.bit;
        }
        if (bit == 0 || (bits & bit) != 0) return -1;
        bits |= bit;
        start = comma + 1;
    }
    return static_cast<int32_t>(bits);
}

}  // namespace

int32_t font_open(const char* file_name, double size, uint32_t style) {
    if (file_name == nullptr) return 0;
    if (!TTF_WasInit() && TTF_Init() != 0) return 0;
    int32_t number = 0;
    for (int32_t f = kFontFirstLoaded; f < kFontCount; ++f) {
        if (font_table.ttf_handle[f] == nullptr) {
            number = f;
            break;
        }
    }
    if (number == 0) return 0;

    TTF_Font* font = nullptr;
    int32_t height = 0;
    if (size < 1.0) {
        font = font_ttf_open(file_name, static_cast<int32_t>(std::trunc(size * 1000.0)));
        if (font == nullptr) return 0;
        height = TTF_FontHeight(font) - 2;
        if (height < 1) {
            TTF_CloseFont(font);
            return 0;
        }
    } else {
        height = static_cast<int32_t>(std::nearbyint(size));
        font = font_open_at_height(file_name, height);
        if (font == nullptr) return 0;
    }

    TTF_SetFontStyle(font, static_cast<int>(style & 7));
    int32_t width = 0;
    if (style & kFontStyleMonospace) {
        if (!TTF_FontFaceIsFixedWidth(font)) {
            TTF_CloseFont(font);
            return 0;
        }
        width = font_space_width(font);
    }
    font_table.ttf_handle[number] = font;
    font_table.height[number] = height;
    font_table.width[number] = width;
    font_table.style[number] = style;
    return number;
}

int32_t font_load(BasicString* file_name, double size, BasicString* style_text, int32_t style_given) {
    if (error_pending()) return 0;
    if (!(size >= 0.001)) {
        error_raise(kErrorIllegalFunctionCall);
        return 0;
    }
    if (size >= 1000.5) return 0;
    int32_t style = 0;
    const std::string_view text = style_given ? string_view_of(style_text) : std::string_view{};
    if (!text.empty()) {
        style = font_parse_style(text);
        if (style < 0) {
            error_raise(kErrorIllegalFunctionCall);
            return 0;
        }
    }
    const std::string name(string_view_of(file_name));
    const int32_t font = font_open(name.c_str(), size, static_cast<uint32_t>(style));
    return font == 0 ? -1 : font;
}

// One character of a loaded font as coverage bytes for drawing on graphics images.
// Solid renderings come back as palette indexes 0 and 1, shaded ones as 0..255 from
// background to glyph; both are turned into coverage 0..255.
bool font_render_glyph(int32_t font, uint32_t code, bool solid, GlyphBitmap& out) {
    if (!font_is_loaded(font)) return false;
    const uint32_t point = (font_table.style[font] & kFontStyleUnicode) ? code : Cp437ToUnicode[code & 0xFF];
    if (point > 0xFFFF) return false;  // the renderer takes one UTF-16 unit
    const Uint16 text[2] = {static_cast<Uint16>(point == 0 ? 0x20 : point), 0};
    TTF_Font* ttf = static_cast<TTF_Font*>(font_table.ttf_handle[font]);
    const SDL_Color white{255, 255, 255, 0};
    const SDL_Color black{0, 0, 0, 0};
    SDL_Surface* s = solid ? TTF_RenderUNICODE_Solid(ttf, text, white) : TTF_RenderUNICODE_Shaded(ttf, text, white, black);
    if (s == nullptr) return false;
    out.width = s->w;
    out.height = s->h;
    out.coverage.assign(static_cast<size_t>(s->w) * static_cast<size_t>(s->h), 0);
    if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
    for (int32_t y = 0; y < s->h; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
        for (int32_t x = 0; x < s->w; ++x) {
            const uint8_t v = row[x];
            out.coverage[static_cast<size_t>(y) * s->w + x] = solid ? (v != 0 ? 255 : 0) : v;
        }
    }
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    SDL_FreeSurface(s);
    return true;
}
