#pragma once

#include <string>

// Decodes \r \n \t \\ \0 and \xHH; any other backslash is kept as it is.
std::string decodeEscapes(const std::string& text);
