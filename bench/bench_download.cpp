// Peak resident memory of the client while it downloads an installer: fetches
// the given URL (e.g. a 200 MiB file from a server on loopback) with the
// client's UpdateChecker, as the update prompt does, and prints the outcome
// and the process's peak resident set size (VmHWM).
// Usage: bench_download <url> [sha256]

#include "update/updatechecker.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: bench_download <url> [sha256]\n";
        return 2;
    }
    QTextStream out(stdout);
    UpdateChecker checker(QStringLiteral("http://127.0.0.1"));
    QObject::connect(&checker, &UpdateChecker::downloadFinished, &app,
        [&out](const QString &path) { out << "saved: " << path << '\n'; });
    QObject::connect(&checker, &UpdateChecker::error, &app, [&out](const QString &msg) {
        out << "error: " << msg << '\n';
        QCoreApplication::quit();
    });
    checker.startDownload(args[1], args.value(2), QStringLiteral("bench-installer"));
    QCoreApplication::exec();

    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM"))
                out << line << '\n';
        }
    }
    return 0;
}
