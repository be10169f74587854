// UTF-16 text of the channel plan turned into UTF-8, for the channel file and
// for the messages that quote it.
#pragma once

#include <string>

#include "platform/PlatformTypes.h"

using ChannelString = std::basic_string<WideChar>;

// Appends `length` units of `text` as UTF-8. An unpaired surrogate becomes
// U+FFFD (the plan's own names never hold one).
void AppendUtf8(std::string* out, const WideChar* text, size_t length);
// `text` as UTF-8, by the same rule.
std::string Utf8Of(const ChannelString& text);

// `text` in double quotes for an error message: at most 40 characters (then
// "..."), control characters shown as '?', so a message never carries
// terminal controls from a file.
std::string QuoteForMessage(const ChannelString& text);
