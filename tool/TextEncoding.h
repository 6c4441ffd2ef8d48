#pragma once
// Texts from the module, the meter and the table files are bytes of no declared
// encoding. What the tool writes into its records is UTF-8: a text that already is
// valid UTF-8 stays as it is, any other is read as Latin-1 (the encoding of the
// technicians' table files) and converted, so no byte is lost or replaced.
#include <string>
#include <string_view>

namespace tool {

bool IsValidUtf8(std::string_view text);

// text unchanged when it is valid UTF-8, else every byte taken as a Latin-1 character.
std::string ToUtf8(std::string_view text);

// ToUtf8(text) made safe inside HTML text and attribute values: & < > " ' become
// character references; control bytes other than tab, CR and LF become their visible
// pictures (STX as U+2402), as a text parser never shows them.
std::string HtmlEscape(std::string_view text);

} // namespace tool
