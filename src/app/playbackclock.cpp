#include "app/playbackclock.h"

TimerClock::TimerClock(QObject *parent) : PlaybackClock(parent)
{
    // A coarse timer may fire up to 5 % late, which shows as uneven playback.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PlaybackClock::ticked);
}

void TimerClock::start(int intervalMs)
{
    m_elapsed.start();
    m_timer.start(intervalMs);
}

void TimerClock::stop()
{
    m_timer.stop();
}

bool TimerClock::isRunning() const
{
    return m_timer.isActive();
}

qint64 TimerClock::elapsedMs() const
{
    return m_elapsed.isValid() ? m_elapsed.elapsed() : 0;
}
