#include "ui/dialog_view.h"

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
