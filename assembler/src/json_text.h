// JSON strings written by hand, for the messages that are too large to be
// built as objects first: the language server's diagnostics and the web
// page's results.
#pragma once

#include <string>
#include <string_view>

namespace quellmark {

// Appends `text` as a JSON string; a byte that is no part of a whole UTF-8
// sequence (a piece of 99 bytes may cut one) becomes U+FFFD.
void appendJsonString(std::string_view text, std::string& out);

}  // namespace quellmark
