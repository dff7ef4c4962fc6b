#include "ui/dialog_view.h"

#include <algorithm>

namespace {

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const std::size_t length = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < length; ++i) {
    auto fold = [](char c) {
      const unsigned char u = static_cast<unsigned char>(c);
      return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
    };
    const unsigned int ca = fold(a[i]);
    const unsigned int cb = fold(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// a * b / c rounded to the nearest integer, halves away from zero.
int MultiplyDivide(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

std::size_t ListSortPosition(const std::vector<std::string>& labels, std::string_view label) {
  std::size_t position = 0;
  while (position < labels.size() && CompareIgnoringCase(labels[position], label) <= 0) ++position;
  return position;
}

DialogBaseUnits BaseUnitsOfFont(int alphabet_width, int font_height) {
  return {(alphabet_width / 26 + 1) / 2, font_height};
}

DialogRect MapDialogRect(const DialogRect& rect, DialogBaseUnits units) {
  return {MultiplyDivide(rect.x, units.x, 4), MultiplyDivide(rect.y, units.y, 8),
          MultiplyDivide(rect.width, units.x, 4), MultiplyDivide(rect.height, units.y, 8)};
}

DialogRect FitCaption(const std::vector<PlacedControl>& controls, std::size_t caption, int text_width,
                      int dialog_width, int gap, int frame_margin) {
  DialogRect place = controls[caption].rect;
  if (text_width <= place.width) return place;
  const bool grows_left = controls[caption].kind == ControlKind::kRightText;
  const int left = place.x;
  const int right = place.x + place.width;  // one past the last pixel
  int limit = grows_left ? gap : dialog_width - gap;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (i == caption) continue;
    const DialogRect& area = controls[i].rect;
    if (controls[i].kind == ControlKind::kGroupBox) {
      const bool frames = area.x <= left && right <= area.x + area.width && area.y <= place.y &&
                          place.y + place.height <= area.y + area.height;
      if (!frames) continue;
      limit = grows_left ? std::max(limit, area.x + frame_margin) : std::min(limit, area.x + area.width - frame_margin);
      continue;
    }
    const bool same_line = area.y < place.y + place.height && place.y < area.y + area.height;
    if (!same_line) continue;
    if (grows_left && area.x + area.width <= left) limit = std::max(limit, area.x + area.width + gap);
    if (!grows_left && area.x >= right) limit = std::min(limit, area.x - gap);
  }
  if (grows_left) {
    const int new_left = std::max(limit, right - text_width);
    if (new_left < left) {
      place.x = new_left;
      place.width = right - new_left;
    }
  } else {
    const int new_right = std::min(limit, left + text_width);
    if (new_right > right) place.width = new_right - left;
  }
  return place;
}
