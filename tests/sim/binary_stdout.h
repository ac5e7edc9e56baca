#pragma once

// Makes standard output pass bytes unchanged, so a simulated tool prints exactly what a test
// scripted (Windows' runtime would otherwise turn each line feed into CR LF).
void makeStdoutBinary();
