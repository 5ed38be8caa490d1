#include "factory_test/dialog/qr_view.h"

#include <QPainter>

QrView::QrView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

QRect QrView::symbol_rect() const {
    const int side = m_symbol.width * kQrModulePx;
    return QRect(m_area.left() + kQrMarginPx, m_area.top() + kQrMarginPx, side, side);
}

void QrView::follow_area(const QRect& area) {
    m_area = area;
    setGeometry(m_area.united(symbol_rect()));
    update();
}

void QrView::show_symbol(const QrSymbol& symbol, const QRect& area) {
    m_symbol = symbol;
    follow_area(area);
    show();
    raise();
}

void QrView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPoint origin = geometry().topLeft();
    painter.fillRect(m_area.translated(-origin), Qt::white);
    const QRect symbol = symbol_rect().translated(-origin);
    for (int y = 0; y < m_symbol.width; ++y)
        for (int x = 0; x < m_symbol.width; ++x)
            painter.fillRect(symbol.left() + x * kQrModulePx, symbol.top() + y * kQrModulePx, kQrModulePx,
                             kQrModulePx, m_symbol.is_dark(x, y) ? Qt::black : Qt::white);
}
