#include "documents/user_data.h"

#include <climits>

std::int32_t ParseLeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<std::int32_t>(value);
}

void ParseUserData(std::string_view user_data, ServerParams* params) {
  user_data = user_data.substr(0, kUserDataCapacity - 1);
  params->port = ParseLeadingInteger(user_data);
  std::string* fields[] = {&params->url, &params->login, &params->password};
  for (std::string* field : fields) field->clear();

  std::size_t bar = user_data.find('|');
  for (std::string* field : fields) {
    if (bar == std::string_view::npos) break;
    const std::size_t next = user_data.find('|', bar + 1);
    field->assign(user_data.substr(bar + 1, next == std::string_view::npos ? std::string_view::npos : next - bar - 1));
    bar = next;
  }
}

std::string FormatUserData(std::int32_t port, std::string_view url, std::string_view login,
                           std::string_view password) {
  std::string text = std::to_string(port);
  for (std::string_view field : {url, login, password}) {
    text += '|';
    text += field;
  }
  if (text.size() > kUserDataCapacity - 1) text.resize(kUserDataCapacity - 1);
  return text;
}
