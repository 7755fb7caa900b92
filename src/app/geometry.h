#pragma once

namespace velmora {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Top-left corner that centres a window on the desktop's work area; the halving truncates
// towards zero, so a window larger than the work area overhangs equally on both sides.
inline ScreenRect CenterOnWorkArea(const ScreenRect& workArea, const ScreenRect& window) {
    ScreenRect placed = window;
    placed.left = workArea.left + (workArea.width - window.width) / 2;
    placed.top = workArea.top + (workArea.height - window.height) / 2;
    return placed;
}

}  // namespace velmora
