// The console title, the banner and the usage text.
#pragma once

extern const wchar_t MONITOR_TITLE[];
extern const wchar_t MONITOR_TOPMOST_TITLE[];

// usage_mode 1: the banner alone, for the usage text; 0: with the user context (on request),
// the log notice and the waiting line.
void print_monitor_banner(int usage_mode);

void print_usage_text();
