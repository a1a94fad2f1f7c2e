#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

/** The zoomed picture of one sprite frame. Works in file pixels placed
 *  around the sprite's centre: `extent` is the area every frame of the
 *  sprite covers, relative to its centre, so frames of different sizes stay
 *  where the file puts them while they play. One file pixel covers
 *  zoom x zoom device-independent pixels, scaled without smoothing; pixels
 *  that are transparent in the frame show the background (a checkerboard,
 *  or one colour). */
class SpriteCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit SpriteCanvas(QWidget *parent = nullptr);

    /** The area of all frames in file pixels, relative to the centre. */
    void setExtent(const QRect &extent);
    /** The frame to show (transparent where it shows the background) with
     *  its top-left corner at `topLeft`, in the coordinates of setExtent. */
    void setFrame(const QImage &image, const QPoint &topLeft);
    void setZoom(int zoom);
    /** One colour behind the frame; an invalid colour means the checkerboard. */
    void setBackground(const QColor &colour);
    QColor background() const { return m_background; } // invalid: checkerboard
    void setShowCentre(bool show);

    int zoom() const { return m_zoom; }
    /** Where the frame's pixel (0, 0) lies on the canvas, in device-independent pixels. */
    QPoint frameOrigin() const;
    QSize sizeHint() const override;

    /** The two colours of the checkerboard, in squares of kCheckerSize. */
    static constexpr QRgb kCheckerLight = 0xffcccccc;
    static constexpr QRgb kCheckerDark = 0xff999999;
    static constexpr int kCheckerSize = 8;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect m_extent;
    QImage m_image; // ARGB32 premultiplied
    QPoint m_topLeft;
    int m_zoom = 1;
    QColor m_background; // invalid: checkerboard
    bool m_showCentre = false;
};
