#pragma once

#include <QIcon>

namespace ui {

// The program's icon (app/tervane.svg, the one the desktop entry names),
// drawn at the sizes window managers and task bars ask for. Every dialog
// carries it, and the message boxes they open inherit it.
const QIcon& program_icon();

}  // namespace ui
