// Key event translation: key-hit queue, BIOS ring, shift bytes, keyboard port, pause,
// break, Alt+Enter, Alt + keypad numbers, traps and macros.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "display/display.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "keyboard/keyboard.h"
#include "keyboard/private/key_state.h"
#include "keyboard/private/key_table.h"
#include "platform/platform.h"
#include "strings/strings.h"

namespace {

KeyEventRecord down(int32_t symbol, uint32_t unicode = 0) {
    return KeyEventRecord{KeyEventType::down, symbol, 0, unicode, 0};
}
KeyEventRecord up(int32_t symbol) { return KeyEventRecord{KeyEventType::up, symbol, 0, 0, 0}; }

using RingEntry = std::pair<int, int>;  // character byte, scan byte

uint8_t memory_byte(uint32_t address) { return std::atomic_ref<uint8_t>(EmulatedMemory[address]).load(); }

class KeyTranslation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { string_engine_init(); }

    void SetUp() override {
        key_state_reset();
        error_state.suspend_flags.store(0);
        error_state.event_pending.store(0);
        error_state.error_number = 0;
        frame_state.exit_requested.store(0);
        frame_state.close_intercept.store(0);
        frame_state.close_requests.store(0);
        mark_ = string_temporary_mark();
    }
    void TearDown() override { string_release_temporaries(mark_, 0); }

    // A lock turned on the way the display loop's lock sync does it, unseen as a key.
    void lock_on(KeyHitCode code, int32_t symbol) {
        key_set_current_origin(symbol);
        key_press(code);
        drain_hits();
    }

    static void feed(const std::vector<KeyEventRecord>& events) {
        for (const KeyEventRecord& e : events) key_translate_event(e);
    }

    static std::vector<int32_t> drain_hits() {
        std::vector<int32_t> hits;
        while (key_hit_queue.read_position.load() != key_hit_queue.write_position.load()) {
            hits.push_back(key_hit_pop());
        }
        return hits;
    }

    static std::vector<RingEntry> drain_ring() {
        std::vector<RingEntry> ring;
        while (memory_byte(kBiosKeyHead) != memory_byte(kBiosKeyTail)) {
            uint8_t head = memory_byte(kBiosKeyHead);
            ring.emplace_back(memory_byte(0x400 + head), memory_byte(0x401 + head));
            uint8_t next = static_cast<uint8_t>(head + 2);
            if (next == kBiosKeyRingEnd) next = kBiosKeyRingFirst;
            std::atomic_ref<uint8_t>(EmulatedMemory[kBiosKeyHead]).store(next);
        }
        return ring;
    }

    static std::string inkey() {
        BasicString* s = key_inkey();
        return std::string(reinterpret_cast<const char*>(s->text), static_cast<size_t>(s->length));
    }

    int32_t mark_ = 0;
};

struct TranslationCase {
    const char* name;
    bool caps_lock;
    bool num_lock;
    std::vector<KeyEventRecord> events;
    std::vector<int32_t> hits;
    std::vector<RingEntry> ring;
};

const TranslationCase kTranslationCases[] = {
    {"letter", false, false, {down(97, 97), up(97)}, {97, -97}, {{97, 30}}},
    {"shifted_letter", false, false, {down(304), down(97, 65), up(97), up(304)},
     {100304, 65, -65, -100304}, {{65, 30}}},
    {"ctrl_letter", false, false, {down(306), down(97, 1), up(97), up(306)},
     {100306, 97, -97, -100306}, {{1, 30}}},
    {"ctrl_letter_caps_lock", true, false, {down(306), down(97, 1), up(97), up(306)},
     {100306, 65, -65, -100306}, {{1, 30}}},
    {"ctrl_letter_caps_lock_and_shift", true, false,
     {down(306), down(304), down(97, 1), up(97), up(304), up(306)},
     {100306, 100304, 97, -97, -100304, -100306}, {{1, 30}}},
    {"ctrl_letter_without_character", false, false, {down(306), down(98), up(98), up(306)},
     {100306, 98, -98, -100306}, {{2, 48}}},
    {"f1", false, false, {down(282), up(282)}, {0x3B00, -0x3B00}, {{0, 59}}},
    {"shift_f1", false, false, {down(304), down(282), up(282), up(304)},
     {100304, 0x3B00, -0x3B00, -100304}, {{0, 84}}},
    {"f12", false, false, {down(293), up(293)}, {0x8600, -0x8600}, {{0, 0x86}}},
    {"keypad_5_without_num_lock", false, false, {down(261), up(261)}, {0x4C00, -0x4C00}, {{0, 76}}},
    {"keypad_5_with_num_lock", false, true, {down(261, '5'), up(261)}, {'5', -'5'}, {{'5', 76}}},
    // Shift undoes Num Lock: the window sends the navigation key, which Shift types as "5".
    {"keypad_5_with_num_lock_and_shift", false, true, {down(304), down(261), up(261), up(304)},
     {100304, 0x4C00, -0x4C00, -100304}, {{'5', 76}}},
    {"keypad_enter", false, false, {down(271, 13), up(271)}, {13, -13}, {{13, 28}}},
    {"ctrl_backspace", false, false, {down(306), down(8, 127), up(8), up(306)},
     {100306, 8, -8, -100306}, {{127, 14}}},
    {"ctrl_escape_without_character", false, false, {down(306), down(27), up(27), up(306)},
     {100306, 27, -27, -100306}, {{27, 1}}},
    {"ctrl_escape_with_character", false, false, {down(306), down(27, 27), up(27), up(306)},
     {100306, 27, -27, -100306}, {{27, 1}}},
    {"alt_keypad_123", false, false,
     {down(308), down(257), up(257), down(258), up(258), down(259), up(259), up(308)},
     {100308, -100308, 123, -123}, {{123, 26}}},
    {"alt_keypad_with_num_lock", false, true,
     {down(308), down(262, '6'), up(262), down(261, '5'), up(261), up(308)},
     {100308, -100308, 65, -65}, {{65, 30}}},
    {"alt_letter", false, false, {down(308), down(97, 97), up(97), up(308)},
     {100308, 97, -97, -100308}, {{0, 30}}},
    {"alt_digit_row", false, false, {down(308), down(49, 49), up(49), up(308)},
     {100308, 49, -49, -100308}, {{0, 0x78}}},
    {"alt_enter", false, false, {down(308), down(13, 13), up(13), up(308)},
     {100308, -13, -100308}, {}},
    {"delete_key", false, false, {down(127, 127), up(127)}, {0x5300, -0x5300}, {{0, 83}}},
    {"shift_tab", false, false, {down(304), down(9, 9), up(9), up(304)},
     {100304, 9, -9, -100304}, {{0, 15}}},
    {"f13_is_a_plain_key", false, false, {down(294), up(294)}, {100294, -100294}, {}},
    {"nbsp_outside_code_page", false, false, {down(160, 0xA0), up(160)},
     {0x400000A0, -0x400000A0}, {}},
    {"character_without_key", false, false, {down(0, 0xE9)}, {130, -130}, {{130, 0}}},
    {"full_width_form", false, false, {down(0, 0xFF21)}, {65, -65}, {{65, 30}}},
};

class KeyTranslationTable_ : public KeyTranslation,
                             public ::testing::WithParamInterface<TranslationCase> {};

TEST_P(KeyTranslationTable_, QueueAndRing) {
    const TranslationCase& c = GetParam();
    if (c.caps_lock) lock_on(kKeyCodeCapsLock, 301);
    if (c.num_lock) lock_on(kKeyCodeNumLock, 300);
    feed(c.events);
    EXPECT_EQ(drain_hits(), c.hits);
    EXPECT_EQ(drain_ring(), c.ring);
}

INSTANTIATE_TEST_SUITE_P(Events, KeyTranslationTable_, ::testing::ValuesIn(kTranslationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyTranslation, InkeyGivesOneOrTwoCharacters) {
    feed({down(97, 97), up(97), down(282), up(282), down(261), up(261)});
    EXPECT_EQ(inkey(), "a");
    EXPECT_EQ(inkey(), std::string("\0\x3b", 2));
    EXPECT_EQ(inkey(), std::string("\0\x4c", 2));
    EXPECT_EQ(inkey(), "");
}

TEST_F(KeyTranslation, InkeyIsEmptyWhileAnErrorIsPending) {
    feed({down(97, 97), up(97)});
    error_state.error_number = 5;
    EXPECT_EQ(inkey(), "");
    error_state.error_number = 0;
    EXPECT_EQ(inkey(), "a");
}

TEST_F(KeyTranslation, KeypadKeysCarryTheKeypadFlag) {
    feed({down(261), up(261), down(53, '5')});
    uint64_t first = key_hit_queue.entry[0].load();
    uint64_t second = key_hit_queue.entry[1].load();
    uint64_t third = key_hit_queue.entry[2].load();
    EXPECT_EQ(static_cast<int32_t>(first), 0x4C00);
    EXPECT_EQ(first >> 32, 1u);
    EXPECT_EQ(static_cast<int32_t>(second), -0x4C00);
    EXPECT_EQ(second >> 32, 1u);
    EXPECT_EQ(third >> 32, 0u);
}

TEST_F(KeyTranslation, RingHoldsFifteenKeysAndDropsTheSixteenth) {
    for (int i = 0; i < 16; ++i) feed({down(97 + i, 97 + i), up(97 + i)});
    std::vector<int32_t> hits = drain_hits();
    EXPECT_EQ(hits.size(), 32u);
    EXPECT_EQ(hits[30], 97 + 15);
    std::vector<RingEntry> ring = drain_ring();
    ASSERT_EQ(ring.size(), 15u);
    EXPECT_EQ(ring.front().first, 'a');
    EXPECT_EQ(ring.back().first, 'a' + 14);
    // Space again after reading: the next key is kept.
    feed({down(122, 122), up(122)});
    EXPECT_EQ(inkey(), "z");
}

TEST_F(KeyTranslation, KeyHitQueueKeepsTheNewest8191) {
    for (int i = 0; i < 8192; ++i) key_press(kKeyCodeNonCharBase + 294);
    std::vector<int32_t> hits = drain_hits();
    EXPECT_EQ(hits.size(), 8191u);
    EXPECT_EQ(key_hit_pop(), 0);
}

TEST_F(KeyTranslation, PauseHoldsUntilTheNextKeyWhichIsDiscarded) {
    feed({down(19), up(19)});
    EXPECT_TRUE(error_state.suspend_flags.load() & kSuspendPaused);
    EXPECT_EQ(error_state.event_pending.load(), 1u);
    feed({down(97, 97)});
    EXPECT_FALSE(error_state.suspend_flags.load() & kSuspendPaused);
    feed({up(97)});
    EXPECT_EQ(drain_hits(), (std::vector<int32_t>{-100019, -97}));
    EXPECT_EQ(inkey(), "");
}

TEST_F(KeyTranslation, CtrlNumLockAlsoPauses) {
    feed({down(306), down(300)});
    EXPECT_TRUE(error_state.suspend_flags.load() & kSuspendPaused);
}

TEST_F(KeyTranslation, CtrlScrollLockBreaks) {
    feed({down(306), down(302)});
    EXPECT_EQ(frame_state.exit_requested.load(), 1);
    EXPECT_EQ(frame_state.close_requests.load(), 0u);
}

TEST_F(KeyTranslation, CtrlScrollLockWithCloseInterceptionOnlyAsks) {
    frame_state.close_intercept.store(1);
    feed({down(306), down(302)});
    EXPECT_EQ(frame_state.exit_requested.load(), 0);
    EXPECT_EQ(frame_state.close_requests.load(), 2u);
}

TEST_F(KeyTranslation, AltEnterTypesNothingAndEndsAltNumberEntry) {
    feed({down(308), down(257), down(13, 13), up(13), up(257), up(308)});
    EXPECT_EQ(key_alt_number.state, 0);
    EXPECT_EQ(inkey(), "");
}

TEST_F(KeyTranslation, CharacterOutsideCodePageIsHeldUntilItsKeyIsReleased) {
    feed({down(160, 0xA0)});
    EXPECT_EQ(key_is_down(0x400000A0), 1);
    feed({up(160)});
    EXPECT_EQ(key_is_down(0x400000A0), 0);
}

TEST_F(KeyTranslation, RepeatedMakeCodesAreStoredOnce) {
    feed({down(97, 97), down(97, 97), down(97, 97), up(97)});
    ASSERT_EQ(key_scan_port.count, 2);
    EXPECT_EQ(key_scan_port.bytes[0], 30);
    EXPECT_EQ(key_scan_port.bytes[1], 30 + 128);
    EXPECT_EQ(drain_ring().size(), 3u);  // typematic repeats still type
}

TEST_F(KeyTranslation, ScanPortDropsTheOldestWhenFull) {
    for (int i = 0; i < 200; ++i) feed({down(97, 97), up(97)});
    EXPECT_EQ(key_scan_port.count, 256);
    EXPECT_EQ(key_scan_port.bytes[255], 30 + 128);
    EXPECT_EQ(key_scan_port.bytes[254], 30);
}

struct FlagCase {
    const char* name;
    std::vector<KeyEventRecord> events;
    uint8_t flags1, flags2, flags3;
};

const FlagCase kFlagCases[] = {
    {"nothing", {}, 0x00, 0x00, 0x10},
    {"left_shift", {down(304)}, 0x02, 0x00, 0x10},
    {"right_shift", {down(303)}, 0x01, 0x00, 0x10},
    {"left_ctrl", {down(306)}, 0x04, 0x01, 0x10},
    {"right_ctrl", {down(305)}, 0x04, 0x00, 0x11},
    {"left_alt", {down(308)}, 0x08, 0x02, 0x10},
    {"right_alt", {down(307)}, 0x08, 0x00, 0x12},
    {"shift_released", {down(304), up(304)}, 0x00, 0x00, 0x10},
    {"scroll_lock_toggles_on", {down(302), up(302)}, 0x10, 0x00, 0x10},
    {"scroll_lock_toggles_off", {down(302), up(302), down(302), up(302)}, 0x00, 0x00, 0x10},
    {"scroll_lock_held", {down(302)}, 0x10, 0x10, 0x10},
    {"insert_toggles_insert_mode", {down(277), up(277)}, 0x80, 0x00, 0x10},
    {"insert_held", {down(277)}, 0x80, 0x80, 0x10},
    {"insert_twice", {down(277), up(277), down(277), up(277)}, 0x00, 0x00, 0x10},
    {"caps_lock_key_down", {down(301)}, 0x40, 0x00, 0x10},
    {"num_lock_key_down", {down(300)}, 0x20, 0x00, 0x10},
};

class ShiftFlags : public KeyTranslation, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(ShiftFlags, BiosBytes) {
    const FlagCase& c = GetParam();
    feed(c.events);
    key_update_shift_flags();
    EXPECT_EQ(memory_byte(kBiosShiftFlags1), c.flags1);
    EXPECT_EQ(memory_byte(kBiosShiftFlags2), c.flags2);
    EXPECT_EQ(memory_byte(kBiosShiftFlags3), c.flags3);
}

INSTANTIATE_TEST_SUITE_P(Events, ShiftFlags, ::testing::ValuesIn(kFlagCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyTranslation, HeldTestsFindTheKeypadTwin) {
    lock_on(kKeyCodeNumLock, 300);
    feed({down(261, '5')});
    EXPECT_EQ(key_is_down(100261), 1);
    EXPECT_EQ(key_is_down('5'), 1);
    EXPECT_EQ(key_is_down('6'), 0);
}

TEST_F(KeyTranslation, NavigationKeypadTwin) {
    feed({down(264)});
    EXPECT_EQ(key_is_down(200008), 1);
    EXPECT_EQ(key_is_down(0x4800), 1);
    EXPECT_EQ(key_is_down(0x4A00), 0);
}

TEST_F(KeyTranslation, TrapOccurrenceTakesTheKeyAndItsRelease) {
    key_tables_init();
    KeyTrapTable[1].handler_present = 1;
    KeyTrapTable[1].state = 1;
    feed({down(282), up(282)});
    EXPECT_EQ(KeyTrapTable[1].pending_count, 1);
    EXPECT_EQ(error_state.event_pending.load(), 1u);
    EXPECT_TRUE(drain_hits().empty());
    EXPECT_TRUE(drain_ring().empty());
    // A trap that is held (state 2) keeps one occurrence.
    KeyTrapTable[1].state = 2;
    feed({down(282), up(282), down(282), up(282)});
    EXPECT_EQ(KeyTrapTable[1].pending_count, 1);
}

TEST_F(KeyTranslation, TrapByScanCodeHonoursModifiers) {
    KeyTrapTable[20].handler_present = 1;
    KeyTrapTable[20].state = 1;
    KeyTrapTable[20].scan_code = 30;  // the A key
    KeyTrapTable[20].flags = 0x04;    // with Ctrl
    feed({down(97, 97), up(97)});
    EXPECT_EQ(KeyTrapTable[20].pending_count, 0);
    feed({down(306), down(97, 1), up(97), up(306)});
    EXPECT_EQ(KeyTrapTable[20].pending_count, 1);
    EXPECT_EQ(drain_ring(), (std::vector<RingEntry>{{'a', 30}}));
}

TEST_F(KeyTranslation, ArrowTrapMatchesItsKeypadAlternate) {
    key_tables_init();
    KeyTrapTable[11].handler_present = 1;
    KeyTrapTable[11].state = 1;
    lock_on(kKeyCodeNumLock, 300);
    feed({down(264, '8'), up(264)});
    EXPECT_EQ(KeyTrapTable[11].pending_count, 1);
}

TEST_F(KeyTranslation, MacroTypesItsTextInsteadOfTheKey) {
    key_tables_init();
    BasicString* macro = string_new_from_c("hi");
    KeyTrapTable[2].macro = macro;  // F2
    feed({down(283), up(283)});
    EXPECT_EQ(drain_hits(), (std::vector<int32_t>{'h', -'h', 'i', -'i'}));
    EXPECT_EQ(inkey(), "h");
    EXPECT_EQ(inkey(), "i");
    KeyTrapTable[2].macro = nullptr;
    string_free(macro);
}

TEST_F(KeyTranslation, SuppressedReleaseListStopsAt256) {
    KeyTrapTable[5].handler_present = 1;
    KeyTrapTable[5].state = 1;
    KeyTrapTable[5].alternate_code = 100294;
    for (int i = 0; i < 300; ++i) key_press(100294);
    EXPECT_EQ(key_suppressed_releases.last_used, 255);
    for (int i = 0; i < 300; ++i) key_release(100294);
    EXPECT_EQ(drain_hits().size(), 300u - 256u);
}

TEST_F(KeyTranslation, CompositionSwallowsKeyEvents) {
    key_composition_state.store(2);
    feed({down(97, 97)});
    EXPECT_EQ(key_composition_state.load(), 3);
    feed({up(97)});
    EXPECT_EQ(key_composition_state.load(), 0);
    EXPECT_TRUE(drain_hits().empty());
}

TEST_F(KeyTranslation, CodeZeroIsHeldAsItsStandIn) {
    key_press(0);
    EXPECT_EQ(key_is_down(kKeyCodeZero), 1);
    EXPECT_EQ(inkey(), std::string("\0", 1));
    key_release(0);
    EXPECT_EQ(key_is_down(kKeyCodeZero), 0);
}

TEST_F(KeyTranslation, MediaKeyEntersTheRingWithItsScanCode) {
    key_press(0x1900);
    EXPECT_EQ(drain_ring(), (std::vector<RingEntry>{{0, 25}}));
}

TEST_F(KeyTranslation, LockSyncFollowsTheSystemBothWays) {
    struct Lock { PlatformKey key; KeyHitCode code; uint8_t bit; };
    const Lock locks[] = {{PlatformKey::caps_lock, kKeyCodeCapsLock, 0x40},
                          {PlatformKey::num_lock, kKeyCodeNumLock, 0x20},
                          {PlatformKey::scroll_lock, kKeyCodeScrollLockOn, 0x10}};
    for (const Lock& lock : locks) {
        SCOPED_TRACE(lock.code);
        const PlatformKeyState system = platform_key_state(lock.key);
        // Start from the opposite state; one sync brings the list and the byte back. When
        // the window system cannot be asked, the state the key events made is kept.
        const bool start_on = !system.toggled;
        if (start_on) {
            key_down_add(lock.code);
        } else {
            key_down_remove(lock.code);
        }
        key_update_shift_flags();
        const bool expected_on = system.known ? system.toggled : start_on;
        key_sync_locks();
        EXPECT_EQ(key_is_down(lock.code), expected_on ? 1 : 0);
        EXPECT_EQ((memory_byte(kBiosShiftFlags1) & lock.bit) != 0, expected_on);
        key_sync_locks();
        EXPECT_EQ(key_is_down(lock.code), expected_on ? 1 : 0);
    }
    // Lock changes are not typed keys: nothing reaches the ring.
    EXPECT_TRUE(drain_ring().empty());
}

TEST_F(KeyTranslation, StartupStateLeavesNothingToRead) {
    key_startup_state();
    EXPECT_EQ(key_hit_pop(), 0);
    EXPECT_EQ(inkey(), "");
    EXPECT_EQ(memory_byte(kBiosShiftFlags3) & 0x10, 0x10);
}

struct TableRow {
    int row;
    int scan;
    int32_t normal, shift, ctrl, alt;
};

const TableRow kTableRows[] = {
    {'a', 30, 'a', 'a', 1, 0x1E00},      {'A', 30, 'A', 'A', 1, 0x1E00},
    {'1', 2, '1', '1', 0, 0x7800},       {'!', 2, '!', '!', 0, 0x7800},
    {'=', 13, '=', '=', 0, 0x8300},      {'+', 13, '+', '+', 0, 0x8300},
    {'2', 3, '2', '2', 0x0300, 0x7900},  {'6', 7, '6', '6', 30, 0x7D00},
    {'-', 12, '-', '-', 31, 0x8200},     {'[', 26, '[', '[', 27, 0x1A00},
    {';', 39, ';', ';', 0, 0x2700},      {'/', 53, '/', '/', 0, 0x3500},
    {'"', 40, '"', '"', 0, 0x2800},      {'~', 41, '~', '~', 0, 0x2900},
    {8, 14, 8, 8, 127, 0x0E00},          {9, 15, 9, 0x0F00, 0x9400, 0},
    {13, 28, 13, 13, 10, 0},             {27, 1, 27, 27, 27, 0},
    {' ', 57, ' ', ' ', ' ', 0},         {127, 0, 0, 0, 0, 0},
    {200, 0, 0, 0, 0, 0},
    {256 + 59, 59, 0x3B00, 0x5400, 0x5E00, 0x6800},
    {256 + 68, 68, 0x4400, 0x5D00, 0x6700, 0x7100},
    {256 + 83, 83, 0x5300, 0x5300, 0x9300, 0xA300},
    {512 + 5, 76, 0x4C00, '5', 0x8F00, 0}, {512 + 15, 28, 13, 13, 10, 0xA600},
};

TEST(KeyTranslationTableRows, RowsHoldTheirScanAndResults) {
    for (const TableRow& r : kTableRows) {
        const KeyTranslationRow& row = KeyTranslationTable[r.row];
        SCOPED_TRACE(r.row);
        EXPECT_EQ(row.scan, r.scan);
        EXPECT_EQ(row.result[0], r.normal);
        EXPECT_EQ(row.result[1], r.shift);
        EXPECT_EQ(row.result[2], r.ctrl);
        EXPECT_EQ(row.result[3], r.alt);
    }
    EXPECT_EQ(KeyTranslationTable[512 + 5].result[4], '5');
    EXPECT_EQ(KeyTranslationTable[512 + 5].result[7], 0x4C00);
}

TEST(KeyCharMapping, CodePageAndFallbacks) {
    EXPECT_EQ(key_char_mapping('a'), 'a');
    EXPECT_EQ(key_char_mapping(0xE9), 130);          // é
    EXPECT_EQ(key_char_mapping(0x2588), 219);        // full block
    EXPECT_EQ(key_char_mapping(0x263A), 1);
    EXPECT_EQ(key_char_mapping(0xFF01), 33);
    EXPECT_EQ(key_char_mapping(0x3000), 32);
    EXPECT_EQ(key_char_mapping(0xA0), 0x400000A0);
    EXPECT_EQ(key_char_mapping(0x20AC), 0x400020AC);  // euro sign
}

}  // namespace
