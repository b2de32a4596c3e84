/* A program without the C runtime whose TLS directory, load configuration and exports are all
   written here, so that the tests know exactly what the image holds: two TLS callbacks, two
   exported functions and, with HARDENING_LOAD_CONFIG, a load configuration with Control Flow
   Guard's instrumented flag and (32-bit) one registered exception handler. */
#include <windows.h>

static void NTAPI first_callback(PVOID module, DWORD reason, PVOID reserved)
{
    (void)module;
    (void)reason;
    (void)reserved;
}

static void NTAPI second_callback(PVOID module, DWORD reason, PVOID reserved)
{
    (void)module;
    (void)reason;
    (void)reserved;
}

/* The linker points the image's TLS directory at _tls_used. */
ULONG _tls_index = 0;
static char tls_data[8];
const PIMAGE_TLS_CALLBACK tls_callbacks[] = {first_callback, second_callback, 0};
const IMAGE_TLS_DIRECTORY _tls_used = {(ULONG_PTR)&tls_data[0], (ULONG_PTR)&tls_data[8], (ULONG_PTR)&_tls_index,
                                       (ULONG_PTR)tls_callbacks, 0, 0};

#ifdef HARDENING_LOAD_CONFIG
/* A load configuration with the guard fields, which the toolchain's structure ends before. The
   linker (binutils 2.40) does not point the load configuration directory at it: the tests do,
   finding it by its time stamp field, "QLCF". */
struct guarded_load_config {
    IMAGE_LOAD_CONFIG_DIRECTORY base;
    ULONG_PTR guard_check_function;
    ULONG_PTR guard_dispatch_function;
    ULONG_PTR guard_function_table;
    ULONG_PTR guard_function_count;
    DWORD guard_flags;
};
static const DWORD safe_handlers[] = {0x1000};
const struct guarded_load_config _load_config_used = {
    {sizeof(struct guarded_load_config), 0x46434C51, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
#ifdef _WIN64
     0, 0},
#else
     (DWORD)safe_handlers, 1},
#endif
    0, 0, 0, 0, 0x100};
#endif

__declspec(dllexport) int quillet_exported(void)
{
    return 1;
}

__declspec(dllexport) int quillet_other_export(void)
{
    return tls_data[0];
}

int quillet_entry(void)
{
    return 0;
}
