#include "work_queue.h"

void work_queue_init(WorkQueue& queue)
{
    InitializeCriticalSection(&queue.lock);
    queue.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    queue.idle = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    queue.pending = 0;
    queue.worker_waits = false;
    queue.closed = false;
}

void work_queue_lock(WorkQueue& queue)
{
    EnterCriticalSection(&queue.lock);
}

void work_queue_unlock(WorkQueue& queue)
{
    LeaveCriticalSection(&queue.lock);
}

bool work_queue_added(WorkQueue& queue, size_t count)
{
    if (queue.pending == 0 && count > 0)
        ResetEvent(queue.idle);
    queue.pending += count;
    bool wake = queue.worker_waits;
    queue.worker_waits = false;
    return wake;
}

void work_queue_done(WorkQueue& queue, size_t count)
{
    queue.pending = count < queue.pending ? queue.pending - count : 0;
    if (queue.pending == 0)
        SetEvent(queue.idle);
}

void work_queue_wake(WorkQueue& queue)
{
    SetEvent(queue.wake);
}

bool work_queue_wait(WorkQueue& queue, DWORD timeout_ms)
{
    EnterCriticalSection(&queue.lock);
    bool ready = queue.pending > 0 || queue.closed;
    queue.worker_waits = !ready;
    LeaveCriticalSection(&queue.lock);
    if (!ready)
        WaitForSingleObject(queue.wake, timeout_ms);
    EnterCriticalSection(&queue.lock);
    queue.worker_waits = false;
    bool pending = queue.pending > 0;
    LeaveCriticalSection(&queue.lock);
    return pending;
}

void work_queue_close(WorkQueue& queue)
{
    EnterCriticalSection(&queue.lock);
    queue.closed = true;
    LeaveCriticalSection(&queue.lock);
    SetEvent(queue.wake);
}

bool work_queue_closed(WorkQueue& queue)
{
    return static_cast<volatile bool&>(queue.closed);
}

bool work_queue_drain(WorkQueue& queue, DWORD deadline)
{
    LONG left = static_cast<LONG>(deadline - GetTickCount());
    return WaitForSingleObject(queue.idle, left > 0 ? static_cast<DWORD>(left) : 0) == WAIT_OBJECT_0;
}
