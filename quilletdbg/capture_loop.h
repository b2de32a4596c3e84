// Receives the messages of every process and prints them, until the process ends.
#pragma once

// Hands the channel's buffer to one sender after another and prints each message with the
// sender's executable name and ID. A fault inside restarts it; it never returns.
[[noreturn]] void capture_loop();
