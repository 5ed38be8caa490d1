#pragma once

#include <QRect>

class QFont;

namespace ui {

// A rectangle in dialog units: x and width in quarters of the font's average
// character width, y and height in eighths of its line height.
struct DluRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Converts dialog units to pixels for one font, the way dialog templates are
// laid out: the base units are the average width of the 52 Latin letters and
// the font's height, so a larger font (or a 200 % screen) scales every
// rectangle with the text that has to fit in it.
class DialogUnits {
public:
    DialogUnits(int base_x, int base_y);
    explicit DialogUnits(const QFont& font);

    int base_x() const { return m_base_x; }
    int base_y() const { return m_base_y; }

    int to_px_x(int dlu) const;
    int to_px_y(int dlu) const;
    QRect to_px(const DluRect& rect) const;

private:
    int m_base_x;
    int m_base_y;
};

}  // namespace ui
