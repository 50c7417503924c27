// Text comparison of the platform, shaped like the Windows national-language
// API: ordinal, optionally without regard to letter case.
#pragma once

#include "host/adesk.h"

// Results of a comparison, numbered as the platform numbers them; 0 is a failure.
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

// Compares code point by code point; with ignoreCase letters compare by
// their Unicode simple case folding ("übersicht" equals "Übersicht"). A
// length of -1 means zero-terminated. 0 for a null text.
int CompareStringOrdinal(const ACHAR* a, int aLength, const ACHAR* b, int bLength, int ignoreCase);
