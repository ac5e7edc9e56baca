#pragma once

#include <string>
#include <vector>

// Succeeds silently when folder + fileName can be opened for reading; raises "1002h" with the
// file name and the folder otherwise. The folder is joined by plain concatenation, so it must
// end in a backslash; an empty folder means the working folder and is reported as ".\".
void checkFileExists(std::string folder, const std::string& fileName);

// The lines of a text file, split at line feeds (a carriage return before a line feed is
// dropped; a last line without a line feed still counts). Raises "1001h" with the name when
// the file cannot be opened.
std::vector<std::string> readFileLines(const std::string& fileName);
