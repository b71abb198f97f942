// Test fixture for INPUT: a fresh 80 x 25 screen, an empty keyboard and a feeder thread
// that types keys into the BIOS ring while INPUT runs on the test thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "display/display.h"
#include "display/fonts.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "keyboard/keyboard.h"
#include "keyboard/private/key_state.h"
#include "screen/screen.h"
#include "strings/strings.h"

// Codes typed by the feeder: characters and extended keys as key_press takes them.
inline std::vector<KeyHitCode> typed(const std::string& text) {
    std::vector<KeyHitCode> codes;
    for (unsigned char c : text) codes.push_back(c);
    return codes;
}

class InputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        string_engine_init();
        font_tables_init();
        screen_startup();
    }

    void SetUp() override {
        error_state.error_number = 0;
        error_state.stop_requested.store(0);
        key_tables_init();
        image_free_all();
        pending_width = PendingWidth{80, 25, 16};
        screen_mode(0, 0, 0, kScreenPassedMode);
        screen_key_line_show(0);
        AutoDisplay.store(1);
        ASSERT_EQ(error_state.error_number, 0u);
    }

    void TearDown() override {
        if (feeder_.joinable()) feeder_.join();
        error_state.error_number = 0;
        error_state.stop_requested.store(0);
    }

    // Types the codes from another thread, as the display loop would, waiting whenever
    // the ring is full, then runs INPUT with the targets already in InputTargetList.
    void run_input(const std::vector<KeyHitCode>& codes, int32_t count, uint8_t newline = 1) {
        feeder_ = std::thread([codes] {
            for (KeyHitCode code : codes) {
                while (ring_full()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                key_press(code);
                key_release(code);
            }
        });
        input_statement(count, newline);
        feeder_.join();
    }

    static bool ring_full() {
        uint8_t head = std::atomic_ref<uint8_t>(EmulatedMemory[kBiosKeyHead]).load();
        uint8_t tail = std::atomic_ref<uint8_t>(EmulatedMemory[kBiosKeyTail]).load();
        uint8_t next = static_cast<uint8_t>(tail + 2);
        if (next == kBiosKeyRingEnd) next = kBiosKeyRingFirst;
        return next == head;
    }

    static void prompt(const char* text) {
        print_bytes(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), 0);
    }

    static ImageRecord* dest() { return image_record(-image_get_destination()); }

    // The characters of a row (1-based) without trailing spaces.
    static std::string row_text(int row) {
        const ImageRecord* image = dest();
        std::string s;
        for (int c = 0; c < image->width; ++c) {
            s.push_back(static_cast<char>(screen_cell_load(image->pixels + ((row - 1) * image->width + c) * 2) & 0xFF));
        }
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }

    static std::string text_of(const BasicString* s) {
        return std::string(reinterpret_cast<const char*>(s->text), static_cast<size_t>(s->length));
    }

    std::thread feeder_;
};
