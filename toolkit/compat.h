// Compiler differences, kept in one place.
//
// The fault guard needs a jump buffer that restores the stack without unwinding through the
// system's exception dispatcher (the jump leaves from inside an exception filter). GCC and
// Clang offer that as builtins; Visual C++ uses __try/__except instead and needs none of it.
#pragma once

#if defined(_MSC_VER)
#define QL_HAVE_SEH 1
#else
#define QL_HAVE_SEH 0
typedef void* ql_jump_buffer[5];
#define QL_SETJMP(buffer) __builtin_setjmp(buffer)
#define QL_LONGJMP(buffer) __builtin_longjmp(buffer, 1)
#endif
