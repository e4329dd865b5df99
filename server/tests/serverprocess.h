#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real orvantis-server process on a free loopback port over plain HTTP,
// with its data folder in a temporary directory that lives as long as this
// object (so a restart sees the same database).
class ServerProcess {
public:
    ServerProcess();
    ~ServerProcess();

    // Starts the server with --seed-demo and the extra arguments; false when
    // it does not report a port within the time limit.
    bool start(const QStringList &extraArguments = {});
    // Starts it over HTTPS on the given port with a certificate and key.
    bool startHttps(quint16 port, const QString &certificate, const QString &key);
    // Stops the server with SIGTERM; true when it ended cleanly (exit code 0,
    // so no sanitizer report either). Its error output is printed otherwise.
    bool stop();
    // Runs the binary to completion with the given arguments (publish mode).
    static int runToEnd(const QStringList &arguments, QByteArray *output = nullptr);

    // The plain HTTP origin (start() only).
    QString origin() const;
    quint16 port() const;
    QString dataDir() const;
    QByteArray log() const;

private:
    bool launch(const QStringList &arguments);

    QTemporaryDir dir;
    QProcess process;
    QByteArray stdoutText;
    quint16 listeningPort = 0;
};
