// Messages for the host's buffers: the library's string-table messages (10001 to 10008,
// formatted with nine text parameters) and the catalogue's numbered messages. Both are filled
// from message arguments (platform/catalogue.h) by the same placeholder rules.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/catalogue.h"

// A parameter of a string-table message is a message argument like any other.
using CStringParam = MessageArgument;

// The longest text a formatted string-table message keeps.
inline constexpr int kTableMessageCapacity = 1024;

// Formats string-table message `id` into `*target` with up to nine parameters (the missing
// ones empty), cut to 1023 characters. Returns false, leaving `*target` as it was, when the
// table has no message `id`.
bool FormatTableMessage(std::string* target, int id, std::initializer_list<CStringParam> parameters = {});

// Writes catalogue message `id` filled with `arguments` into the host's `buffer` of `size`
// bytes: at most size - 1 characters, always terminated; nothing for a size below 1. When the
// catalogue has no text for `id`, the buffer receives a line naming the message and its
// arguments, so the failure is never silent.
void CopyCatalogueMessage(char* buffer, int size, std::int32_t id, MessageArguments arguments);
void CopyCatalogueMessage(char* buffer, int size, std::int32_t id, std::initializer_list<MessageArgument> arguments);
