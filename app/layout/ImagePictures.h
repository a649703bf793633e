#pragma once
// Which picture each image button, twin and status icon draws: Qt resource paths below ":/".

#include <QString>

namespace vistrel::app {

// Every image button and every twin: e.g. ":/buttons/live.svg" and
// ":/buttons/live-highlighted.svg". Empty for any other id.
QString PicturePath(int id);

// Status icon kinds: 1 playing (double chevron), 3 stopped (red cross), 4 waiting for data
// (small chequered mark), 5 paused (two bars). Empty for any other kind.
QString StatusIconPath(int kind);

// The window's icon, also installed for the desktop entry.
QString ProgramIconPath();

// What the button does, for its tooltip and accessible name ("Live", "Up-left"...). Buttons and
// twins alike; empty for any other id.
QString ButtonToolTip(int id);

}  // namespace vistrel::app
