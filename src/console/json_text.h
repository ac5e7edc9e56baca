// The little JSON the installer's run records and the kit tool hold, built as text. Texts of a
// Kitbox or a tool's output are bytes of no known encoding; a JSON reader needs UTF-8, so
// well-formed UTF-8 passes unchanged and every other byte from 0x80 on is written as the code
// point of the same value (\u0080 to \u00ff, as if the text were Latin-1). Nothing is lost: each
// such escape stands for exactly one byte.
#pragma once

#include <string>
#include <vector>

// A JSON string literal, quotes included.
std::string jsonString(const std::string& text);

// A JSON string literal, or null for an empty text.
std::string jsonStringOrNull(const std::string& text);

// A number, or null for a value below 1 (the kit tool's "no line").
std::string jsonLineOrNull(int line);

// An object from "name": value pairs whose values are JSON text already.
std::string jsonObject(const std::vector<std::pair<std::string, std::string>>& members);

// An array of JSON texts.
std::string jsonArray(const std::vector<std::string>& items);
