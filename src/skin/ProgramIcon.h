#pragma once
// The program's own icon, for the windows of every program of the folder: the PNG renderings
// of data/icons built into the binary, so neither an SVG plugin nor a file of the program
// folder is needed.

#include <QIcon>

// The 48, 128 and 256 pixel pictures of the icon.
QIcon ProgramIcon();
