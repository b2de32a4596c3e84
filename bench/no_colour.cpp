// Profiling only: stands in for the toolkit's colour routines with routines that do nothing,
// so that quillet_no_colour (quillet linked with this file first) shows what the console
// colour calls cost a report whose output is redirected. Never shipped, never tested against.
#include "text_color.h"

ColorState color_state = {};
bool text_colors_enabled = true;

void set_text_color(WORD attribute) {}

void restore_text_color() {}
