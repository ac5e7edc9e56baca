#pragma once

#include "sim_tool.h"

// The three simulated tools: their scenario files, values and named outputs.
//
// wmic, sim-wmic.txt
//   keys        bios (N01 Ver. 1.05.2); {column} holds the whole padded column, {header-line} its
//               first line
//   behaviours  default, empty, error (WMI refuses the query), garbage (UTF-16 with NULs),
//               hang (the header line, then a day's wait)
//
// FwUpdLcl64, sim-fwupdlcl.txt, sections [-fwver] and [-f]
//   keys        fwver (11.8.50.3399), tool-version (11.8.50.3425)
//   any run     banner, checking, empty, error-8193, error-no-number; default for any other
//               command line is a usage text and error 8204
//   -fwver      default, many-colons, no-colon, platform (everything before the version line)
//   -f          default, error-8703, error-348, error-8716, crash (after 40 % of the update),
//               huge (about 10 MB), lf-only, binary, missing-image; pieces preamble,
//               verification, update, done. missing-image is also what the tool prints,
//               whatever the scenario, when the image after -f cannot be opened.
//
// MEInfoWin64, sim-meinfo.txt
//   keys        meinfo (11.8.50.3425), mebx (11.0.0.0012), lms (11.8.50.3434),
//               mei (11.7.0.1045), pmc (300.2.11.1014), fwver (11.8.50.3399)
//   behaviours  default, mebx-colon, two-lms (a later LMS line with 11.0.0.1157), none,
//               empty; pieces banner, host-software, firmware, mebx, capabilities
const ToolTable& wmicTable();
const ToolTable& fwUpdLclTable();
const ToolTable& meInfoTable();
