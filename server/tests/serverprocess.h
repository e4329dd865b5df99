#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// A real orvantis-server with the demo data on a free loopback port: plain
// HTTP, or HTTPS when the arguments name a certificate. Its data folder lives
// as long as this object, so a restart finds the same database.
struct ServerProcess {
    QTemporaryDir dir;
    QProcess process;
    QString origin; // as the server reports it

    bool start(const QStringList &extra = {})
    {
        QStringList arguments {"--data-dir", dir.path(), "--port", "0", "--seed-demo", "--quiet"};
        if (!extra.contains("--cert"))
            arguments << "--http";
        process.start(ORVANTIS_SERVER_BINARY, arguments + extra);
        QByteArray out;
        while (!out.contains('\n') && process.waitForReadyRead(30000))
            out += process.readAllStandardOutput();
        static const QRegularExpression listening("listening on (\\S+)\\n");
        origin = listening.match(QString::fromUtf8(out)).captured(1);
        return !origin.isEmpty();
    }
    // Stops it with SIGTERM; true when it ended cleanly, so with no sanitizer
    // report either.
    bool stop()
    {
        process.terminate();
        const bool clean = process.waitForFinished(30000)
            && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (!clean)
            qWarning("orvantis-server: %s", process.readAllStandardError().right(4000).constData());
        return clean;
    }
};
