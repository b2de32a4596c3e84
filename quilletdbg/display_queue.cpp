#include "display_queue.h"

#include <stdio.h>
#include <string.h>

#include "monitor_log.h"
#include "monitor_output.h"

bool message_queue_on = false;

namespace {

// About 64 MiB of messages; a burst beyond that makes the capture wait for the console.
const size_t QUEUE_BYTES = 64u << 20;
// Messages painted at once; the display frees their room only after painting them.
const int BATCH_MESSAGES = 1024;
const DWORD FINISH_MS = 3000;
const DWORD RETRY_MS = 1;

// One message in the ring, followed by the name (wide) and the bytes. A size of 0 marks the
// unused end of the ring: the next record is at its start.
struct Record {
    unsigned size;
    int prefix_end;
    int name_end;
    int id_end;
    int separator_end;
    int length;
    int name_length;
};

// A ring of records: the capture writes at tail, the display reads from head; the lock
// guards the three counters, never the painting.
struct MessageQueue {
    char* bytes;
    size_t head;
    size_t tail;
    int count;
    CRITICAL_SECTION lock;
    HANDLE filled;    // set when a message comes while the display waits
    HANDLE room_made; // set when room is made while the capture waits
    bool display_waits;
    bool capture_waits;
};

MessageQueue queue = {};
bool queue_started = false;

// Who paints the console: the display thread, until the control handler takes it over for
// good. A word like the output lock, so that the handler can give up after its time.
volatile LONG painter_thread = 0;
ShownMessage batch[BATCH_MESSAGES];

size_t aligned(size_t size)
{
    return (size + 7) & ~static_cast<size_t>(7);
}

// Where a record of size bytes can go, or false; under the lock.
bool place_for(size_t size, size_t& at)
{
    if (queue.count == 0)
        queue.head = queue.tail = 0;
    if (queue.tail > queue.head || queue.count == 0) {
        if (QUEUE_BYTES - queue.tail >= size) {
            at = queue.tail;
            return true;
        }
        at = 0;
        return queue.head >= size;
    }
    at = queue.tail;
    return queue.tail < queue.head && queue.head - queue.tail >= size;
}

// The record at offset, past the unused end of the ring.
size_t record_at(size_t offset)
{
    if (offset + sizeof(Record) > QUEUE_BYTES || reinterpret_cast<Record*>(queue.bytes + offset)->size == 0)
        return 0;
    return offset;
}

// Points batch at up to BATCH_MESSAGES queued messages; returns their count and where the
// next one starts.
int collect_batch(size_t& next)
{
    EnterCriticalSection(&queue.lock);
    int count = queue.count < BATCH_MESSAGES ? queue.count : BATCH_MESSAGES;
    size_t offset = queue.head;
    LeaveCriticalSection(&queue.lock);
    for (int i = 0; i < count; ++i) {
        offset = record_at(offset);
        const Record& record = *reinterpret_cast<const Record*>(queue.bytes + offset);
        const char* name = queue.bytes + offset + sizeof(Record);
        ShownMessage& m = batch[i];
        m.name = reinterpret_cast<const wchar_t*>(name);
        m.name_length = record.name_length;
        m.bytes = name + record.name_length * sizeof(wchar_t);
        m.prefix_end = record.prefix_end;
        m.name_end = record.name_end;
        m.id_end = record.id_end;
        m.separator_end = record.separator_end;
        m.length = record.length;
        offset += record.size;
    }
    next = offset;
    return count;
}

void release_batch(int count, size_t next)
{
    EnterCriticalSection(&queue.lock);
    queue.head = next;
    queue.count -= count;
    bool wake = queue.capture_waits;
    queue.capture_waits = false;
    LeaveCriticalSection(&queue.lock);
    if (wake)
        SetEvent(queue.room_made);
}

// Paints one batch; false when the queue was empty.
bool paint_batch()
{
    size_t next = 0;
    int count = collect_batch(next);
    if (count == 0)
        return false;
    paint_messages(batch, count);
    release_batch(count, next);
    return true;
}

bool take_painting(DWORD id)
{
    return InterlockedCompareExchange(&painter_thread, static_cast<LONG>(id), 0) == 0;
}

void wait_for_messages()
{
    EnterCriticalSection(&queue.lock);
    bool empty = queue.count == 0;
    queue.display_waits = empty;
    LeaveCriticalSection(&queue.lock);
    if (empty)
        WaitForSingleObject(queue.filled, INFINITE);
}

DWORD WINAPI display_thread(void*)
{
    DWORD id = GetCurrentThreadId();
    for (;;) {
        wait_for_messages();
        while (!take_painting(id))
            Sleep(RETRY_MS);
        while (paint_batch()) {
        }
        InterlockedCompareExchange(&painter_thread, 0, static_cast<LONG>(id));
    }
}

int queued_count()
{
    EnterCriticalSection(&queue.lock);
    int count = queue.count;
    LeaveCriticalSection(&queue.lock);
    return count;
}

} // namespace

bool start_display()
{
    if (queue_started)
        return true;
    void* memory = VirtualAlloc(nullptr, QUEUE_BYTES, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (memory == nullptr)
        return false;
    queue.bytes = static_cast<char*>(memory);
    InitializeCriticalSection(&queue.lock);
    queue.filled = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    queue.room_made = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, display_thread, nullptr, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
    queue_started = true;
    return true;
}

void wait_for_queue_room()
{
    for (;;) {
        size_t at = 0;
        EnterCriticalSection(&queue.lock);
        bool room = place_for(QUEUED_MESSAGE_MAX, at);
        queue.capture_waits = !room;
        LeaveCriticalSection(&queue.lock);
        if (room)
            return;
        WaitForSingleObject(queue.room_made, INFINITE);
    }
}

void queue_message(const ShownMessage& m)
{
    size_t size = aligned(sizeof(Record) + m.name_length * sizeof(wchar_t) + m.length);
    size_t at = 0;
    EnterCriticalSection(&queue.lock);
    place_for(size, at);
    LeaveCriticalSection(&queue.lock);
    // Only the capture thread writes, and only into room that no queued record holds.
    if (at == 0 && queue.tail != 0 && queue.tail + sizeof(Record) <= QUEUE_BYTES)
        reinterpret_cast<Record*>(queue.bytes + queue.tail)->size = 0;
    Record record = {
        static_cast<unsigned>(size), m.prefix_end, m.name_end, m.id_end, m.separator_end, m.length, m.name_length};
    char* out = queue.bytes + at;
    memcpy(out, &record, sizeof(record));
    memcpy(out + sizeof(record), m.name, m.name_length * sizeof(wchar_t));
    memcpy(out + sizeof(record) + m.name_length * sizeof(wchar_t), m.bytes, static_cast<size_t>(m.length));
    EnterCriticalSection(&queue.lock);
    queue.tail = at + size;
    ++queue.count;
    bool wake = queue.display_waits;
    queue.display_waits = false;
    LeaveCriticalSection(&queue.lock);
    if (wake)
        SetEvent(queue.filled);
}

void finish_display(DWORD start_tick)
{
    if (!queue_started)
        return;
    DWORD id = GetCurrentThreadId();
    bool painting = false;
    while (!(painting = take_painting(id)) && GetTickCount() - start_tick < FINISH_MS)
        Sleep(RETRY_MS);
    while (painting && GetTickCount() - start_tick < FINISH_MS && paint_batch()) {
    }
    // Straight to the console, as the termination line that follows.
    int left = queued_count();
    wprintf(L"\nQueued messages not shown on the console: %d", left);
    if (left > 0 && monitor_log != nullptr)
        wprintf(L" (the log has them)");
}
