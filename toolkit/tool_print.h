// The print routine of the tool that links the toolkit.
//
// Each console tool defines this once, on top of its own print routine, so that the toolkit's
// notices reach the same destinations as the rest of that tool's output.
#pragma once

// Prints text as it is: it never serves as a format.
void tool_print_text(const wchar_t* text);
