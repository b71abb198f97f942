// Linked into every unit-test binary: the runtime is exercised without a window or
// a sound card unless a test asks for one explicitly.
#include <cstdlib>

namespace {
const bool headless_environment_set = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return true;
}();
}  // namespace
