#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

/** What drives a sprite viewer's playback: ticks at a steady interval while
 *  running, and the time since it started. At each tick the viewer shows the
 *  frame that time calls for, so a late tick skips a frame instead of
 *  slowing the animation down. The viewer owns its clock; a test hands it
 *  one it moves by hand, so stepping is checked without waiting. */
class PlaybackClock : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    /** Starts ticking every `intervalMs` milliseconds (restarting if running). */
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    /** Milliseconds since start(). */
    virtual qint64 elapsedMs() const = 0;

signals:
    void ticked();
};

/** The wall clock: a precise QTimer. */
class TimerClock : public PlaybackClock
{
    Q_OBJECT

public:
    explicit TimerClock(QObject *parent = nullptr);

    void start(int intervalMs) override;
    void stop() override;
    bool isRunning() const override;
    qint64 elapsedMs() const override;

private:
    QTimer m_timer;
    QElapsedTimer m_elapsed;
};
