// "-queue": the capture loop hands the buffer back as soon as a message is logged, and a
// display thread paints the console from a queue, in the channel's order.
#pragma once

#include <windows.h>

#include "console_batch.h"

// Whether "-queue" (or "-q") asked for the queue.
extern bool message_queue_on;

// The room one message may need in the queue.
const int QUEUED_MESSAGE_MAX = 16384;

// Sets the queue up and starts the display thread, once; false when the queue's memory
// cannot be had (then the capture loop paints the console itself).
bool start_display();

// Waits until the queue has room for another message: with a full queue the capture waits
// for the console, and nothing is dropped. For the capture thread, outside the output lock.
void wait_for_queue_room();

// Copies the message into the queue (after wait_for_queue_room) and wakes the display.
void queue_message(const ShownMessage& message);

// For the control handler, with the output lock held: paints what is still queued until 3 s
// after start_tick, then prints how many queued messages the console did not get. Does
// nothing when no queue was started.
void finish_display(DWORD start_tick);
