// Test fixture for the screen: a fresh default 80 x 25 screen and helpers to read cells.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "errors/errors.h"
#include "frame/frame.h"
#include "screen/private/screen_private.h"
#include "screen/screen.h"

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_state.error_number = 0;
        image_table_init();
        image_free_all();
        print_set_control_chars(1);
        screen_key_line_show(0);
        screen_key_line_force();
        // Any set WIDTH forces a rebuild: this brings back the start-up screen.
        pending_width = PendingWidth{80, 25, 16};
        screen_mode(0, 0, 0, kScreenPassedMode);
        screen_untouched_default = 1;
        ASSERT_EQ(error_state.error_number, 0u);
    }
    void TearDown() override { error_state.error_number = 0; }

    static ImageRecord* dest() { return current_images.destination; }

    // Takes the pending error number and clears it.
    static uint32_t take_error() {
        const uint32_t n = error_state.error_number;
        error_state.error_number = 0;
        return n;
    }

    static void print(const char* text, int end_line) {
        print_bytes(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), end_line);
    }
    // A PRINT item: fit test, then the text.
    static void item(const char* text) {
        print_make_fit_bytes(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)));
        print(text, 0);
    }

    static uint16_t cell(const ImageRecord* image, int row, int column) {
        uint16_t value;
        std::memcpy(&value, image->pixels + ((row - 1) * image->width + (column - 1)) * 2, 2);
        return value;
    }
    static uint16_t cell(int row, int column) { return cell(dest(), row, column); }

    // The characters of a row with trailing spaces removed.
    static std::string row_text(const ImageRecord* image, int row) {
        std::string s;
        for (int c = 1; c <= image->width; ++c) s.push_back(static_cast<char>(cell(image, row, c) & 0xFF));
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    static std::string row_text(int row) { return row_text(dest(), row); }

    static void locate(int row, int column) { screen_locate(row, column, 0, 0, 0, 3); }
};
