// The info panel's lines: where the camera is, what the frame draws and costs, which modes
// are on, and what the colours mean. Built without any window; the renderer draws the lines.
#pragma once

#include <string>
#include <vector>

#include "walk/Statistics.h"
#include "walk/WalkthroughView.h"

namespace vantrell {

class Walkthrough;

struct PanelLine {
    std::string text;
    bool hasSwatch = false;  // a square of swatch drawn before the text
    Colour swatch;
};

// Fills lines (replacing what they held) for the frame that lists describes. Positions and
// directions are in world units with two decimals; times in milliseconds.
void describeFrame(const Walkthrough& walkthrough, const WalkthroughView& view, const FrameLists& lists,
                   const FrameTimes::Summary& times, std::vector<PanelLine>& lines);

}  // namespace vantrell
