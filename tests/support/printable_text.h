// Bytes shown readably in test and fuzz reports.
#pragma once

#include <string>
#include <string_view>

// The text with every byte outside printable ASCII, and the backslash, written as \xNN.
std::string printable(std::string_view text);
