// "-queue": the capture loop hands the buffer back as soon as a message is logged, and a
// display thread paints the console from a queue, in the channel's order.
#pragma once

#include <windows.h>

#include "console_batch.h"

// Whether "-queue" (or "-q") asked for the queue.
extern bool message_queue_on;

// The room one message may need in the queue.
const int QUEUED_MESSAGE_MAX = 16384;

// Prints a notice about subject (a path, a text) and a system error code, through the print
// routine, with the console and output locks held.
typedef void (*NoticePrinter)(const wchar_t* subject, DWORD code);

// Sets the queue up and starts the display thread, once; false when the queue's memory
// cannot be had (then the capture loop paints the console itself).
bool start_display();

// Whether the display thread paints the console.
bool display_running();

// Waits until the queue has room for another message: with a full queue the capture waits
// for the console, and nothing is dropped. For the capture thread, outside the output lock.
void wait_for_queue_room();

// Copies the message into the queue (after wait_for_queue_room) and wakes the display.
void queue_message(const ShownMessage& message);

// A notice of the capture thread: the display prints it in its turn, so that the capture
// never waits for the console. Dropped when the queue has no room.
void queue_notice(NoticePrinter print, const wchar_t* subject, DWORD code);

// A notice of the capture thread, which holds the output lock (and, without the display, the
// console lock): printed now, or handed to the display while it paints the console.
void raise_notice(NoticePrinter print, const wchar_t* subject, DWORD code);

// For the control handler: lets the display paint what is queued until the tick count
// deadline, takes the console from it, and prints how many queued messages the console did
// not get. Does nothing when no queue was started.
void finish_display(DWORD deadline);
