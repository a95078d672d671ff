#pragma once
// The program's own pictures: its icon, and the tree's server and printer
// images with their animation frames. All are drawn by code, so they are
// sharp at every size the desktop asks for.

#include <QIcon>
#include <memory>

#include "uiImageList.h"

// The sizes the program's icon is drawn at: each common size and its double
// for high-density screens.
inline constexpr int IconSizes[] = {16, 24, 32, 48, 64, 96, 128, 256};

// The program's icon (window, tray, About box): a printer with a page and a
// tally mark, drawn anew at each of IconSizes.
QIcon ProgramIcon();

// The tree's images, in the order the tree's image indexes name them: 0 the
// server; 1 to 5 and 10 the printers' still images; five animation frames
// from 6, 11, 16, 21, 26 and 31 (a page rising out of the printer). A
// printer's state shows as a badge: shared a hand-over arrow, on the network
// a cable, the default a check mark.
// Each is kept at one and at two pixels per unit.
inline constexpr int TreeImagePixelRatios = 2;
std::unique_ptr<TImageList> TreeImages(int size, int animationFrames);
