#include "display_queue.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "monitor_log.h"
#include "monitor_output.h"
#include "output_lock.h"
#include "work_queue.h"

bool message_queue_on = false;

namespace {

// About 64 MiB of messages; a burst beyond that makes the capture wait for the console.
const size_t QUEUE_BYTES = 64u << 20;
// Messages painted at once; the display frees their room only after painting them.
const int BATCH_MESSAGES = 1024;
// A batch that is being painted when the time is up may still finish.
const DWORD LAST_BATCH_MS = 1000;
const int SUBJECT_CHARS = 1024;

// One message or notice in the ring, followed by the name (wide) and the bytes; a notice has
// its subject (wide) in place of the name and no bytes. A size of 0 marks the unused end of
// the ring: the next record is at its start.
struct Record {
    unsigned size;
    int prefix_end;
    int name_end;
    int id_end;
    int separator_end;
    int length;
    int name_length;
    bool utf8_text;
    NoticePrinter notice; // null for a message
    DWORD code;
};

// A ring of records: the capture writes at tail, the display reads from head; the work
// queue's lock guards the counters, never the painting.
struct MessageQueue {
    char* bytes;
    size_t head;
    size_t tail;
    size_t notices; // of the pending records
    WorkQueue work;
    HANDLE room_made; // set when room is made while the capture waits
    bool capture_waits;
};

MessageQueue queue = {};
bool queue_started = false;
ShownMessage batch[BATCH_MESSAGES];

size_t aligned(size_t size)
{
    return (size + 7) & ~static_cast<size_t>(7);
}

// Where a record of size bytes can go, or false; under the lock.
bool place_for(size_t size, size_t& at)
{
    if (queue.work.pending == 0)
        queue.head = queue.tail = 0;
    if (queue.tail > queue.head || queue.work.pending == 0) {
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

const Record& record_of(size_t offset)
{
    return *reinterpret_cast<const Record*>(queue.bytes + offset);
}

// Points batch at up to BATCH_MESSAGES queued messages before the next notice; returns their
// count and where the record after them starts. offset is the first record's.
int collect_batch(size_t offset, size_t available, size_t& next)
{
    int count = 0;
    for (; count < BATCH_MESSAGES && static_cast<size_t>(count) < available; ++count) {
        offset = record_at(offset);
        const Record& record = record_of(offset);
        if (record.notice != nullptr)
            break;
        const char* name = queue.bytes + offset + sizeof(Record);
        ShownMessage& m = batch[count];
        m.name = reinterpret_cast<const wchar_t*>(name);
        m.name_length = record.name_length;
        m.bytes = name + record.name_length * sizeof(wchar_t);
        m.prefix_end = record.prefix_end;
        m.name_end = record.name_end;
        m.id_end = record.id_end;
        m.separator_end = record.separator_end;
        m.length = record.length;
        m.utf8_text = record.utf8_text;
        offset += record.size;
    }
    next = offset;
    return count;
}

void release_records(size_t count, size_t notices, size_t next)
{
    work_queue_lock(queue.work);
    queue.head = next;
    queue.notices -= notices;
    work_queue_done(queue.work, count);
    bool wake = queue.capture_waits;
    queue.capture_waits = false;
    work_queue_unlock(queue.work);
    if (wake)
        SetEvent(queue.room_made);
}

// The notice goes to the console and the log like any other: under both locks.
void print_notice(size_t offset)
{
    const Record& record = record_of(offset);
    wchar_t subject[SUBJECT_CHARS];
    memcpy(subject, queue.bytes + offset + sizeof(Record), record.name_length * sizeof(wchar_t));
    subject[record.name_length] = L'\0';
    hold_console_and_output();
    record.notice(subject, record.code);
    flush_monitor_output();
    release_console_and_output();
    release_records(1, 1, offset + record.size);
}

// Paints one batch, or prints one notice; false when the queue was empty.
bool paint_next()
{
    work_queue_lock(queue.work);
    size_t available = queue.work.pending;
    size_t offset = queue.head;
    work_queue_unlock(queue.work);
    if (available == 0)
        return false;
    offset = record_at(offset);
    if (record_of(offset).notice != nullptr) {
        print_notice(offset);
        return true;
    }
    size_t next = 0;
    int count = collect_batch(offset, available, next);
    hold_console();
    paint_messages(batch, count);
    release_console();
    release_records(static_cast<size_t>(count), 0, next);
    return true;
}

DWORD WINAPI display_thread(void*)
{
    for (;;) {
        if (!work_queue_wait(queue.work, INFINITE) && work_queue_closed(queue.work))
            return 0;
        while (paint_next()) {
        }
    }
}

// Writes a record of size bytes (room was made for it) and wakes the display.
void put_record(const Record& record, const void* wide, size_t wide_chars, const char* bytes, size_t length)
{
    size_t at = 0;
    work_queue_lock(queue.work);
    bool room = place_for(record.size, at);
    work_queue_unlock(queue.work);
    if (!room)
        return;
    // Only the capture thread writes, and only into room that no queued record holds.
    if (at == 0 && queue.tail != 0 && queue.tail + sizeof(Record) <= QUEUE_BYTES)
        reinterpret_cast<Record*>(queue.bytes + queue.tail)->size = 0;
    char* out = queue.bytes + at;
    memcpy(out, &record, sizeof(record));
    memcpy(out + sizeof(record), wide, wide_chars * sizeof(wchar_t));
    if (length > 0)
        memcpy(out + sizeof(record) + wide_chars * sizeof(wchar_t), bytes, length);
    work_queue_lock(queue.work);
    queue.tail = at + record.size;
    queue.notices += record.notice != nullptr ? 1 : 0;
    bool wake = work_queue_added(queue.work, 1);
    work_queue_unlock(queue.work);
    if (wake)
        work_queue_wake(queue.work);
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
    work_queue_init(queue.work);
    queue.room_made = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, display_thread, nullptr, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
    queue_started = true;
    return true;
}

bool display_running()
{
    return queue_started;
}

void wait_for_queue_room()
{
    for (;;) {
        size_t at = 0;
        work_queue_lock(queue.work);
        bool room = place_for(QUEUED_MESSAGE_MAX, at);
        queue.capture_waits = !room;
        work_queue_unlock(queue.work);
        if (room)
            return;
        WaitForSingleObject(queue.room_made, INFINITE);
    }
}

void queue_message(const ShownMessage& m)
{
    size_t size = aligned(sizeof(Record) + m.name_length * sizeof(wchar_t) + m.length);
    Record record = {static_cast<unsigned>(size),
                     m.prefix_end,
                     m.name_end,
                     m.id_end,
                     m.separator_end,
                     m.length,
                     m.name_length,
                     m.utf8_text,
                     nullptr,
                     0};
    put_record(record, m.name, static_cast<size_t>(m.name_length), m.bytes, static_cast<size_t>(m.length));
}

void queue_notice(NoticePrinter print, const wchar_t* subject, DWORD code)
{
    size_t chars = wcslen(subject);
    chars = chars < SUBJECT_CHARS ? chars : SUBJECT_CHARS - 1;
    size_t size = aligned(sizeof(Record) + chars * sizeof(wchar_t));
    Record record = {static_cast<unsigned>(size), 0, 0, 0, 0, 0, static_cast<int>(chars), false, print, code};
    put_record(record, subject, chars, nullptr, 0);
}

void raise_notice(NoticePrinter print, const wchar_t* subject, DWORD code)
{
    if (queue_started)
        queue_notice(print, subject, code);
    else
        print(subject, code);
}

void finish_display(DWORD deadline)
{
    if (!queue_started)
        return;
    work_queue_close(queue.work);
    work_queue_drain(queue.work, deadline);
    // Kept for good: the display paints no more, and what it did not paint is counted.
    hold_console_until(deadline + LAST_BATCH_MS);
    work_queue_lock(queue.work);
    size_t left = queue.work.pending - queue.notices;
    work_queue_unlock(queue.work);
    // Straight to the console, as the termination line that follows.
    wprintf(L"\nQueued messages not shown on the console: %d", static_cast<int>(left));
    if (left > 0 && monitor_log != nullptr)
        wprintf(L" (the log has them)");
}
