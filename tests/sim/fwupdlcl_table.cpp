#include "tool_tables.h"

// The update tool answers two runs: "-fwver" (its banner and the installed firmware version)
// and "-f IMAGE [-allowsv]" (the update, with progress redrawn after carriage returns). The
// named outputs are built from a few shared pieces: banner, checking, verification, update and
// done.
const ToolTable& fwUpdLclTable() {
  static const ToolTable table{
      "FwUpdLcl64",
      "sim-fwupdlcl.txt",
      {{"fwver", "11.8.50.3399"}, {"tool-version", "11.8.50.3425"}},
      {
          // Pieces, and what every run can be asked for.
          {"", "banner", R"(out \r\nIntel (R) Firmware Update Utility Version: {tool-version}\r\n
out Copyright (C) 2007 - 2017, Intel Corporation.  All rights reserved.\r\n\r\n)"},
          {"", "checking", R"(behaviour banner
out Checking firmware parameters...\r\n\r\n)"},
          {"", "empty", ""},
          {"", "error-8193", R"(behaviour banner
out Error 8193: Unable to reach the firmware through the Intel (R) MEI driver.\r\n
out The driver may be missing or disabled, or another program may be using it.\r\n
out Check the driver and run this tool as an administrator.\r\n\r\n
exit 1)"},
          {"", "error-no-number", R"(behaviour checking
out Error : Internal error while talking to the firmware.\r\n\r\n
exit 1)"},
          // Any other command line.
          {"", "default", R"(behaviour banner
out Usage: FwUpdLcl64 [-fwver] [-f <image file> [-allowsv]]\r\n\r\n
out Error 8204: Invalid command line option.\r\n\r\n
exit 1)"},

          // The version query.
          {"-fwver", "platform", R"(behaviour checking
out Platform: Client PCH, Consumer SKU\r\n)"},
          {"-fwver", "default", R"(behaviour platform
out FW Version: {fwver}\r\n\r\n)"},
          {"-fwver", "many-colons", R"(behaviour platform
out FW Version::: {fwver}\r\n\r\n)"},
          {"-fwver", "no-colon", R"(behaviour platform
out FW Version {fwver}\r\n\r\n)"},

          // The update.
          {"-f", "preamble", R"(behaviour checking
out Warning: Do not exit the process or power off the machine before the firmware update\r\n
out process ends.\r\n\r\n)"},
          {"-f", "verification",
           R"(count 0 100 Sending the update image to FW for verification:  [ {n3} % ]\r
out Sending the update image to FW for verification:  [ COMPLETE ]\r\n\r\n)"},
          {"-f", "update", "count 0 100 FW Update:  [ {n3}% ({spin})]\\r"},
          {"-f", "done", R"(out \r\n\r\nFW Update is completed successfully.\r\n
out Restart the system to start the new firmware.\r\n\r\n)"},
          {"-f", "default", R"(behaviour preamble
behaviour verification
behaviour update
behaviour done)"},
          {"-f", "error-8703", R"(behaviour checking
out Error 8703: This image has already been applied; restart the system to finish.\r\n\r\n
exit 1)"},
          {"-f", "error-348", R"(behaviour checking
out Error 348: An update is waiting for a restart of the system.\r\n\r\n
exit 1)"},
          {"-f", "error-8716", R"(behaviour preamble
count 0 30 Sending the update image to FW for verification:  [ {n3} % ]\r
out \r\n\r\nError 8716: The image does not fit this platform.\r\n\r\n
exit 1)"},
          {"-f", "crash", R"(behaviour preamble
behaviour verification
count 0 40 FW Update:  [ {n3}% ({spin})]\r
kill)"},
          // About 10 MB: the spinner turns at 50 % for a long while.
          {"-f", "huge",
           R"(behaviour preamble
behaviour verification
count 0 49 FW Update:  [ {n3}% ({spin})]\r
)"
           R"(repeat 100000 FW Update:  [  50% (|)]\rFW Update:  [  50% (/)]\r)"
           R"(FW Update:  [  50% (-)]\rFW Update:  [  50% (\\)]\r
count 50 100 FW Update:  [ {n3}% ({spin})]\r
behaviour done)"},
          {"-f", "lf-only", R"(out \nIntel (R) Firmware Update Utility Version: {tool-version}\n
out Copyright (C) 2007 - 2017, Intel Corporation.  All rights reserved.\n\n
out Checking firmware parameters...\n\n
count 0 100 Sending the update image to FW for verification:  [ {n3} % ]\n
out Sending the update image to FW for verification:  [ COMPLETE ]\n\n
count 0 100 FW Update:  [ {n3}% ({spin})]\n
out \n\nFW Update is completed successfully.\n\n)"},
          {"-f", "binary", R"(behaviour preamble
out \x00\x01\x02\x03 \xff\xfe\xfd\x80\x7f\x00\x00\x1b[0m\r\n
behaviour verification
out \x00\r\n
behaviour update
behaviour done)"},
          // What the real tool says when the image given after -f cannot be opened.
          {"-f", "missing-image", R"(behaviour banner
out Error 8199: Unable to open the update image file.\r\n\r\n
exit 1)"},
      },
      nullptr};
  return table;
}
