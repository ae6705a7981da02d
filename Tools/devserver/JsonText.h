#pragma once

#include <map>
#include <string>

// Reads a JSON object whose member values are all strings, e.g. the key ->
// launch parameter mapping of the auto-login service. Escapes, \uXXXX and
// surrogate pairs become UTF-8. A later duplicate key replaces an earlier one.
// False with an error naming the byte offset on anything else.
bool ParseStringObject(const std::string& text, std::map<std::string, std::string>& members,
                       std::string& error);

// The text as a JSON string literal, quotes included. Non-ASCII stays UTF-8.
std::string JsonQuote(const std::string& text);
