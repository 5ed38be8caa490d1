#pragma once

// Draws a QR symbol over the dialog, as the bench does: the area white, then
// modules of 8 x 8 pixels starting 8 pixels inside the area's corner, black
// on white. A symbol larger than the area reaches past it, so this widget
// lies above the dialog's controls and lets clicks through. It paints on
// every repaint of the window.

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QrSymbol m_symbol;
    QRect m_area;
};
