#pragma once
// How far a skin progress bar is filled, whatever toolkit paints it.

// The filled width, in pixels from the left, of a bar whose inner width is `innerWidth` at
// position `pos` of the range `lower` to `upper`: 0 for an empty range or a position at `lower`;
// a position beyond either end gives -1 or `innerWidth` (nothing or everything filled).
int ProgressFillWidth(int innerWidth, int pos, int lower, int upper);
