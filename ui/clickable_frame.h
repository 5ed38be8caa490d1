#pragma once

#include <QFrame>
#include <QPixmap>

namespace ui {

// A black-framed area that shows a picture (a QR symbol, a video frame) and
// reports a left click.
class ClickableFrame : public QFrame {
    Q_OBJECT
public:
    explicit ClickableFrame(QWidget* parent = nullptr);

    // Shows the picture as large as fits, centred, keeping its proportions;
    // scaled without smoothing so that QR modules stay sharp. An empty
    // picture clears the area.
    void set_picture(const QPixmap& picture);
    const QPixmap& picture() const { return m_picture; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
};

}  // namespace ui
