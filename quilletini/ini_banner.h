// The lines quilletini starts with.
#pragma once

// The program's name, copyright and contact lines, in white.
void print_ini_banner();
