#pragma once

// Draws a QR symbol over its area as the bench does, black modules on
// white, and keeps it scannable: the symbol stays inside the area with a
// quiet zone of four modules around it, its modules as large as that allows
// up to 8 x 8 pixels. Lies above the dialog's controls, lets clicks through
// and paints on every repaint of the window.

#include <QWidget>

#include "factory_test/qr_symbol.h"

class QrView : public QWidget {
    Q_OBJECT
public:
    explicit QrView(QWidget* parent);

    // Shows `symbol` over `area` (dialog coordinates).
    void show_symbol(const QrSymbol& symbol, const QRect& area);
    void follow_area(const QRect& area);
    const QrSymbol& symbol() const { return m_symbol; }
    // The symbol's square in the dialog's coordinates.
    QRect symbol_rect() const;
    int module_px() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QrSymbol m_symbol;
    QRect m_area;
};
