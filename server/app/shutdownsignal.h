#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal, so the server leaves its event
// loop and closes the database in order.
class ShutdownSignal : public QObject {
    Q_OBJECT

public:
    explicit ShutdownSignal(QObject *parent = nullptr);

signals:
    void requested();

private:
    static void onUnixSignal(int);
    static int pipeEnds[2];
    QSocketNotifier *notifier = nullptr;
};
