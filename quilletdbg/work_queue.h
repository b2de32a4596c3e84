// The hand-over between a thread that produces work and the one worker that does it (the
// display thread, each collector's forwarder): a lock for the producer's and the worker's
// records, a wake-up that costs nothing while the worker is busy, closing, and a wait until
// everything handed over is done. The records themselves stay with their owners.
#pragma once

#include <windows.h>

#include <stddef.h>

struct WorkQueue {
    CRITICAL_SECTION lock;
    HANDLE wake; // auto-reset: work came, or the queue was closed, while the worker waited
    HANDLE idle; // manual-reset: set while nothing is pending
    size_t pending;
    bool worker_waits;
    bool closed;
};

void work_queue_init(WorkQueue& queue);

void work_queue_lock(WorkQueue& queue);
void work_queue_unlock(WorkQueue& queue);

// Under the lock: count more work handed over, or work the worker has done (or given up).
// work_queue_added returns whether the worker must be woken, after the lock is left.
bool work_queue_added(WorkQueue& queue, size_t count);
void work_queue_done(WorkQueue& queue, size_t count);

// Wakes the worker.
void work_queue_wake(WorkQueue& queue);

// For the worker: waits until work is pending, the queue is closed or timeout_ms have
// passed. True when work is pending.
bool work_queue_wait(WorkQueue& queue, DWORD timeout_ms);

// No more work comes; the worker is woken to finish what is pending.
void work_queue_close(WorkQueue& queue);

// Whether the queue was closed; under the lock or not.
bool work_queue_closed(WorkQueue& queue);

// Waits until nothing is pending or the tick count reaches deadline; true when nothing is.
bool work_queue_drain(WorkQueue& queue, DWORD deadline);
