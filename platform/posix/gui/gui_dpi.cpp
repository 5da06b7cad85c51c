// Display DPI: an explicit override for tests, the environment, the desktop's
// X resource, else the Windows default of 96.
#include <atomic>
#include <cstdlib>

#include "platform/gui.h"

namespace {
std::atomic<int> g_dpiOverride{0};
std::atomic<int> g_desktopDpi{0};  // read by the display backend at start
}  // namespace

void SetDesktopDpi(int dpi) {
    g_desktopDpi.store(dpi > 0 ? dpi : 0);
}

void SetGuiDpiOverride(int dpi) {
    g_dpiOverride.store(dpi > 0 ? dpi : 0);
}

int GetDisplayDpi() {
    int dpi = g_dpiOverride.load();
    if (dpi > 0)
        return dpi;
    if (const char* env = std::getenv("KORVEL_DPI")) {
        int value = std::atoi(env);
        if (value > 0)
            return value;
    }
    dpi = g_desktopDpi.load();
    return dpi > 0 ? dpi : 96;
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    // Windows rounds half away from zero on the 64-bit product.
    int64_t product = static_cast<int64_t>(number) * numerator;
    int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
    int64_t result = ((product < 0) != (denominator < 0)) ? (product - half) / denominator
                                                          : (product + half) / denominator;
    if (result > INT32_MAX || result < INT32_MIN)
        return -1;
    return static_cast<int>(result);
}
