#pragma once

#include "artfile/artreader.h"

#include <QColor>
#include <QVector>
#include <QWidget>

class PlaybackClock;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
class SpriteCanvas;

/** A window of its own that shows a ".art" sprite exactly as the file
 *  stores it and plays one direction at a time in a loop.
 *
 *  Every pixel is drawn in its palette entry's colour from the chosen
 *  palette copy; index 0 is transparent and shows the background. Frames
 *  are placed by their centre, so a trimmed sequence plays without jumping.
 *  Playback runs at the file's rate (10 frames per second for a rate that is
 *  not positive, which the window says): each tick of its clock shows the
 *  frame due at the clock's time.
 *
 *  Keys: Space plays or pauses, Left and Right step one frame (and pause),
 *  Up and Down change direction, + and - zoom, C shows the centre. */
class SpriteViewer : public QWidget
{
    Q_OBJECT

public:
    /** Shows `art`; `name` (a file name, or "Preview" for a sprite not yet
     *  written) goes into the window title. The viewer takes `clock` (a
     *  TimerClock when null). Top-level and non-modal; deleted on close. */
    SpriteViewer(kestrin::ArtFile art, const QString &name, QWidget *parent = nullptr, PlaybackClock *clock = nullptr);
    ~SpriteViewer() override;

    /** Reads and checks the file at `path` (a name "-" is a file in the
     *  current folder, never standard input). False with the reader's reason
     *  in `error` when it is no valid ".art"; files that are not regular files
     *  are refused so that a FIFO cannot hang the window. */
    [[nodiscard]] static bool readFile(const QString &path, kestrin::ArtFile &art, QString &error);

    const kestrin::ArtFile &art() const { return m_art; }
    int directionCount() const { return m_directionCount; }
    int framesPerDirection() const { return m_framesPerDirection; }
    int direction() const { return m_direction; }     // from 0
    int frame() const { return m_frame; }             // from 0, within the direction
    int paletteCopy() const { return m_paletteCopy; } // from 0
    int zoom() const;
    bool isPlaying() const;
    /** Frames per second while playing: the file's rate, or 10. */
    int playbackRate() const;
    /** Milliseconds between two ticks of the clock while playing. */
    int playbackInterval() const;
    /** "direction D of N, frame F of M, W x H, centre X,Y". */
    QString infoText() const;

public slots:
    void play();
    void pause();
    void togglePlay();
    /** Moves `delta` frames within the direction, looping at either end. */
    void step(int delta = 1);
    /** Direction from 0, wrapping around. */
    void setDirection(int direction);
    void setPaletteCopy(int copy);
    void setZoom(int zoom);
    /** One colour behind the frame; an invalid colour brings the checkerboard back. */
    void setBackgroundColor(const QColor &colour);
    void setShowCentre(bool show);

private:
    void buildControls();
    void bindKeys();
    void updateColors();
    void showFrame();
    void backgroundChosen(int index);
    void ticked();
    int fileIndex() const;

    kestrin::ArtFile m_art;
    PlaybackClock *m_clock = nullptr; // owned through the QObject tree
    int m_directionCount = 1;
    int m_framesPerDirection = 0;
    int m_direction = 0;
    int m_frame = 0;
    int m_paletteCopy = 0;
    int m_playOrigin = 0;   // the frame shown when playback started
    QVector<QRgb> m_colors; // the chosen copy's entries, premultiplied; entry 0 transparent
    QRect m_extent;         // all frames, in file pixels relative to the centre
    bool m_placeByCentre = true;

    SpriteCanvas *m_canvas = nullptr;
    QScrollArea *m_scroll = nullptr;
    QPushButton *m_play = nullptr;
    QSpinBox *m_directionBox = nullptr;
    QSpinBox *m_paletteBox = nullptr;
    QSpinBox *m_zoomBox = nullptr;
    QComboBox *m_backgroundBox = nullptr;
    QCheckBox *m_centreBox = nullptr;
    QLabel *m_info = nullptr;
    QLabel *m_hit = nullptr;
    QLabel *m_rate = nullptr;
};
