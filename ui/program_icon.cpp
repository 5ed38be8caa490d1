#include "ui/program_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "ui/program_icon_svg.h"

namespace ui {

const QIcon& program_icon() {
    static const QIcon icon = [] {
        QIcon drawn;
        QSvgRenderer picture{QByteArray(kProgramIconSvg)};
        if (!picture.isValid()) return drawn;
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QPixmap pixmap(side, side);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            picture.render(&painter);
            painter.end();
            drawn.addPixmap(pixmap);
        }
        return drawn;
    }();
    return icon;
}

}  // namespace ui
