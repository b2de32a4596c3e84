// quillet's usage text.
#pragma once

// The banner and the 52 usage texts.
void print_usage();
