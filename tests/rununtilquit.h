#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <functional>

// Runs the application's event loop, calling `start` from it, until the code
// under test asks the application to quit. False when it never does (the
// loop gives up after a generous limit) or when it exits with an error code.
inline bool runUntilQuit(std::function<void()> start)
{
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &giveUp, [] { QCoreApplication::exit(1); });
    giveUp.start(20000);
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(start));
    return QCoreApplication::exec() == 0;
}
