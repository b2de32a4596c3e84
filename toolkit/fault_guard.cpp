#include "fault_guard.h"

#include <windows.h>

#include "compat.h"

#if QL_HAVE_SEH

bool run_guarded(void (*body)(void* context), void* context)
{
    __try {
        body(context);
        return true;
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        return false;
    }
}

#else

namespace {

// One record per active guard, linked per thread so that guards may nest.
struct fault_guard {
    ql_jump_buffer jump;
    void* exception_chain;
    fault_guard* outer;
};

thread_local fault_guard* innermost_guard = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;
LONG filter_installed = 0;

// The system calls this filter only for faults that no frame handled, which is exactly the
// set the guard stands for. Faults outside any guard go on to the previous filter.
LONG WINAPI unhandled_fault_filter(EXCEPTION_POINTERS* pointers)
{
    fault_guard* guard = innermost_guard;
    if (guard == nullptr)
        return previous_filter ? previous_filter(pointers) : EXCEPTION_CONTINUE_SEARCH;
    QL_LONGJMP(guard->jump);
    return EXCEPTION_CONTINUE_SEARCH;
}

void install_filter_once()
{
    if (InterlockedCompareExchange(&filter_installed, 1, 0) == 0)
        previous_filter = SetUnhandledExceptionFilter(unhandled_fault_filter);
}

NT_TIB* thread_block()
{
    return reinterpret_cast<NT_TIB*>(NtCurrentTeb());
}

} // namespace

bool run_guarded(void (*body)(void* context), void* context)
{
    install_filter_once();
    fault_guard guard;
    guard.outer = innermost_guard;
    // The dispatcher's frames that the jump abandons must leave the thread's handler chain.
    guard.exception_chain = thread_block()->ExceptionList;
    if (QL_SETJMP(guard.jump) == 0) {
        innermost_guard = &guard;
        body(context);
        innermost_guard = guard.outer;
        return true;
    }
    thread_block()->ExceptionList = static_cast<EXCEPTION_REGISTRATION_RECORD*>(guard.exception_chain);
    innermost_guard = guard.outer;
    return false;
}

#endif
