#pragma once
// The program's own pictures: its icon, and the tree's server and printer
// images with their animation frames. All are drawn by code, so they are
// sharp at every size the desktop asks for.

#include <QIcon>
#include <memory>

#include "uiImageList.h"

// The program's icon (window, tray, About box): a printer with a page and a
// tally mark, at every size from 16 to 256 pixels.
QIcon ProgramIcon();

// The tree's images, in the order the tree's image indexes name them: 0 the
// server; 1 to 5 and 10 the printers' still images; five animation frames
// from 6, 11, 16, 21, 26 and 31 (a page rising out of the printer). A
// printer's state shows as a badge: shared a hand-over arrow, on the network
// a cable, the default a check mark.
std::unique_ptr<TImageList> TreeImages(int size, int animationFrames);
