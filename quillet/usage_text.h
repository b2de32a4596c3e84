// quillet's usage text.
#pragma once

// The banner and the 52 usage texts.
void print_usage();

// The words added since that text, one line each; "-help" prints them after it.
void print_added_words();
