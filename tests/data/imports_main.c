/* A program built without the standard libraries that imports exactly the functions it
   names: by name from kernel32, by ordinal alone from ws2_32, oleaut32 and comctl32. */
void __stdcall ExitProcess(unsigned int code);
unsigned long __stdcall GetTickCount(void);
void quillet_closesocket(void);
void quillet_wsastartup(void);
void quillet_sysfreestring(void);
void quillet_init_common_controls(void);

void quillet_entry(void)
{
    if (GetTickCount() == 1) {
        quillet_closesocket();
        quillet_wsastartup();
        quillet_sysfreestring();
        quillet_init_common_controls();
    }
    ExitProcess(0);
}
