// Window key events and lock-key states turned into presses and releases, and the
// keyboard's start-up state.
#include <atomic>
#include <cstring>

#include "frame/frame.h"
#include "keyboard/keyboard.h"
#include "keyboard/private/key_state.h"
#include "platform/platform.h"

namespace {

// SDL 1.2 key symbols the translation tests for.
constexpr int32_t kSymBackspace = 8;
constexpr int32_t kSymTab = 9;
constexpr int32_t kSymReturn = 13;
constexpr int32_t kSymEscape = 27;
constexpr int32_t kSymSpace = 32;
constexpr int32_t kSymDelete = 127;
constexpr int32_t kSymKeypad0 = 256;
constexpr int32_t kSymKeypad9 = 265;
constexpr int32_t kSymKeypadPeriod = 266;
constexpr int32_t kSymKeypadEnter = 271;
constexpr int32_t kSymUp = 273;
constexpr int32_t kSymDown = 274;
constexpr int32_t kSymRight = 275;
constexpr int32_t kSymLeft = 276;
constexpr int32_t kSymInsert = 277;
constexpr int32_t kSymHome = 278;
constexpr int32_t kSymEnd = 279;
constexpr int32_t kSymPageUp = 280;
constexpr int32_t kSymPageDown = 281;
constexpr int32_t kSymF1 = 282;
constexpr int32_t kSymF10 = 291;
constexpr int32_t kSymF11 = 292;
constexpr int32_t kSymF12 = 293;
constexpr int32_t kSymNumLock = 300;
constexpr int32_t kSymCapsLock = 301;
constexpr int32_t kSymScrollLock = 302;
constexpr int32_t kSymRightShift = 303;
constexpr int32_t kSymLeftShift = 304;
constexpr int32_t kSymRightCtrl = 305;
constexpr int32_t kSymLeftCtrl = 306;
constexpr int32_t kSymRightAlt = 307;
constexpr int32_t kSymLeftAlt = 308;

// Letters follow Shift and Caps Lock: upper case when exactly one of them is in effect.
KeyHitCode letter_code(int32_t lower) {
    bool upper = (key_is_down(kKeyCodeCapsLock) != 0) != key_shift_held();
    return upper ? lower - 32 : lower;
}

struct NavigationKey {
    int32_t symbol;
    KeyHitCode code;
};
constexpr NavigationKey kNavigationKeys[] = {
    {kSymHome, 0x4700}, {kSymUp, 0x4800},   {kSymPageUp, 0x4900},   {kSymLeft, 0x4B00},
    {kSymRight, 0x4D00}, {kSymEnd, 0x4F00}, {kSymDown, 0x5000},     {kSymPageDown, 0x5100},
    {kSymInsert, 0x5200}, {kSymDelete, 0x5300},
};

// Ctrl combinations whose character the window system already changed; the plain key
// is pressed instead so the BIOS ring applies its own Ctrl column.
struct CtrlCharacter {
    uint32_t unicode;
    int32_t symbol;
    KeyHitCode code;
};
constexpr CtrlCharacter kCtrlCharacters[] = {
    {10, kSymReturn, 13}, {27, kSymEscape, 27}, {32, kSymSpace, 32}, {30, 54, 54},
    {27, 91, 91},         {28, 92, 92},         {29, 93, 93},
};

void key_down_event(int32_t k, uint32_t u) {
    int32_t composition = key_composition_state.load();
    if (composition != 0) {
        if (composition == 2) key_composition_state.store(3);
        return;
    }
    AltNumberEntry& alt = key_alt_number;
    bool is_alt_key = k == kSymLeftAlt || k == kSymRightAlt;
    if (is_alt_key && !key_is_down(kKeyCodeLeftAlt) && !key_is_down(kKeyCodeRightAlt)) {
        alt.state = 1;
        alt.value = 0;
    }
    if (alt.state != 0) {
        if (k >= kSymKeypad0 && k <= kSymKeypad9) {
            alt.state = 2;
            alt.value = alt.value * 10 + static_cast<uint64_t>(k - kSymKeypad0);
        } else if (!is_alt_key) {
            alt.state = 0;
        }
    }
    key_set_current_origin(k);
    if (u == 127 && k == kSymBackspace) u = 8;
    if (u == 127 && k == kSymDelete) u = 0;

    if (u != 0) {
        if (k >= kSymKeypad0 && k <= kSymKeypadEnter) {
            key_press(kKeyCodeNonCharBase + k);
            return;
        }
        if (key_ctrl_held()) {
            if (k == kSymBackspace) {
                key_press(8);
                return;
            }
            for (const CtrlCharacter& entry : kCtrlCharacters) {
                if (entry.unicode == u && entry.symbol == k) {
                    key_press(entry.code);
                    return;
                }
            }
            if (u >= 1 && u <= 26) {
                key_press(letter_code(96 + static_cast<int32_t>(u)));
                return;
            }
        }
        key_press_char(u);
        if (k == 0) key_release_char(u);
        return;
    }
    if (k == 0) return;
    if (k >= kSymKeypad0 && k <= kSymKeypadPeriod) {
        key_press(kKeyCodeKeypadBase + k - kSymKeypad0);
        return;
    }
    if (k > kSymKeypadPeriod && k <= kSymKeypadEnter) {
        key_press(kKeyCodeNonCharBase + k);
        return;
    }
    if (k >= kSymF1 && k <= kSymF10) {
        key_press((k - 223) * 256);
        return;
    }
    if (k == kSymF11 || k == kSymF12) {
        key_press((k - 159) * 256);
        return;
    }
    for (const NavigationKey& key : kNavigationKeys) {
        if (key.symbol == k) {
            key_press(key.code);
            return;
        }
    }
    if (key_ctrl_held() && ((k >= 32 && k <= 96) || k == kSymBackspace || k == kSymTab ||
                        k == kSymReturn || k == kSymEscape)) {
        key_press(k);
        return;
    }
    if (k >= 'a' && k <= 'z') {
        key_press(letter_code(k));
        return;
    }
    if (k < 32 || k > 127) {
        key_press(kKeyCodeNonCharBase + k);
        return;
    }
    key_set_current_origin(0);
}

void key_up_event(int32_t k) {
    int32_t composition = key_composition_state.load();
    if (composition != 0) {
        if (composition == 3) key_composition_state.store(0);
        return;
    }
    int64_t pending = -1;
    AltNumberEntry& alt = key_alt_number;
    if (alt.state != 0 && (k == kSymLeftAlt || k == kSymRightAlt)) {
        if (alt.state == 2) pending = static_cast<int64_t>(alt.value & 0xFF);
        alt.state = 0;
    }
    if (k != 0) key_release_by_window_key(k);
    if (pending != -1) {
        key_press(static_cast<KeyHitCode>(pending));
        key_release(static_cast<KeyHitCode>(pending));
    }
}

}  // namespace

void key_translate_event(const KeyEventRecord& event) {
    if (event.type == KeyEventType::down) {
        key_down_event(event.symbol, event.unicode);
    } else {
        key_up_event(event.symbol);
    }
}

void key_sync_locks() {
    // A lock state the window system cannot tell us is left as the key events made it.
    const PlatformKeyState scroll = platform_key_state(PlatformKey::scroll_lock);
    const bool scroll_on = scroll.toggled;
    if (scroll.known && scroll_on != (key_is_down(kKeyCodeScrollLockOn) != 0)) {
        key_down_toggle(kKeyCodeScrollLockOn);
        key_update_shift_flags();
    }
    struct Lock { PlatformKey key; KeyHitCode code; int32_t symbol; };
    constexpr Lock locks[] = {{PlatformKey::caps_lock, kKeyCodeCapsLock, kSymCapsLock},
                              {PlatformKey::num_lock, kKeyCodeNumLock, kSymNumLock}};
    for (const Lock& lock : locks) {
        const PlatformKeyState state = platform_key_state(lock.key);
        const bool on = state.toggled;
        if (!state.known || on == (key_is_down(lock.code) != 0)) continue;
        key_set_current_origin(lock.symbol);
        if (key_is_down(lock.code)) {
            key_release(lock.code);
        } else {
            key_press(lock.code);
        }
        key_update_shift_flags();
    }
}

void key_state_reset() {
    for (auto& code : key_down_list.code) code.store(0, std::memory_order_relaxed);
    std::memset(key_down_list.origin, 0, sizeof key_down_list.origin);
    key_down_list.count.store(0);
    for (auto& entry : key_hit_queue.entry) entry.store(0, std::memory_order_relaxed);
    key_hit_queue.write_position.store(0);
    key_hit_queue.read_position.store(0);
    std::memset(&key_scan_port, 0, sizeof key_scan_port);
    key_scan_port.bytes[0] = 129;
    std::memset(key_suppressed_releases.code, 0, sizeof key_suppressed_releases.code);
    key_suppressed_releases.last_used = -1;
    key_alt_number = AltNumberEntry{};
    for (KeyTrap& trap : KeyTrapTable) trap = KeyTrap{};
    key_composition_state.store(0);
    key_pressed_flag.store(0);
    key_set_current_origin(0);
    for (uint32_t address : {kBiosShiftFlags1, kBiosShiftFlags2, kBiosShiftFlags3}) {
        std::atomic_ref<uint8_t>(EmulatedMemory[address]).store(0);
    }
    std::atomic_ref<uint8_t>(EmulatedMemory[kBiosKeyHead]).store(kBiosKeyRingFirst);
    std::atomic_ref<uint8_t>(EmulatedMemory[kBiosKeyTail]).store(kBiosKeyRingFirst);
}

void key_tables_init() {
    key_state_reset();
    for (int i = 0; i < 10; ++i) KeyTrapTable[1 + i].code = (0x3B + i) * 256;
    struct Arrow { int index; int32_t code; int32_t alternate; };
    constexpr Arrow arrows[] = {{11, 0x4800, 100264}, {12, 0x4B00, 100260},
                                {13, 0x4D00, 100262}, {14, 0x5000, 100258}};
    for (const Arrow& arrow : arrows) {
        KeyTrapTable[arrow.index].code = arrow.code;
        KeyTrapTable[arrow.index].alternate_code = arrow.alternate;
    }
    KeyTrapTable[30].code = 0x8500;
    KeyTrapTable[31].code = 0x8600;
}

void key_startup_state() {
    if (platform_key_state(PlatformKey::scroll_lock).toggled) {
        key_set_current_origin(kSymScrollLock);
        key_down_add(kKeyCodeScrollLockOn);
    }
    struct Held { PlatformKey key; bool toggle; KeyHitCode code; int32_t symbol; };
    constexpr Held held[] = {
        {PlatformKey::scroll_lock, false, kKeyCodeScrollLockKey, kSymScrollLock},
        {PlatformKey::left_shift, false, kKeyCodeLeftShift, kSymLeftShift},
        {PlatformKey::right_shift, false, kKeyCodeRightShift, kSymRightShift},
        {PlatformKey::left_ctrl, false, kKeyCodeLeftCtrl, kSymLeftCtrl},
        {PlatformKey::right_ctrl, false, kKeyCodeRightCtrl, kSymRightCtrl},
        {PlatformKey::left_alt, false, kKeyCodeLeftAlt, kSymLeftAlt},
        {PlatformKey::right_alt, false, kKeyCodeRightAlt, kSymRightAlt},
        {PlatformKey::caps_lock, true, kKeyCodeCapsLock, kSymCapsLock},
        {PlatformKey::num_lock, true, kKeyCodeNumLock, kSymNumLock},
    };
    for (const Held& h : held) {
        PlatformKeyState state = platform_key_state(h.key);
        if (h.toggle ? state.toggled : state.held) {
            key_set_current_origin(h.symbol);
            key_press(h.code);
        }
    }
    key_update_shift_flags();
    key_hit_queue.read_position.store(key_hit_queue.write_position.load());
}
