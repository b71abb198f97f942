// Tests of the PLAY music language: synthesis of strings, syntax, ranges and settings.
#include <cmath>
#include <cstdlib>
#include <string>

#include "sound_fixture.h"

namespace {

constexpr uint32_t kGapFrames = 1378;    // an eighth of a 0.5 s note
constexpr uint32_t kToneFrames = 9646;   // 0.4375 s asked for

double note_hz(int semitones_from_a2) { return std::pow(2.0, semitones_from_a2 / 12.0) * 440.0; }

class PlayTest : public SoundTest {
protected:
    // Plays text and returns the error it raised (0 when none).
    uint32_t play(const std::string& text) {
        error_state.error_number = 0;
        play_bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        return error_state.error_number;
    }
    // The music buffer of a foreground PLAY, in frames of the left channel.
    std::vector<int16_t> music(const std::string& text) {
        EXPECT_EQ(play(text), 0u) << text;
        auto queued = take_queued();
        EXPECT_EQ(queued.size(), 2u) << text;
        if (queued.size() != 2) return {};
        EXPECT_EQ(queued[1].samples.size(), 2u) << "one-frame wait marker";
        return left_channel(queued[0].samples);
    }
};

TEST_F(PlayTest, GfedcAtStartSettings) {
    const auto mono = music("gfedc");
    constexpr int kNotes[] = {22, 20, 19, 17, 15};  // G F E D C of octave 4 from A2
    size_t at = 0;
    for (int note : kNotes) {
        const uint32_t tone = expected_cut_frames(note_hz(note), kToneFrames);
        ASSERT_GT(tone, 9600u);
        const std::vector<int16_t> part(mono.begin() + at, mono.begin() + at + tone);
        EXPECT_EQ(rising_crossings(part), static_cast<int32_t>(std::floor((tone - 1) * note_hz(note) / 22050)) + 1);
        const auto [low, high] = std::minmax_element(part.begin(), part.end());
        EXPECT_GE(*low, -16383);
        EXPECT_LE(*high, 16383);
        EXPECT_GT(*high, 16000);
        for (size_t i = at + tone; i < at + tone + kGapFrames; ++i) ASSERT_EQ(mono[i], 0) << i;
        at += tone + kGapFrames;
    }
    EXPECT_EQ(mono.size(), at);
    EXPECT_TRUE(waiting());
    EXPECT_NEAR(note_hz(22), 1568.0, 0.05);
    EXPECT_NEAR(note_hz(15), 1046.5, 0.05);
}

TEST_F(PlayTest, NoteMatchesToneWithGap) {
    struct Case { const char* text; double hz; double seconds; double gap; double volume; };
    const Case kCases[] = {
        {"O2A", 440.0, 0.5, 0.125, 0.5},
        {"O0C", note_hz(-33), 0.5, 0.125, 0.5},
        {"N0", note_hz(-33), 0.5, 0.125, 0.5},
        {"N84", note_hz(51), 0.5, 0.125, 0.5},
        {"O6B#", note_hz(51), 0.5, 0.125, 0.5},
        {"C0", note_hz(15), 0.5, 0.125, 0.5},
        {"C#", note_hz(16), 0.5, 0.125, 0.5},
        {"C+", note_hz(16), 0.5, 0.125, 0.5},
        {"D-", note_hz(16), 0.5, 0.125, 0.5},
        {"C8", note_hz(15), 0.25, 0.125, 0.5},
        {"c8.", note_hz(15), 0.375, 0.125, 0.5},
        {"C..", note_hz(15), 0.875, 0.125, 0.5},
        {"MLC", note_hz(15), 0.5, 0.0, 0.5},
        {"MSC", note_hz(15), 0.5, 0.25, 0.5},
        {"MSMNC", note_hz(15), 0.5, 0.125, 0.5},
        {"V100C", note_hz(15), 0.5, 0.125, 1.0},
        {"120TC", note_hz(15), 0.5, 0.125, 0.5},
        {"T 2 40 C", note_hz(15), 0.25, 0.125, 0.5},
        {"4C", note_hz(15), 0.5, 0.125, 0.5},
        {"L2C", note_hz(15), 1.0, 0.125, 0.5},
        {"T60L8C", note_hz(15), 0.5, 0.125, 0.5},
        {"O7", 0, 0, 0, 0},
    };
    for (const Case& c : kCases) {
        SetUp();
        if (c.hz == 0) continue;
        const auto mono = music(c.text);
        uint8_t* raw = sound_generate_tone(c.hz, (1 - c.gap) * c.seconds, c.volume);
        const uint32_t tone_frames = sound_last_generated_bytes / 4;
        const uint32_t gap_frames = c.gap > 0 ? sound_seconds_to_bytes(c.seconds * c.gap) / 4 : 0;
        ASSERT_EQ(mono.size(), tone_frames + gap_frames) << c.text;
        for (uint32_t i = 0; i < tone_frames; ++i) {
            int16_t expected;
            std::memcpy(&expected, raw + 4 * i, 2);
            ASSERT_EQ(mono[i], expected) << c.text << " frame " << i;
        }
        for (uint32_t i = tone_frames; i < mono.size(); ++i) ASSERT_EQ(mono[i], 0) << c.text;
        std::free(raw);
        TearDown();
    }
}

TEST_F(PlayTest, SyntaxAndRangeErrors) {
    const char* const kBad[] = {
        "O7", "N85", "L0", "L65", "T31", "T256", "P0", "P65", "V101", "C65", "C##", "C#-", "C4#",
        "C.4", "T120.", "MX", "M", "C M", "12", ",", "C\tD", "-", "+C", "#", "L", "T", "O", "V", "N",
        "X", "C,,", "M4L", "P.5", ".", "C!", "=", "=\x02", "5=\x02\x00\x00", "C.=\x02\x00\x00",
    };
    for (const char* text : kBad) {
        SetUp();
        EXPECT_EQ(play(text), 5u) << text;
        EXPECT_TRUE(take_queued().empty()) << text;
        EXPECT_FALSE(waiting()) << text;
        TearDown();
    }
    const char* const kGood[] = {"", "C0", "C64", "P1", "P64", "V0", "T32", "T255", "L1", "L64", "O0", "O6",
                                 "N0", "C,", "P4,", "C.#", "  c  ", "mbmf", "N84..", "P8.", "MLMNMSMFC"};
    for (const char* text : kGood) {
        SetUp();
        EXPECT_EQ(play(text), 0u) << text;
        TearDown();
    }
}

TEST_F(PlayTest, SettingsPersistEvenThroughAFailingString) {
    EXPECT_EQ(play("T200X"), 5u);
    EXPECT_EQ(play_settings.tempo, 200.0);
    EXPECT_EQ(play("O2L8V30MS"), 0u);
    EXPECT_EQ(play_settings.octave, 2);
    EXPECT_EQ(play_settings.default_length, 8.0);
    EXPECT_EQ(play_settings.volume, 30.0);
    EXPECT_EQ(play_settings.gap, 0.25);
    EXPECT_EQ(play(">>>>>>>>"), 0u);
    EXPECT_EQ(play_settings.octave, 6);
    EXPECT_EQ(play("<<<<<<<<<<"), 0u);
    EXPECT_EQ(play_settings.octave, 0);
    take_queued();
    // The next string starts from the kept tempo and length: 60 / 200 x 4 / 8 s.
    const auto mono = music("MLC");
    EXPECT_EQ(mono.size(), expected_cut_frames(note_hz(-33), static_cast<uint32_t>(22050 * 0.15)));
}

TEST_F(PlayTest, ChordSoundsNotesTogetherAndMixesWithClamp) {
    const auto chord = music("V100C,E,G");
    uint8_t* c = sound_generate_tone(note_hz(15), 0.4375, 1.0);
    const uint32_t c_frames = sound_last_generated_bytes / 4;
    uint8_t* e = sound_generate_tone(note_hz(19), 0.4375, 1.0);
    const uint32_t e_frames = sound_last_generated_bytes / 4;
    uint8_t* g = sound_generate_tone(note_hz(22), 0.4375, 1.0);
    const uint32_t g_frames = sound_last_generated_bytes / 4;
    const uint32_t longest = std::max({c_frames, e_frames, g_frames}) + kGapFrames;
    ASSERT_EQ(chord.size(), longest);
    auto at = [](uint8_t* raw, uint32_t frames, uint32_t i) -> int32_t {
        if (i >= frames) return 0;
        int16_t s;
        std::memcpy(&s, raw + 4 * i, 2);
        return s;
    };
    bool clamped = false;
    for (uint32_t i = 0; i < longest; ++i) {
        int32_t sum = at(c, c_frames, i) + at(e, e_frames, i);
        sum = std::clamp(sum, -32767, 32767);
        sum = std::clamp(sum + at(g, g_frames, i), -32767, 32767);
        clamped |= sum == 32767 || sum == -32767;
        ASSERT_EQ(chord[i], sum) << i;
    }
    EXPECT_TRUE(clamped);
    std::free(c);
    std::free(e);
    std::free(g);
    // A note after the chord starts where G ended, mixed into the longer tail if any.
    SetUp();
    const auto after = music("C,EG");
    EXPECT_EQ(after.size(), e_frames + kGapFrames + g_frames + kGapFrames);
}

TEST_F(PlayTest, RestsAndRestChords) {
    const auto rest = music("P4");
    EXPECT_EQ(rest.size(), 11025u);
    for (int16_t s : rest) ASSERT_EQ(s, 0);
    SetUp();
    const auto dotted = music("P2..");
    EXPECT_EQ(dotted.size(), static_cast<size_t>(22050 * 1.75));
    SetUp();
    const auto over = music("P4,C");  // C starts at the rest's start
    EXPECT_EQ(over.size(), 11025u);
    EXPECT_NE(over[1], 0);
}

TEST_F(PlayTest, BackgroundSwitching) {
    // MB at the start: a wait marker first (nothing to wait for), then the music, no wait.
    ASSERT_EQ(play("MBCDE"), 0u);
    auto queued = take_queued();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].samples.size(), 2u);
    EXPECT_EQ(queued[1].samples.size() / 2, expected_cut_frames(note_hz(15), kToneFrames) + expected_cut_frames(note_hz(17), kToneFrames) +
                                                 expected_cut_frames(note_hz(19), kToneFrames) + 3 * kGapFrames);
    EXPECT_EQ(play_settings.background, 1);
    EXPECT_EQ(tone_queue.wait_marker.load(), tone_queue.write_position.load() - 2);

    // Background stays on for the next PLAY: no wait queued at its end.
    SetUp();
    play_settings.background = 1;
    ASSERT_EQ(play("C"), 0u);
    EXPECT_EQ(take_queued().size(), 1u);
    EXPECT_FALSE(waiting());

    // CD in the foreground with a wait, then EF in the background.
    SetUp();
    ASSERT_EQ(play("CDMBEF"), 0u);
    queued = take_queued();
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_GT(queued[0].samples.size(), 2 * 20000u);
    EXPECT_EQ(queued[1].samples.size(), 2u);
    EXPECT_GT(queued[2].samples.size(), 2 * 20000u);
    EXPECT_TRUE(waiting());
    EXPECT_EQ(tone_queue.wait_marker.load(), tone_queue.write_position.load() - 2);

    // MF switches back; nothing is flushed by it.
    ASSERT_EQ(play("MFC"), 0u);
    EXPECT_EQ(take_queued().size(), 2u);
    EXPECT_EQ(play_settings.background, 0);

    // Music queued by MB survives a later error in the same string.
    SetUp();
    EXPECT_EQ(play("CMBDX"), 5u);
    queued = take_queued();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_GT(queued[0].samples.size(), 2 * 9000u);
}

// A variable area the references point into.
class PlayReferenceTest : public PlayTest {
protected:
    void SetUp() override {
        PlayTest::SetUp();
        saved_ = play_variable_area;
        std::memset(area_, 0, sizeof area_);
        play_variable_area = PlayVariableArea{area_, sizeof area_};
    }
    void TearDown() override {
        play_variable_area = saved_;
        PlayTest::TearDown();
    }
    template <typename T>
    void put(uint16_t offset, T value) {
        std::memcpy(area_ + offset, &value, sizeof value);
    }
    // "T=" followed by the reference bytes.
    std::string ref(char command, uint8_t type, uint16_t offset) {
        std::string s(1, command);
        s += '=';
        s += static_cast<char>(type);
        s += static_cast<char>(offset & 0xFF);
        s += static_cast<char>(offset >> 8);
        return s;
    }
    uint8_t area_[256];
    PlayVariableArea saved_{};
};

TEST_F(PlayReferenceTest, ReadsEveryTypeAndRoundsHalfToEven) {
    put<int8_t>(0, 100);
    put<uint8_t>(1, 200);
    put<int16_t>(2, 150);
    put<uint16_t>(4, 160);
    put<int32_t>(8, 170);
    put<uint32_t>(12, 180);
    put<int64_t>(16, 190);
    put<float>(24, 120.5f);
    put<double>(32, 121.5);
    put<long double>(48, 99.4L);
    put<uint64_t>(64, 0xFFFFFF01u);   // low 8 bits 1
    put<uint64_t>(72, 0x3Fu);         // 6 bits: 63 unsigned, -1 signed
    struct Case { uint8_t type; uint16_t offset; double tempo; };
    const Case kCases[] = {
        {1, 0, 100}, {129, 1, 200}, {2, 2, 150}, {130, 4, 160}, {20, 8, 170}, {148, 12, 180},
        {5, 16, 190}, {133, 16, 190}, {4, 24, 120}, {8, 32, 122}, {6, 48, 99}, {64 + 9, 64, 257},
        {64 + 6, 72, 63},
    };
    for (const Case& c : kCases) {
        play_settings.tempo = 77;
        const uint32_t error = play(ref('T', c.type, c.offset));
        if (c.tempo > 255) {
            EXPECT_EQ(error, 5u) << int(c.type);
            continue;
        }
        EXPECT_EQ(error, 0u) << int(c.type);
        EXPECT_EQ(play_settings.tempo, c.tempo) << int(c.type);
    }
    // Negative values are accepted where only the upper bound is checked.
    EXPECT_EQ(play(ref('O', 192 + 6, 72)), 0u);
    EXPECT_EQ(play_settings.octave, -1);
    EXPECT_EQ(play(ref('L', 192 + 6, 72)), 5u);
}

TEST_F(PlayReferenceTest, RejectsBadReferences) {
    put<double>(0, 3e9);
    put<double>(8, std::nan(""));
    put<int64_t>(16, int64_t{1} << 40);
    const std::string kBad[] = {
        ref('T', 8, 0),                       // beyond 32 bits
        ref('T', 8, 8),                       // NaN
        ref('T', 5, 16),
        ref('T', 3, 0),                       // unknown type
        ref('T', 64 + 57, 0),                 // bit field too wide
        ref('T', 192 + 57, 0),
        ref('T', 2, 255),                     // reads past the area
        ref('T', 6, 250),
        ref('T', 2, 0xFFFF),
        ref('T', 2, 0) + "5",                 // digits after a reference
        "T1" + ref('O', 2, 0).substr(1),      // a reference after digits
        "T=\x02\x00",                         // too short
    };
    for (const std::string& text : kBad) {
        EXPECT_EQ(play(text), 5u) << text.size();
    }
}

}  // namespace
