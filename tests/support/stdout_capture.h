// Catches what this process prints to standard output (through the C runtime) in a file.
#pragma once

#include <string>

void stdout_capture_begin();
// Ends the capture and returns the bytes printed since the begin.
std::string stdout_capture_end();
