// Font statements that consult images: freeing a font, font metrics and an image's font.
#include <SDL_ttf.h>

#include "display/fonts.h"
#include "errors/errors.h"
#include "screen/screen.h"

namespace {

bool font_in_use(int32_t font) {
    for (int32_t n = 2; n < image_table.used; ++n) {
        const ImageRecord* image = image_record(n);
        if (image->in_use && image->font == font) return true;
    }
    return false;
}

// The font a metric query is about: the given one (built-in 8, 14, 16 or loaded) or the
// destination's. -1 after an error.
int32_t font_metric_subject(int32_t font, int32_t font_given) {
    if (font_given) {
        if (font == 8 || font == 14 || font == 16 || font_is_loaded(font)) return font;
        error_raise(kErrorInvalidHandle);
        return -1;
    }
    const ImageRecord* destination = current_images.destination;
    return destination != nullptr ? destination->font : -1;
}

}  // namespace

void font_free(int32_t font) {
    if (error_pending()) return;
    if (!font_is_loaded(font)) {
        error_raise(kErrorInvalidHandle);
        return;
    }
    if (font_in_use(font)) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    TTF_CloseFont(static_cast<TTF_Font*>(font_table.ttf_handle[font]));
    font_table.ttf_handle[font] = nullptr;
    font_table.width[font] = 0;
    font_table.height[font] = 0;
    font_table.style[font] = 0;
}

int32_t font_width(int32_t font, int32_t font_given) {
    if (error_pending()) return 0;
    const int32_t subject = font_metric_subject(font, font_given);
    return subject < 0 ? 0 : font_cell_width(subject);
}

int32_t font_height(int32_t font, int32_t font_given) {
    if (error_pending()) return 0;
    const int32_t subject = font_metric_subject(font, font_given);
    return subject < 0 ? 0 : font_cell_height(subject);
}

int32_t image_font(int32_t handle, int32_t handle_given) {
    if (error_pending()) return 0;
    if (!handle_given) {
        const ImageRecord* destination = current_images.destination;
        return destination != nullptr ? destination->font : 0;
    }
    const int32_t n = image_resolve(handle);
    if (n <= 0 || error_pending()) return 0;
    return image_record(n)->font;
}
