#include "app/spritecanvas.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>

namespace {

/** Two squares of each colour, repeated by the brush. */
QBrush checkerBrush()
{
    const int s = SpriteCanvas::kCheckerSize;
    QImage tile(2 * s, 2 * s, QImage::Format_RGB32);
    tile.fill(SpriteCanvas::kCheckerLight);
    QPainter p(&tile);
    p.fillRect(s, 0, s, s, QColor::fromRgb(SpriteCanvas::kCheckerDark));
    p.fillRect(0, s, s, s, QColor::fromRgb(SpriteCanvas::kCheckerDark));
    return QBrush(tile);
}

} // namespace

SpriteCanvas::SpriteCanvas(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted
    setFocusPolicy(Qt::StrongFocus);
}

void SpriteCanvas::setExtent(const QRect &extent)
{
    m_extent = extent;
    setFixedSize(sizeHint());
    update();
}

void SpriteCanvas::setFrame(const QImage &image, const QPoint &topLeft)
{
    m_image = image;
    m_topLeft = topLeft;
    update();
}

void SpriteCanvas::setZoom(int zoom)
{
    m_zoom = qMax(1, zoom);
    setFixedSize(sizeHint());
    update();
}

void SpriteCanvas::setBackground(const QColor &colour)
{
    m_background = colour;
    update();
}

void SpriteCanvas::setShowCentre(bool show)
{
    m_showCentre = show;
    update();
}

QPoint SpriteCanvas::frameOrigin() const
{
    return (m_topLeft - m_extent.topLeft()) * m_zoom;
}

QSize SpriteCanvas::sizeHint() const
{
    return m_extent.size() * m_zoom;
}

void SpriteCanvas::paintEvent(QPaintEvent *event)
{
    static const QBrush checker = checkerBrush();
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (m_background.isValid())
        p.fillRect(event->rect(), m_background);
    else
        p.fillRect(event->rect(), checker);
    if (!m_image.isNull())
        p.drawImage(QRect(frameOrigin(), m_image.size() * m_zoom), m_image);
    if (m_showCentre) {
        // Through the middle of the centre's file pixel, across the whole canvas.
        const QPoint centre = -m_extent.topLeft() * m_zoom + QPoint(m_zoom / 2, m_zoom / 2);
        p.setPen(QPen(QColor(255, 0, 0), 0));
        p.drawLine(centre.x(), 0, centre.x(), height());
        p.drawLine(0, centre.y(), width(), centre.y());
    }
}
