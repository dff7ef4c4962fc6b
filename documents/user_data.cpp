#include "documents/user_data.h"

#include "platform/text.h"

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
