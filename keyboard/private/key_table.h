// The constant key translation table: scan code and the BIOS result of each key under
// each modifier, for characters, extended keys and the keypad.
#pragma once

#include <array>
#include <cstdint>

// One row: the key's scan code and results for modifier index m (0 none, 1 Shift,
// 2 Ctrl, 3 Alt, 4 keypad digit with Num Lock, 7 the same with Shift; 5 and 6 unused).
struct KeyTranslationRow {
    uint8_t scan;
    int32_t result[8];
};

inline constexpr int kKeyTableRows = 528;
inline constexpr int kKeyTableExtendedBase = 256;
inline constexpr int kKeyTableKeypadBase = 512;

namespace key_table_detail {

// Scan code set 1 of the US layout for the character that key types (0 none).
constexpr uint8_t character_scan(int c) {
    if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
    switch (c) {
    case 27: return 1;
    case '1': case '!': return 2;
    case '2': case '@': return 3;
    case '3': case '#': return 4;
    case '4': case '$': return 5;
    case '5': case '%': return 6;
    case '6': case '^': return 7;
    case '7': case '&': return 8;
    case '8': case '*': return 9;
    case '9': case '(': return 10;
    case '0': case ')': return 11;
    case '-': case '_': return 12;
    case '=': case '+': return 13;
    case 8: return 14;
    case 9: return 15;
    case 'Q': return 16; case 'W': return 17; case 'E': return 18; case 'R': return 19;
    case 'T': return 20; case 'Y': return 21; case 'U': return 22; case 'I': return 23;
    case 'O': return 24; case 'P': return 25;
    case '[': case '{': return 26;
    case ']': case '}': return 27;
    case 13: return 28;
    case 'A': return 30; case 'S': return 31; case 'D': return 32; case 'F': return 33;
    case 'G': return 34; case 'H': return 35; case 'J': return 36; case 'K': return 37;
    case 'L': return 38;
    case ';': case ':': return 39;
    case '\'': case '"': return 40;
    case '`': case '~': return 41;
    case '\\': case '|': return 43;
    case 'Z': return 44; case 'X': return 45; case 'C': return 46; case 'V': return 47;
    case 'B': return 48; case 'N': return 49; case 'M': return 50;
    case ',': case '<': return 51;
    case '.': case '>': return 52;
    case '/': case '?': return 53;
    case ' ': return 57;
    default: return 0;
    }
}

constexpr int32_t character_ctrl(int c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return c & 31;
    switch (c) {
    case '[': case '{': return 27;
    case '\\': case '|': return 28;
    case ']': case '}': return 29;
    case '^': case '6': return 30;
    case '_': case '-': return 31;
    case '@': case '2': return 0x0300;
    case 8: return 127;
    case 9: return 0x9400;
    case 13: return 10;
    case 27: return 27;
    case ' ': return 32;
    default: return 0;
    }
}

constexpr int32_t character_alt(int c, uint8_t scan) {
    switch (c) {
    case 8: return 0x0E00;
    case 9: case 13: case 27: case ' ': return 0;
    default: break;
    }
    if (scan >= 2 && scan <= 13) return (scan + 118) * 256;
    return scan * 256;
}

struct ExtendedKey { uint8_t scan; int32_t normal, shift, ctrl, alt; };

constexpr ExtendedKey kExtendedKeys[] = {
    {87, 0x8500, 0x8500, 0x8900, 0x8B00},  // F11
    {88, 0x8600, 0x8600, 0x8A00, 0x8C00},  // F12
    {71, 0x4700, 0x4700, 0x7700, 0x9700},  // Home
    {72, 0x4800, 0x4800, 0x8D00, 0x9800},  // Up
    {73, 0x4900, 0x4900, 0x8400, 0x9900},  // PgUp
    {75, 0x4B00, 0x4B00, 0x7300, 0x9B00},  // Left
    {77, 0x4D00, 0x4D00, 0x7400, 0x9D00},  // Right
    {79, 0x4F00, 0x4F00, 0x7500, 0x9F00},  // End
    {80, 0x5000, 0x5000, 0x9100, 0xA000},  // Down
    {81, 0x5100, 0x5100, 0x7600, 0xA100},  // PgDn
    {82, 0x5200, 0x5200, 0x9200, 0xA200},  // Insert
    {83, 0x5300, 0x5300, 0x9300, 0xA300},  // Delete
};

// Keypad rows in order 0..9, ".", "/", "*", "-", "+", Enter: scan, normal, Shift, Ctrl,
// Alt, with Num Lock, with Num Lock and Shift.
struct KeypadKey { uint8_t scan; int32_t normal, shift, ctrl, alt, numlock, numlock_shift; };

constexpr KeypadKey kKeypadKeys[16] = {
    {82, 0x5200, '0', 0x9200, 0, '0', 0x5200},
    {79, 0x4F00, '1', 0x7500, 0, '1', 0x4F00},
    {80, 0x5000, '2', 0x9100, 0, '2', 0x5000},
    {81, 0x5100, '3', 0x7600, 0, '3', 0x5100},
    {75, 0x4B00, '4', 0x7300, 0, '4', 0x4B00},
    {76, 0x4C00, '5', 0x8F00, 0, '5', 0x4C00},
    {77, 0x4D00, '6', 0x7400, 0, '6', 0x4D00},
    {71, 0x4700, '7', 0x7700, 0, '7', 0x4700},
    {72, 0x4800, '8', 0x8D00, 0, '8', 0x4800},
    {73, 0x4900, '9', 0x8400, 0, '9', 0x4900},
    {83, 0x5300, '.', 0x9300, 0, '.', 0x5300},
    {53, '/', '/', 0x9500, 0xA400, '/', '/'},
    {55, '*', '*', 0x9600, 0x3700, '*', '*'},
    {74, '-', '-', 0x8E00, 0x4A00, '-', '-'},
    {78, '+', '+', 0x9000, 0x4E00, '+', '+'},
    {28, 13, 13, 10, 0xA600, 13, 13},
};

constexpr std::array<KeyTranslationRow, kKeyTableRows> build() {
    std::array<KeyTranslationRow, kKeyTableRows> rows{};
    for (int c = 0; c < 256; ++c) {
        uint8_t scan = character_scan(c);
        if (scan == 0) continue;
        KeyTranslationRow& row = rows[c];
        row.scan = scan;
        row.result[0] = c;
        row.result[1] = (c == 9) ? 0x0F00 : c;
        row.result[2] = character_ctrl(c);
        row.result[3] = character_alt(c, scan);
    }
    for (int f = 0; f < 10; ++f) {
        KeyTranslationRow& row = rows[kKeyTableExtendedBase + 59 + f];
        row.scan = static_cast<uint8_t>(59 + f);
        row.result[0] = (0x3B + f) * 256;
        row.result[1] = (0x54 + f) * 256;
        row.result[2] = (0x5E + f) * 256;
        row.result[3] = (0x68 + f) * 256;
    }
    for (const ExtendedKey& key : kExtendedKeys) {
        KeyTranslationRow& row = rows[kKeyTableExtendedBase + key.scan];
        row.scan = key.scan;
        row.result[0] = key.normal;
        row.result[1] = key.shift;
        row.result[2] = key.ctrl;
        row.result[3] = key.alt;
    }
    for (int k = 0; k < 16; ++k) {
        const KeypadKey& key = kKeypadKeys[k];
        KeyTranslationRow& row = rows[kKeyTableKeypadBase + k];
        row.scan = key.scan;
        row.result[0] = key.normal;
        row.result[1] = key.shift;
        row.result[2] = key.ctrl;
        row.result[3] = key.alt;
        row.result[4] = key.numlock;
        row.result[7] = key.numlock_shift;
    }
    return rows;
}

}  // namespace key_table_detail

inline constexpr std::array<KeyTranslationRow, kKeyTableRows> KeyTranslationTable =
    key_table_detail::build();
