// Key state, the executable's path, sleeping and window maximising on Linux.
#include "platform/platform.h"

#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace {

// The key-state queries keep one connection of their own for the life of the process.
// An X server may drop a connection while it is being set up, so opening is tried a few
// times; a final failure is remembered so a machine without a desktop does not retry.
struct KeyStateConnection {
    std::mutex mutex;
    Display* display = nullptr;
    bool tried = false;
    bool has_xkb = false;
};

KeyStateConnection& key_state_connection() {
    static KeyStateConnection connection;
    return connection;
}

Display* key_state_display(KeyStateConnection& c) {
    if (!c.tried) {
        c.tried = true;
        for (int attempt = 0; attempt < 5 && c.display == nullptr && getenv("DISPLAY") != nullptr; ++attempt) {
            if (attempt > 0) platform_sleep_ms(20);
            c.display = XOpenDisplay(nullptr);
        }
        if (c.display != nullptr) {
            int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
            c.has_xkb = XkbQueryExtension(c.display, &opcode, &event, &error, &major, &minor) != 0;
        }
    }
    return c.display;
}

bool keysym_held(Display* display, const char (&keymap)[32], KeySym sym) {
    const KeyCode code = XKeysymToKeycode(display, sym);
    if (code == 0) return false;
    return (keymap[code / 8] >> (code % 8)) & 1;
}

// Lock state through the named keyboard indicator, falling back on the locked modifiers.
bool lock_on(Display* display, bool has_xkb, const char* indicator_name, unsigned int modifier_mask) {
    if (has_xkb) {
        const Atom name = XInternAtom(display, indicator_name, False);
        Bool on = False;
        if (name != None && XkbGetNamedIndicator(display, name, nullptr, &on, nullptr, nullptr) != 0) {
            return on != False;
        }
        XkbStateRec state{};
        if (modifier_mask != 0 && XkbGetState(display, XkbUseCoreKbd, &state) == Success) {
            return (state.locked_mods & modifier_mask) != 0;
        }
        return false;
    }
    if (modifier_mask == 0) return false;
    Window root = 0, child = 0;
    int root_x = 0, root_y = 0, x = 0, y = 0;
    unsigned int mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &x, &y, &mask);
    return (mask & modifier_mask) != 0;
}

}  // namespace

PlatformKeyState platform_key_state(PlatformKey key) {
    KeyStateConnection& c = key_state_connection();
    std::lock_guard<std::mutex> lock(c.mutex);
    Display* display = key_state_display(c);
    PlatformKeyState result{false, false, false};
    if (display == nullptr) return result;
    result.known = true;

    char keymap[32] = {};
    XQueryKeymap(display, keymap);
    switch (key) {
    case PlatformKey::scroll_lock:
        result.held = keysym_held(display, keymap, XK_Scroll_Lock);
        result.toggled = lock_on(display, c.has_xkb, "Scroll Lock", 0);
        break;
    case PlatformKey::caps_lock:
        result.held = keysym_held(display, keymap, XK_Caps_Lock);
        result.toggled = lock_on(display, c.has_xkb, "Caps Lock", LockMask);
        break;
    case PlatformKey::num_lock:
        result.held = keysym_held(display, keymap, XK_Num_Lock);
        result.toggled = lock_on(display, c.has_xkb, "Num Lock", Mod2Mask);
        break;
    case PlatformKey::left_shift: result.held = keysym_held(display, keymap, XK_Shift_L); break;
    case PlatformKey::right_shift: result.held = keysym_held(display, keymap, XK_Shift_R); break;
    case PlatformKey::left_ctrl: result.held = keysym_held(display, keymap, XK_Control_L); break;
    case PlatformKey::right_ctrl: result.held = keysym_held(display, keymap, XK_Control_R); break;
    case PlatformKey::left_alt: result.held = keysym_held(display, keymap, XK_Alt_L); break;
    case PlatformKey::right_alt:
        // Many layouts put AltGr on the right Alt key.
        result.held = keysym_held(display, keymap, XK_Alt_R) || keysym_held(display, keymap, XK_ISO_Level3_Shift);
        break;
    }
    return result;
}

std::string platform_module_path() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return std::string();
    return std::string(path, static_cast<size_t>(length));
}

void platform_sleep_ms(uint32_t duration_ms) {
    // A zero wait is a yield; it sleeps a millisecond so that a loop polling with it (an
    // INKEY$ loop, say) never keeps a core busy.
    if (duration_ms == 0) duration_ms = 1;
    timespec remaining{static_cast<time_t>(duration_ms / 1000), static_cast<long>(duration_ms % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void platform_maximize_program_window() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11) return;
    Display* display = info.info.x11.display;
    if (display == nullptr) return;
    const Window window = info.info.x11.wmwindow != 0 ? info.info.x11.wmwindow : info.info.x11.window;
    if (info.info.x11.lock_func != nullptr) info.info.x11.lock_func();

    // Ask the window manager the usual way: a _NET_WM_STATE message to the root window.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // add
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_VERT", False));
    event.xclient.data.l[2] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
    event.xclient.data.l[3] = 1;  // normal application
    const long root_mask = SubstructureRedirectMask | SubstructureNotifyMask;
    XMapRaised(display, window);
    XSendEvent(display, DefaultRootWindow(display), False, root_mask, &event);

    // And make it the active window again, as the box had the focus.
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.data.l[0] = 1;  // from an application
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 0;
    XSendEvent(display, DefaultRootWindow(display), False, root_mask, &event);
    XFlush(display);

    if (info.info.x11.unlock_func != nullptr) info.info.x11.unlock_func();
}
