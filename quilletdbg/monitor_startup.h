// From the command line to a running capture loop.
#pragma once

// Reads the options, prints the banner, takes the single-instance mutex and the channel and
// runs the capture loop. Returns only on the "-help" path; every other end goes through the
// console control handler or an initialisation failure.
int run_monitor(int argc, wchar_t** argv);
