#include "tests/windows/dialog_screenshot.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0xFFFFFFFFu) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> built{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = (value & 1) != 0 ? 0xEDB88320u ^ (value >> 1) : value >> 1;
      built[i] = value;
    }
    return built;
  }();
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

void PutBigEndian(std::vector<std::uint8_t>* out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<std::uint8_t>(value >> shift));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> ZlibStored(const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out = {0x78, 0x01};
  std::size_t position = 0;
  do {
    const std::size_t length = std::min<std::size_t>(65535, data.size() - position);
    out.push_back(position + length == data.size() ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(length & 0xFF));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(~length & 0xFF));
    out.push_back(static_cast<std::uint8_t>((~length >> 8) & 0xFF));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(position),
               data.begin() + static_cast<std::ptrdiff_t>(position + length));
    position += length;
  } while (position < data.size());
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (const std::uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(&out, (b << 16) | a);
  return out;
}

void PutChunk(std::vector<std::uint8_t>* file, const char (&type)[5], const std::vector<std::uint8_t>& data) {
  PutBigEndian(file, static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  file->insert(file->end(), typed.begin(), typed.end());
  PutBigEndian(file, Crc32(typed.data(), typed.size()) ^ 0xFFFFFFFFu);
}

}  // namespace

namespace {

Picture ReadDisplay(HWND window) {
  Picture picture;
  RECT frame{};
  if (!GetWindowRect(window, &frame)) return picture;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) return picture;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY)) {
      GdiFlush();
      picture.width = width;
      picture.height = height;
      picture.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
      const auto* bgrx = static_cast<const std::uint8_t*>(bits);
      for (std::size_t i = 0; i < static_cast<std::size_t>(width) * static_cast<std::size_t>(height); ++i) {
        picture.rgb[i * 3] = bgrx[i * 4 + 2];
        picture.rgb[i * 3 + 1] = bgrx[i * 4 + 1];
        picture.rgb[i * 3 + 2] = bgrx[i * 4];
      }
    }
    SelectObject(memory, previous);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return picture;
}

}  // namespace

Picture CaptureWindow(HWND window) {
  // The window's thread paints on its own time: read the display until two readings agree.
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Picture last = ReadDisplay(window);
  for (int reading = 0; reading < 100; ++reading) {
    Sleep(50);
    Picture next = ReadDisplay(window);
    if (next.width == last.width && next.height == last.height && next.rgb == last.rgb) return next;
    last = std::move(next);
  }
  return last;
}

bool WritePng(const std::string& path, const Picture& picture) {
  if (picture.width <= 0 || picture.height <= 0) return false;
  const std::size_t row = static_cast<std::size_t>(picture.width) * 3;
  std::vector<std::uint8_t> filtered;
  filtered.reserve((row + 1) * static_cast<std::size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    filtered.push_back(0);  // no filter
    const auto first = picture.rgb.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(y));
    filtered.insert(filtered.end(), first, first + static_cast<std::ptrdiff_t>(row));
  }
  std::vector<std::uint8_t> file = {137, 80, 78, 71, 13, 10, 26, 10};
  std::vector<std::uint8_t> header;
  PutBigEndian(&header, static_cast<std::uint32_t>(picture.width));
  PutBigEndian(&header, static_cast<std::uint32_t>(picture.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
  PutChunk(&file, "IHDR", header);
  PutChunk(&file, "IDAT", ZlibStored(filtered));
  PutChunk(&file, "IEND", {});
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}
