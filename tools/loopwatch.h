#pragma once
// How well an event loop keeps answering: a timer every 5 ms on the calling thread, and the
// longest time between two of its ticks while something runs (a run over a big table, say).

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

template <class F> qint64 longestUnansweredMs(F &&f)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, gap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        gap = std::max(gap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(5);
    f();
    return std::max(gap, clock.elapsed() - last);
}
