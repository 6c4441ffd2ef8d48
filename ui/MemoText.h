#pragma once
// The monitor memo's text as its editor holds it. The model keeps the window
// system's line breaks (CR LF); the editor has one character per line break. These
// map texts and caret positions between the two.
#include <QString>

#include <string>

namespace ui {

// The model's text for the editor: CR LF, or a lone CR, becomes one line break.
QString MemoDisplay(const std::string& text);
// The editor's position of the model's byte position, and back.
int DisplayPos(const std::string& text, size_t pos);
size_t ModelPos(const std::string& text, int displayPos);
// The editor's raw text (line breaks, or U+2029 between paragraphs) in the model's
// form: CR LF line breaks, Latin-1 bytes, '?' for a character outside Latin-1.
std::string FromDisplay(const QString& text);

} // namespace ui
