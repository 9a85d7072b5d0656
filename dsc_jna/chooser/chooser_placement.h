// Where a dialog goes when it is centred: pure arithmetic, so the rule can
// be checked without windows.
#pragma once

#include <windows.h>

// The top-left corner that centres a width x height window on `target`,
// pushed back inside `area` (the monitor's work area): past the right or
// bottom edge it moves left or up, and then never left of or above the
// area's left or top edge.
POINT chooser_centredPosition(const RECT& target, const RECT& area, int width, int height);
