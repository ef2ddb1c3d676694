// headless.cpp -- test programs that open windows or audio run with no display and no sound card, children too.
#include <cstdlib>

namespace {

// ctest's per-test ENVIRONMENT loses all but the first variable through gtest_discover_tests; set them here.
const bool headless = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return true;
}();

} // namespace
