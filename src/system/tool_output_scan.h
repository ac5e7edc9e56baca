// The scanners of what the system's tools print: wmic, Intel's update and MEInfo tools, and
// the INF files of the driver walk. The expressions of the shape ".*<phrase> *([0-9\.]*).*"
// and ".*<word>.*" (tool and MEInfo versions, SOL and DAL drivers) are read by
// matchPhraseValue and matchLineWith (system/text_scan.h).
#pragma once

#include <string>

#include "system/text_scan.h"

// "[\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*": the last place in the whole text
// where a letter, two digits and a blank begin, with the letters, digits, dots and blanks
// after them.
std::optional<TextMatch> matchBiosVersion(std::string_view text);

// The BIOS version as the expression above finds it, in the text's own letter case.
std::optional<std::string> findBiosVersion(std::string_view text);

// "[ \t]*FW Version[\:]*[ \t]*([0-9\.]+)[ \t]*"
std::optional<TextMatch> matchFirmwareVersion(std::string_view output);

// "Error ([0-9]*): ([.\s\S]*)": group 2 runs to the end of the whole text.
std::optional<TextMatch> matchToolError(std::string_view output);

// ".*DriverVer.*=.*,([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*).*": the four dotted digit runs after the
// last comma that has an equals sign before it and "DriverVer" before that, on the first line
// that has one.
std::optional<TextMatch> matchDriverVersion(std::string_view line);
