#pragma once

// The program's version, for the version record and for the code.
#define TARNWICK_VERSION_NUMBERS 1, 0, 0, 0
#define TARNWICK_VERSION_TEXT "1.00"
