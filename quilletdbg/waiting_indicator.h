// The row of dots, one a second, until the first message arrives.
#pragma once

#include <windows.h>

// 0 until the capture loop receives its first message, then 1.
extern volatile LONG first_message_arrived;

// Starts a new indicator thread (the handle of the previous one is given back).
void start_waiting_indicator();
