#include "tool_tables.h"

// MEInfoWin64 -verbose prints a long report in sections. The installer looks only for the
// MEBx, LMS, MEI driver, MEInfo and PMC versions in it; the Capabilities section holds a line
// longer than the 127 characters the installer reads at once.
const ToolTable& meInfoTable() {
  static const ToolTable table{
      "MEInfoWin64",
      "sim-meinfo.txt",
      {
          {"meinfo", "11.8.50.3425"},
          {"mebx", "11.0.0.0012"},
          {"lms", "11.8.50.3434"},
          {"mei", "11.7.0.1045"},
          {"pmc", "300.2.11.1014"},
          {"fwver", "11.8.50.3399"},
      },
      {
          // Pieces of the report.
          {"", "banner", R"(out \r\nIntel(R) MEInfo Version: {meinfo}\r\n
out Copyright(C) 2005 - 2017, Intel Corporation. All rights reserved.\r\n\r\n)"},
          {"", "host-software", R"(out Host software\r\n
out     MEI Driver Version                   {mei}\r\n
out     MEI Driver Location                  C:\\Windows\\System32\\drivers\\TeeDriverW8x64.sys\r\n
out     LMS Version                          {lms}\r\n
out     LMS Service State                    Running\r\n\r\n)"},
          {"", "firmware", R"(out Firmware\r\n
out     FW Version                           {fwver} H Consumer\r\n
out     PMC Version                          {pmc}\r\n
out     FW Capabilities                      0x31111140\r\n
out     Last ME reset reason                 Global system reset\r\n)"},
          {"", "mebx", "out     MEBx Version                         {mebx}\\r\\n\\r\\n"},
          {"", "capabilities", R"(out Capabilities\r\n
out     Enabled Features                     Intel(R) Active Management Technology, Intel(R)
out  Standard Manageability, Protect Audio Video Path, Intel(R) Dynamic Application Loader,
out  Intel(R) Platform Trust Technology, Intel(R) Capability Licensing Service\r\n
out     Cryptography Support                 Enabled\r\n
out     End of Manufacturing                 Yes\r\n\r\n)"},

          {"", "default", R"(behaviour banner
behaviour host-software
behaviour firmware
behaviour mebx
behaviour capabilities)"},
          {"", "mebx-colon", R"(behaviour banner
behaviour host-software
behaviour firmware
out     MEBx Version:                        {mebx}\r\n\r\n
behaviour capabilities)"},
          // A leftover older LMS is listed after the current one; the later line counts.
          {"", "two-lms", R"(behaviour default
out Previously installed software\r\n
out     LMS Version                          11.0.0.1157\r\n\r\n)"},
          // The tool failed before it could say anything about the machine.
          {"", "none", R"(out \r\nIntel(R) MEInfo\r\n
out Error 9460: The Management Engine interface did not answer.\r\n\r\n
exit 1)"},
          {"", "empty", ""},
      },
      nullptr};
  return table;
}
