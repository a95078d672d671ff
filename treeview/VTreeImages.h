#pragma once
// The control's own glyphs: the check images of each kind (indexes as
// GetCheckImage gives them) and the header's drop-mark arrows. Made on
// first use on the GUI thread and kept for the process.

class TImageList;

constexpr int CheckImageSize = 16;
// The expand button's square.
constexpr int ButtonSize = 9;

// Kind: 0 light check, 1 dark check, 2 light tick, 3 dark tick.
const TImageList& CheckImageList(int Kind);
// Glyph 0: an arrow pointing right (drop left of a column); 1: pointing
// left (drop right of it).
const TImageList& UtilityImageList();
