// Modal message boxes: a small Xlib dialog window, or standard error without a desktop.
#include "platform/platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPaddingPx = 16;
constexpr int kLineGapPx = 2;
constexpr int kButtonWidthPx = 80;
constexpr int kButtonGapPx = 12;
constexpr int kMinWidthPx = 260;

struct DialogButton {
    const char* label;
    MessageBoxResult result;
    int x, y, width, height;
};

// Everything one dialog needs; the connection and its resources go away with it.
struct Dialog {
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    XFontStruct* font = nullptr;
    bool font_loaded = false;
    unsigned long background = 0, foreground = 0, button_face = 0, shadow = 0;
    std::vector<std::string> lines;
    std::vector<DialogButton> buttons;
    int focused = 0;           // button Enter and Space press
    int pressed = -1;          // button under a mouse press not yet released
    unsigned int armed_keycode = 0;  // answering key pressed here and not yet released
    MessageBoxResult escape_result = MessageBoxResult::no;
    int width = 0, height = 0, line_height = 0, text_top = 0;

    ~Dialog() {
        if (display == nullptr) return;
        if (font != nullptr) {
            if (font_loaded) XFreeFont(display, font);
            else XFreeFontInfo(nullptr, font, 1);  // the GC's font is only described, not loaded
        }
        if (gc != nullptr) XFreeGC(display, gc);
        if (window != 0) XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
};

std::vector<std::string> split_lines(const char* text) {
    std::vector<std::string> lines;
    std::string current;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') {
            lines.push_back(current);
            current.clear();
        } else if (*p != '\r') {
            current.push_back(*p);
        }
    }
    lines.push_back(current);
    return lines;
}

// Texts are single bytes; the desktop's UTF-8 properties get their Latin-1 reading.
std::string latin1_to_utf8(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

unsigned long rgb_pixel(Display* display, unsigned short r, unsigned short g, unsigned short b, unsigned long fallback) {
    XColor color{};
    color.red = static_cast<unsigned short>(r * 257);
    color.green = static_cast<unsigned short>(g * 257);
    color.blue = static_cast<unsigned short>(b * 257);
    color.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &color) == 0) return fallback;
    return color.pixel;
}

int text_width(const Dialog& d, const std::string& s) {
    return XTextWidth(d.font, s.data(), static_cast<int>(s.size()));
}

void set_utf8_property(Display* display, Window window, const char* name, const std::string& value) {
    XChangeProperty(display, window, XInternAtom(display, name, False), XInternAtom(display, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(value.data()), static_cast<int>(value.size()));
}

void draw_dialog(Dialog& d) {
    Display* display = d.display;
    XSetForeground(display, d.gc, d.background);
    XFillRectangle(display, d.window, d.gc, 0, 0, static_cast<unsigned>(d.width), static_cast<unsigned>(d.height));
    XSetForeground(display, d.gc, d.foreground);
    int y = d.text_top + d.font->ascent;
    for (const std::string& line : d.lines) {
        XDrawString(display, d.window, d.gc, kPaddingPx, y, line.data(), static_cast<int>(line.size()));
        y += d.line_height;
    }
    for (size_t i = 0; i < d.buttons.size(); ++i) {
        const DialogButton& b = d.buttons[i];
        const bool sunk = static_cast<int>(i) == d.pressed;
        XSetForeground(display, d.gc, d.button_face);
        XFillRectangle(display, d.window, d.gc, b.x, b.y, static_cast<unsigned>(b.width), static_cast<unsigned>(b.height));
        XSetForeground(display, d.gc, sunk ? d.foreground : d.shadow);
        XDrawRectangle(display, d.window, d.gc, b.x, b.y, static_cast<unsigned>(b.width - 1), static_cast<unsigned>(b.height - 1));
        if (static_cast<int>(i) == d.focused) {
            // The button Enter presses gets a second frame.
            XSetForeground(display, d.gc, d.foreground);
            XDrawRectangle(display, d.window, d.gc, b.x + 2, b.y + 2, static_cast<unsigned>(b.width - 5),
                           static_cast<unsigned>(b.height - 5));
        }
        XSetForeground(display, d.gc, d.foreground);
        const std::string label = b.label;
        const int label_x = b.x + (b.width - text_width(d, label)) / 2;
        const int label_y = b.y + (b.height + d.font->ascent - d.font->descent) / 2;
        XDrawString(display, d.window, d.gc, label_x, label_y, label.data(), static_cast<int>(label.size()));
    }
    XFlush(display);
}

int button_at(const Dialog& d, int x, int y) {
    for (size_t i = 0; i < d.buttons.size(); ++i) {
        const DialogButton& b = d.buttons[i];
        if (x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) return static_cast<int>(i);
    }
    return -1;
}

// Lays the dialog out from the font: text lines on top, buttons centred below.
void layout_dialog(Dialog& d, MessageBoxButtons kind) {
    d.line_height = d.font->ascent + d.font->descent + kLineGapPx;
    if (kind == MessageBoxButtons::yes_no) {
        d.buttons.push_back({"Yes", MessageBoxResult::yes, 0, 0, 0, 0});
        d.buttons.push_back({"No", MessageBoxResult::no, 0, 0, 0, 0});
        d.escape_result = MessageBoxResult::no;
    } else {
        d.buttons.push_back({"OK", MessageBoxResult::ok, 0, 0, 0, 0});
        d.escape_result = MessageBoxResult::ok;
    }
    int text_w = 0;
    for (const std::string& line : d.lines) text_w = std::max(text_w, text_width(d, line));
    const int button_count = static_cast<int>(d.buttons.size());
    const int buttons_w = button_count * kButtonWidthPx + (button_count - 1) * kButtonGapPx;
    d.width = std::max({kMinWidthPx, text_w + 2 * kPaddingPx, buttons_w + 2 * kPaddingPx});
    d.text_top = kPaddingPx;
    const int button_h = d.font->ascent + d.font->descent + 12;
    const int button_y = d.text_top + static_cast<int>(d.lines.size()) * d.line_height + kPaddingPx;
    int x = (d.width - buttons_w) / 2;
    for (DialogButton& b : d.buttons) {
        b.x = x;
        b.y = button_y;
        b.width = kButtonWidthPx;
        b.height = button_h;
        x += kButtonWidthPx + kButtonGapPx;
    }
    d.height = button_y + button_h + kPaddingPx;
}

void set_window_properties(Dialog& d, const char* caption, const char* text) {
    Display* display = d.display;
    Window w = d.window;
    XStoreName(display, w, caption);
    set_utf8_property(display, w, "_NET_WM_NAME", latin1_to_utf8(caption));
    // The full text and the button places, for assistive tools and automated checks.
    set_utf8_property(display, w, "_BASIC_DIALOG_TEXT", latin1_to_utf8(text));
    std::string places;
    for (const DialogButton& b : d.buttons) {
        char row[64];
        std::snprintf(row, sizeof row, "%s%s %d %d %d %d", places.empty() ? "" : ";", b.label, b.x, b.y, b.width, b.height);
        places += row;
    }
    set_utf8_property(display, w, "_BASIC_DIALOG_BUTTONS", places);

    XClassHint class_hint{const_cast<char*>("basic-dialog"), const_cast<char*>("BasicDialog")};
    XSetClassHint(display, w, &class_hint);

    XSizeHints* size = XAllocSizeHints();
    if (size != nullptr) {
        size->flags = PPosition | PMinSize | PMaxSize;
        size->min_width = size->max_width = d.width;
        size->min_height = size->max_height = d.height;
        XSetWMNormalHints(display, w, size);
        XFree(size);
    }
    XWMHints* hints = XAllocWMHints();
    if (hints != nullptr) {
        hints->flags = InputHint | StateHint;
        hints->input = True;
        hints->initial_state = NormalState;
        XSetWMHints(display, w, hints);
        XFree(hints);
    }

    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, w, &delete_window, 1);

    Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display, w, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);
    // The box stays above other windows while it waits, like a system-modal box.
    Atom states[2] = {XInternAtom(display, "_NET_WM_STATE_MODAL", False), XInternAtom(display, "_NET_WM_STATE_ABOVE", False)};
    XChangeProperty(display, w, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(states), 2);
}

// The answer a key stands for, or `failed` for keys that answer nothing. Focus moves
// happen here too.
MessageBoxResult key_answer(Dialog& d, KeySym sym, bool yes_no, bool press) {
    const int count = static_cast<int>(d.buttons.size());
    switch (sym) {
    case XK_y:
    case XK_Y:
        return yes_no ? MessageBoxResult::yes : MessageBoxResult::failed;
    case XK_n:
    case XK_N:
        return yes_no ? MessageBoxResult::no : MessageBoxResult::failed;
    case XK_o:
    case XK_O:
        return yes_no ? MessageBoxResult::failed : MessageBoxResult::ok;
    case XK_Return:
    case XK_KP_Enter:
    case XK_space:
        return d.buttons[static_cast<size_t>(d.focused)].result;
    case XK_Escape:
        return d.escape_result;
    case XK_Tab:
    case XK_Right:
        if (press) {
            d.focused = (d.focused + 1) % count;
            draw_dialog(d);
        }
        break;
    case XK_ISO_Left_Tab:
    case XK_Left:
        if (press) {
            d.focused = (d.focused + count - 1) % count;
            draw_dialog(d);
        }
        break;
    default:
        break;
    }
    return MessageBoxResult::failed;
}

KeySym event_keysym(XKeyEvent& event) {
    char buffer[8];
    KeySym sym = NoSymbol;
    XLookupString(&event, buffer, sizeof buffer, &sym, nullptr);
    return sym;
}

MessageBoxResult run_dialog(Dialog& d, bool yes_no) {
    const Atom protocols = XInternAtom(d.display, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(d.display, "WM_DELETE_WINDOW", False);
    for (;;) {
        XEvent event;
        XNextEvent(d.display, &event);  // blocks: no polling while the user decides
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) draw_dialog(d);
            break;
        case KeyPress:
            // A key answers when it is released after being pressed here: a key still
            // held from the program's window (Enter of an INPUT line) answers nothing,
            // and its release does not go astray once the box is gone.
            if (key_answer(d, event_keysym(event.xkey), yes_no, true) != MessageBoxResult::failed) {
                d.armed_keycode = event.xkey.keycode;
            }
            break;
        case KeyRelease:
            if (event.xkey.keycode == d.armed_keycode) {
                d.armed_keycode = 0;
                const MessageBoxResult result = key_answer(d, event_keysym(event.xkey), yes_no, false);
                if (result != MessageBoxResult::failed) return result;
            }
            break;
        case ButtonPress:
            if (event.xbutton.button == Button1) {
                d.pressed = button_at(d, event.xbutton.x, event.xbutton.y);
                draw_dialog(d);
            }
            break;
        case ButtonRelease:
            if (event.xbutton.button == Button1) {
                const int released = button_at(d, event.xbutton.x, event.xbutton.y);
                const int pressed = d.pressed;
                d.pressed = -1;
                if (released >= 0 && released == pressed) return d.buttons[static_cast<size_t>(released)].result;
                draw_dialog(d);
            }
            break;
        case ClientMessage:
            // The title bar's close button: the safe answer (No, or OK).
            if (event.xclient.message_type == protocols && static_cast<Atom>(event.xclient.data.l[0]) == delete_window) {
                return d.escape_result;
            }
            break;
        case VisibilityNotify:
            // The box stays on top like a system-modal box: a window that opens later
            // (the program's own, on its first frame) must not bury it.
            if (event.xvisibility.state != VisibilityUnobscured) XRaiseWindow(d.display, d.window);
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == d.window) {
                d.window = 0;
                return MessageBoxResult::failed;
            }
            break;
        default:
            break;
        }
    }
}

MessageBoxResult console_message_box(const char* caption, const char* text, MessageBoxButtons buttons) {
    std::fprintf(stderr, "%s\n%s\n", caption, text);
    std::fflush(stderr);
    return buttons == MessageBoxButtons::yes_no ? MessageBoxResult::no : MessageBoxResult::ok;
}

}  // namespace

MessageBoxResult platform_message_box(const char* caption, const char* text, MessageBoxButtons buttons) {
    if (caption == nullptr) caption = "";
    if (text == nullptr) text = "";
    Dialog d;
    d.display = XOpenDisplay(nullptr);
    if (d.display == nullptr) return console_message_box(caption, text, buttons);
    Display* display = d.display;
    const int screen = DefaultScreen(display);

    d.lines = split_lines(text);
    d.gc = XCreateGC(display, RootWindow(display, screen), 0, nullptr);
    d.font = XLoadQueryFont(display, "fixed");
    d.font_loaded = d.font != nullptr;
    if (d.font == nullptr) d.font = XQueryFont(display, XGContextFromGC(d.gc));
    if (d.font == nullptr) return console_message_box(caption, text, buttons);
    if (d.font_loaded) XSetFont(display, d.gc, d.font->fid);

    d.foreground = BlackPixel(display, screen);
    d.background = rgb_pixel(display, 0xF0, 0xF0, 0xF0, WhitePixel(display, screen));
    d.button_face = rgb_pixel(display, 0xE1, 0xE1, 0xE1, WhitePixel(display, screen));
    d.shadow = rgb_pixel(display, 0x70, 0x70, 0x70, BlackPixel(display, screen));
    layout_dialog(d, buttons);

    const int x = std::max(0, (DisplayWidth(display, screen) - d.width) / 2);
    const int y = std::max(0, (DisplayHeight(display, screen) - d.height) / 2);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = d.background;
    attributes.border_pixel = d.foreground;
    attributes.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            StructureNotifyMask | VisibilityChangeMask;
    d.window = XCreateWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(d.width),
                             static_cast<unsigned>(d.height), 1, CopyFromParent, InputOutput, CopyFromParent,
                             CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    set_window_properties(d, caption, text);
    XMapRaised(display, d.window);
    XFlush(display);

    return run_dialog(d, buttons == MessageBoxButtons::yes_no);
}
