#include "documents/user_data.h"

#include <algorithm>

#include "platform/text.h"

void ParseUserData(std::string_view user_data, ServerParams* params) {
  user_data = user_data.substr(0, kUserDataCapacity - 1);
  params->port = ParseLeadingInteger(user_data);
  std::string scheme;
  std::string* fields[] = {&params->url, &params->login, &params->password, &scheme};
  for (std::string* field : fields) field->clear();

  std::size_t bar = user_data.find('|');
  for (std::string* field : fields) {
    if (bar == std::string_view::npos) break;
    const std::size_t next = user_data.find('|', bar + 1);
    field->assign(user_data.substr(bar + 1, next == std::string_view::npos ? std::string_view::npos : next - bar - 1));
    bar = next;
  }
  params->scheme = SchemeFromText(scheme);
}

std::string FormatUserData(std::int32_t port, std::string_view url, std::string_view login,
                           std::string_view password, HttpScheme scheme) {
  std::string_view fields[] = {url, login, password};
  std::string text = std::to_string(port);
  if (scheme == HttpScheme::kHttps) {
    // Cut from the end, as a four-field string is, but keep every bar: the scheme must stay
    // the fifth field. "|https" and three bars are always kept.
    const std::string_view suffix = "|https";
    const std::size_t room = kUserDataCapacity - 1 - text.size() - 3 - suffix.size();
    std::size_t length = url.size() + login.size() + password.size();
    for (std::size_t i = 3; i-- > 0 && length > room;) {
      const std::size_t cut = std::min(length - room, fields[i].size());
      fields[i].remove_suffix(cut);
      length -= cut;
    }
    for (std::string_view field : fields) {
      text += '|';
      text += field;
    }
    return text + std::string(suffix);
  }
  for (std::string_view field : fields) {
    text += '|';
    text += field;
  }
  if (text.size() > kUserDataCapacity - 1) text.resize(kUserDataCapacity - 1);
  return text;
}
