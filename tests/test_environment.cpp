// Linked into every test program: the surroundings each test expects, whether the program is
// run by CTest or by hand. Widgets draw without a display, and sound goes to the null output
// at the real rate instead of whatever device the machine has. A variable that is already set
// wins, so a run can still choose (for instance KAVARO_AUDIO=wav:FILE to listen).
#include <cstdlib>

namespace {

const bool g_environmentSet = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("KAVARO_AUDIO", "null", 0);
    return true;
}();

} // namespace
