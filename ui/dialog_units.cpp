#include "ui/dialog_units.h"

#include <QFontMetrics>

namespace ui {

namespace {

// a * b / c rounded half away from zero, as dialog templates round.
int mul_div(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

int average_char_width(const QFontMetrics& metrics) {
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
}

}  // namespace

DialogUnits::DialogUnits(int base_x, int base_y) : m_base_x(base_x > 0 ? base_x : 1), m_base_y(base_y > 0 ? base_y : 1) {}

DialogUnits::DialogUnits(const QFont& font)
    : DialogUnits(average_char_width(QFontMetrics(font)), QFontMetrics(font).height()) {}

int DialogUnits::to_px_x(int dlu) const { return mul_div(dlu, m_base_x, 4); }

int DialogUnits::to_px_y(int dlu) const { return mul_div(dlu, m_base_y, 8); }

QRect DialogUnits::to_px(const DluRect& rect) const {
    return QRect(to_px_x(rect.x), to_px_y(rect.y), to_px_x(rect.width), to_px_y(rect.height));
}

}  // namespace ui
