// Every failure and notice of the program is a catalogue entry: a code such as "1014h" and
// the whole message as printed, with '#' placeholders. A failing step raises the filled
// message as a plain std::string; only the entry point catches it, and the exit code is read
// back out of the text, so the code is never carried as a separate value.
#pragma once

#include <map>
#include <string>
#include <vector>

using ErrorCatalogue = std::map<std::string, std::string>;

// The process-wide catalogue.
ErrorCatalogue& errorCatalogue();

// The entries present from program start.
ErrorCatalogue startErrorCatalogue();

// The entries the start-up set-up merges in through ERRORCODES.
ErrorCatalogue runTimeErrorCodes();

// Puts the catalogue back as the start-up set-up leaves it, with the entries of ERRORCODES
// merged in but without marking that setting as set (for tests).
void resetErrorCatalogue();

// The template of `code` with its placeholders filled left to right by `arguments` (text an
// argument brings in is never searched again). A wrong argument count raises "1003h" instead;
// a code missing from the catalogue, a programming fault, raises "1017h".
std::string formatError(const std::string& code, const std::vector<std::string>& arguments = {});

// Throws formatError(code, arguments).
[[noreturn]] void raiseError(const std::string& code,
                             const std::vector<std::string>& arguments = {});
