#include "factory_test/dialog/qr_view.h"

#include <QPainter>

QrView::QrView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

int QrView::module_px() const {
    return qr_module_px(m_symbol.width, std::min(m_area.width(), m_area.height()));
}

QRect QrView::symbol_rect() const {
    const int module = module_px(), side = m_symbol.width * module, quiet = kQrQuietModules * module;
    return QRect(m_area.left() + quiet, m_area.top() + quiet, side, side);
}

void QrView::follow_area(const QRect& area) {
    m_area = area;
    setGeometry(m_area);
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
    painter.fillRect(rect(), Qt::white);
    const int module = module_px();
    const QRect symbol = symbol_rect().translated(-m_area.topLeft());
    for (int y = 0; y < m_symbol.width; ++y)
        for (int x = 0; x < m_symbol.width; ++x)
            painter.fillRect(symbol.left() + x * module, symbol.top() + y * module, module, module,
                             m_symbol.is_dark(x, y) ? Qt::black : Qt::white);
}
