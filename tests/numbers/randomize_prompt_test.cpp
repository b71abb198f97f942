// RANDOMIZE without a value: the prompt on the screen and the seed typed at the keyboard.
#include "keyboard/input_fixture.h"
#include "numbers/numbers.h"

namespace {

class RandomizePromptTest : public InputTest {
protected:
    // Types the keys from another thread while RANDOMIZE waits for them.
    void randomize_typing(const std::string& keys) {
        feeder_ = std::thread([codes = typed(keys)] {
            for (KeyHitCode code : codes) {
                while (ring_full()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                key_press(code);
                key_release(code);
            }
        });
        random_seed(0.0, kRandomSeedPrompt);
        feeder_.join();
    }
};

TEST_F(RandomizePromptTest, TypedSeedReplacesTheUpperBitsOfTheState) {
    struct Case { const char* keys; uint32_t state; };
    const Case kCases[] = {{"-2\r", 0xFFFEABu}, {"1234\r", (1234u << 8) | 0xABu}, {"32767\r", 0x7FFFABu}};
    for (const Case& c : kCases) {
        screen_cls(0, 0, 0);
        random_state = 0x1234AB;
        randomize_typing(c.keys);
        EXPECT_EQ(error_state.error_number, 0u) << c.keys;
        EXPECT_EQ(random_state, c.state) << c.keys;
    }
}

TEST_F(RandomizePromptTest, PromptIsPrintedBeforeTheAnswer) {
    random_state = kRandomStartState;
    randomize_typing("7\r");
    EXPECT_EQ(row_text(1), "Random-number seed (-32768 to 32767)? 7");
    EXPECT_EQ(random_state, 7u << 8);
    // The same seed gives the same sequence.
    const float first = random_next(0.0f, 0);
    random_state = 0;
    random_seed_bits(7);
    EXPECT_EQ(random_next(0.0f, 0), first);
}

}  // namespace
