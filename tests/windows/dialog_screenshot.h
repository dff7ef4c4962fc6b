// Screenshots of windows for the dialog tests: what the display shows inside a window's frame,
// written as a PNG file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// An RGB picture, rows top to bottom, three bytes a pixel.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// What the display shows of `window`, its frame and caption included, after the window has
// painted everything it had to paint. Empty when it cannot be read.
Picture CaptureWindow(HWND window);

// Writes `picture` as a PNG file (8-bit RGB, stored without compression). False on failure.
bool WritePng(const std::string& path, const Picture& picture);
