/* A program without the C runtime whose TLS directory, load configuration and exports are all
   written here, so that the tests know exactly what the image holds: two TLS callbacks, two
   exported functions and, with HARDENING_PARTS, parts the linker cannot make the image's and the
   tests do: a load configuration with Control Flow Guard's instrumented flag and (32-bit) one
   registered exception handler, and a .NET runtime header. */
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

#ifdef HARDENING_PARTS
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
/* A .NET runtime header (IL only, 32-bit preferred) followed by a metadata root ("BSJB") whose
   version string is v4.0.30319: the tests point the CLR directory at the header and the
   header at the root, which the linker cannot. */
struct managed_parts {
    IMAGE_COR20_HEADER header;
    DWORD signature;
    WORD major_version;
    WORD minor_version;
    DWORD reserved;
    DWORD version_length;
    char version[12];
};
const struct managed_parts managed_image = {
    {sizeof(IMAGE_COR20_HEADER), 2, 5, {0, 0}, COMIMAGE_FLAGS_ILONLY | 0x20000}, 0x424A5342, 1, 1, 0, 12,
    "v4.0.30319"};
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
