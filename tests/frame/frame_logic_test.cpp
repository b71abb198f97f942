// Tests of the frame's pure computations: arguments, the hand-over marker, pointer
// planes, the icon image, the BIOS tick count, timer due logic and mouse buttons.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "frame/private/frame_logic.h"

namespace {

// ---------------------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------------------

std::string join(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "/path/to/program");
    return frame_join_arguments(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLine, JoinsArgumentsWithOneBlankAndKeepsInnerBlanks) {
    EXPECT_EQ(join({}), "");
    EXPECT_EQ(join({"one"}), "one");
    EXPECT_EQ(join({"first", "a  b"}), "first a  b");
    EXPECT_EQ(join({"", "x"}), " x");
    EXPECT_EQ(join({" lead", "trail "}), " lead trail ");
}

TEST(ExecutableFolder, CutsAtTheLastSeparator) {
    EXPECT_EQ(frame_executable_folder("/work/build/adventure"), "/work/build");
    EXPECT_EQ(frame_executable_folder("/adventure"), "/");
    EXPECT_EQ(frame_executable_folder("/odd:dir/a\\b:c"), "/odd:dir");
    EXPECT_EQ(frame_executable_folder("adventure"), "");
    EXPECT_EQ(frame_executable_folder(""), "");
}

// ---------------------------------------------------------------------------------------
// Hand-over marker
// ---------------------------------------------------------------------------------------

struct ChainCase {
    const char* text;
    bool marker;
    int32_t kept_length;
};

void PrintTo(const ChainCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class ChainMarker : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ChainMarker, RecognisesOnlyTheFullSuffix) {
    const ChainCase& c = GetParam();
    const auto* text = reinterpret_cast<const uint8_t*>(c.text);
    const auto length = static_cast<int32_t>(std::strlen(c.text));
    EXPECT_EQ(frame_has_chain_marker(text, length), c.marker) << c.text;
    EXPECT_EQ(frame_length_without_chain(text, length), c.kept_length) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChainMarker,
    ::testing::Values(
        // Exactly the 32-character suffix: taken, nothing is left.
        ChainCase{"(unique-tag:=/@*$+-)chainA1b.tmp", true, 0},
        // Arguments before it: the suffix and the separating blank go.
        ChainCase{"hello world (unique-tag:=/@*$+-)chainxyz.tmp", true, 11},
        // 31 characters are never a hand-over, whatever they contain.
        ChainCase{"unique-tag:=/@*$+-)chainA1b.tmp", false, 31},
        ChainCase{"(unique-tag:=/@*$+-)chainA1.tmp", false, 31},
        // Wrong extension, wrong marker, wrong name.
        ChainCase{"(unique-tag:=/@*$+-)chainA1b.tmq", false, 32},
        ChainCase{"(unique-tag:=/@*$+_)chainA1b.tmp", false, 32},
        ChainCase{"(unique-tag:=/@*$+-)chaimA1b.tmp", false, 32},
        ChainCase{"", false, 0}));

TEST(ChainMarkerNull, NoTextIsNoMarker) {
    EXPECT_FALSE(frame_has_chain_marker(nullptr, 40));
}

// ---------------------------------------------------------------------------------------
// Mouse pointer
// ---------------------------------------------------------------------------------------

bool bit(const std::array<uint8_t, 128>& plane, int x, int y) {
    return (plane[y * 4 + x / 8] & (0x80 >> (x % 8))) != 0;
}

TEST(CursorPlanes, ArrowPixelsFollowThePicture) {
    const CursorBitPlanes planes = frame_cursor_planes(CursorPicture);
    // Row 0 "X": black tip at the top-left corner only.
    EXPECT_TRUE(bit(planes.data, 0, 0));
    EXPECT_TRUE(bit(planes.mask, 0, 0));
    EXPECT_FALSE(bit(planes.mask, 1, 0));
    // Row 2 "X.X": black, white, black.
    EXPECT_TRUE(bit(planes.data, 0, 2) && bit(planes.mask, 0, 2));
    EXPECT_TRUE(!bit(planes.data, 1, 2) && bit(planes.mask, 1, 2));
    EXPECT_TRUE(bit(planes.data, 2, 2) && bit(planes.mask, 2, 2));
    // Row 14 "X.X  X..X": the two blanks are transparent.
    EXPECT_FALSE(bit(planes.mask, 3, 14));
    EXPECT_FALSE(bit(planes.mask, 4, 14));
    EXPECT_TRUE(bit(planes.data, 5, 14));
    // Row 11 "X......XXXXX": the last black pixel is column 11.
    EXPECT_TRUE(bit(planes.data, 11, 11));
    EXPECT_FALSE(bit(planes.mask, 12, 11));
    // Rows 21 to 31 are empty; white pixels never set the data plane.
    for (int y = 21; y < 32; ++y)
        for (int x = 0; x < 32; ++x) EXPECT_FALSE(bit(planes.mask, x, y));
    for (int i = 0; i < 128; ++i) EXPECT_EQ(planes.data[i] & ~planes.mask[i], 0) << i;
    EXPECT_EQ(planes.hot_x, 0);
    EXPECT_EQ(planes.hot_y, 0);
}

TEST(CursorPlanes, BitsAreMostSignificantFirstAndHotSpotIsRead) {
    std::vector<std::string> lines = {"    32    32        3            1", "X c #000000", ". c #ffffff", "  c None"};
    for (int y = 0; y < 32; ++y) lines.push_back(std::string(32, ' '));
    lines[4] = "X.......X" + std::string(22, ' ') + "X";  // pixels 0, 8 and 31 of row 0
    lines[5] = "";                                        // a short row is transparent
    lines.push_back("7,12");
    std::vector<const char*> picture;
    for (const std::string& line : lines) picture.push_back(line.c_str());

    const CursorBitPlanes planes = frame_cursor_planes(picture.data());
    EXPECT_EQ(planes.data[0], 0x80);
    EXPECT_EQ(planes.mask[0], 0xFF);
    EXPECT_EQ(planes.data[1], 0x80);
    EXPECT_EQ(planes.mask[1], 0x80);
    EXPECT_EQ(planes.data[2], 0x00);
    EXPECT_EQ(planes.data[3], 0x01);
    EXPECT_EQ(planes.mask[4], 0x00);
    EXPECT_EQ(planes.hot_x, 7);
    EXPECT_EQ(planes.hot_y, 12);
}

TEST(CursorPicture, HasHeaderColoursRowsAndHotSpot) {
    EXPECT_STREQ(CursorPicture[0], "    32    32        3            1");
    EXPECT_STREQ(CursorPicture[3], "  c None");
    for (int y = 0; y < 32; ++y) EXPECT_EQ(std::strlen(CursorPicture[4 + y]), 32u) << y;
    EXPECT_STREQ(CursorPicture[36], "0,0");
}

// ---------------------------------------------------------------------------------------
// Window icon
// ---------------------------------------------------------------------------------------

uint32_t le32(size_t at) {
    return WindowIconBmp[at] | WindowIconBmp[at + 1] << 8 | WindowIconBmp[at + 2] << 16 |
           static_cast<uint32_t>(WindowIconBmp[at + 3]) << 24;
}

TEST(WindowIcon, IsA32By32IndexedBitmapOf2102Bytes) {
    EXPECT_EQ(WindowIconBmp[0], 'B');
    EXPECT_EQ(WindowIconBmp[1], 'M');
    EXPECT_EQ(le32(2), 2102u);
    EXPECT_EQ(le32(10), 1078u);
    EXPECT_EQ(le32(18), 32u);
    EXPECT_EQ(le32(22), 32u);
    EXPECT_EQ(WindowIconBmp[28], 8);
    // The picture uses more than one colour.
    bool varied = false;
    for (size_t i = 1078; i < 2102; ++i) varied |= WindowIconBmp[i] != WindowIconBmp[1078];
    EXPECT_TRUE(varied);
}

// ---------------------------------------------------------------------------------------
// BIOS tick counter
// ---------------------------------------------------------------------------------------

struct TickCase {
    uint32_t now_ticks;
    uint32_t origin_ticks;
    uint32_t origin_ms;
    uint32_t expected;
};

void PrintTo(const TickCase& c, std::ostream* out) {
    *out << "now " << c.now_ticks << " origin " << c.origin_ticks << " at " << c.origin_ms << " ms";
}

class BiosTicks : public ::testing::TestWithParam<TickCase> {};

TEST_P(BiosTicks, CountsEighteenPointTwoPerSecondSinceMidnight) {
    const TickCase& c = GetParam();
    EXPECT_EQ(frame_bios_ticks(c.now_ticks, c.origin_ticks, c.origin_ms), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BiosTicks,
    ::testing::Values(
        TickCase{1000, 1000, 0, 0},                 // midnight
        TickCase{2000, 1000, 0, 18},                // one second: 18.2 truncates to 18
        TickCase{11000, 1000, 0, 182},              // ten seconds
        TickCase{500, 500, 86399900, 1572478},      // 23:59:59.9
        TickCase{600, 500, 86399900, 0},            // just past midnight
        TickCase{1600, 500, 86399900, 18},          // one second after midnight
        TickCase{499, 500, 86399999, 1572479},      // the largest value: never above it
        TickCase{5, 0xFFFFFFF0u, 1000, 18}));       // the tick clock wrapped

TEST(BiosTicksLimit, NeverExceedsTheLastTickOfTheDay) {
    for (uint32_t ms = kMillisecondsPerDay - 2000; ms < kMillisecondsPerDay + 2000; ms += 7) {
        EXPECT_LE(frame_bios_ticks(ms, 0, 0), 1572479u);
    }
}

// ---------------------------------------------------------------------------------------
// Timer due logic
// ---------------------------------------------------------------------------------------

TEST(TimerDue, FirstLookStartsTheClockThenDueEachInterval) {
    double last = 0.0;
    EXPECT_FALSE(frame_timer_record_due(5.0, 1.0, last));
    EXPECT_DOUBLE_EQ(last, 5.0);
    EXPECT_FALSE(frame_timer_record_due(5.9, 1.0, last));
    EXPECT_FALSE(frame_timer_record_due(6.0, 1.0, last));  // strictly greater
    EXPECT_TRUE(frame_timer_record_due(6.001, 1.0, last));
    EXPECT_DOUBLE_EQ(last, 6.0);
    EXPECT_FALSE(frame_timer_record_due(6.9, 1.0, last));
    EXPECT_TRUE(frame_timer_record_due(7.0005, 1.0, last));
    EXPECT_DOUBLE_EQ(last, 7.0);
}

TEST(TimerDue, ARecordLeftAloneBecomesDueOnceAndRestarts) {
    double last = 7.0;
    EXPECT_TRUE(frame_timer_record_due(10.5, 1.0, last));
    EXPECT_DOUBLE_EQ(last, 10.5);  // no catching up of the missed occurrences
    EXPECT_FALSE(frame_timer_record_due(11.4, 1.0, last));
    EXPECT_TRUE(frame_timer_record_due(11.6, 1.0, last));
    EXPECT_DOUBLE_EQ(last, 11.5);
}

TEST(TimerDue, ClockDoesNotStartBeforeOneIntervalOfTickTime) {
    double last = 0.0;
    EXPECT_FALSE(frame_timer_record_due(0.5, 2.0, last));
    EXPECT_DOUBLE_EQ(last, 0.0);
}

// ---------------------------------------------------------------------------------------
// Mouse buttons
// ---------------------------------------------------------------------------------------

TEST(MouseButtons, DownSetsAndUpClearsTheButtonsBit) {
    EXPECT_EQ(frame_mouse_buttons_after(0, 1, true), 1u);
    EXPECT_EQ(frame_mouse_buttons_after(1, 3, true), 5u);
    EXPECT_EQ(frame_mouse_buttons_after(5, 1, false), 4u);
    EXPECT_EQ(frame_mouse_buttons_after(4, 4, false), 4u);
    EXPECT_EQ(frame_mouse_buttons_after(4, 0, true), 4u);   // not a button
    EXPECT_EQ(frame_mouse_buttons_after(4, 40, true), 4u);
}

}  // namespace
