// The title line as the main window sets it (DirectWrite, "Georgia" 48,
// centred, in the band from a sixth to a third of the height), drawn here in
// white on black, to compare with what the screen shows.
#pragma once

#include "desktop_driver.h"

#include <string>
#include <vector>

// Which pixels of a width x height client area the text covers.
std::vector<bool> title_mask(const std::wstring &text, int width, int height);
// Which pixels of a capture are white (the title drawn on the window).
std::vector<bool> white_pixels(const driver::Capture &capture);
// Intersection over union of two masks.
double overlap(const std::vector<bool> &a, const std::vector<bool> &b);
