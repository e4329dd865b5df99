#include "serverprocess.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

ServerProcess::ServerProcess()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
}

ServerProcess::~ServerProcess()
{
    stop();
}

bool ServerProcess::start(const QStringList &extraArguments)
{
    return launch(
        QStringList {QStringLiteral("--http"), QStringLiteral("--port"), QStringLiteral("0")}
        + extraArguments);
}

bool ServerProcess::startHttps(quint16 port, const QString &certificate, const QString &key)
{
    return launch({QStringLiteral("--port"), QString::number(port), QStringLiteral("--cert"),
        certificate, QStringLiteral("--key"), key});
}

bool ServerProcess::launch(const QStringList &extraArguments)
{
    stdoutText.clear();
    listeningPort = 0;
    QStringList arguments = {QStringLiteral("--data-dir"), dir.path(),
        QStringLiteral("--seed-demo"), QStringLiteral("--quiet")};
    arguments += extraArguments;
    process.start(QStringLiteral(ORVANTIS_SERVER_BINARY), arguments);
    if (!process.waitForStarted(10000))
        return false;
    static const QRegularExpression listening(QStringLiteral("listening on \\S+:(\\d+)"));
    QRegularExpressionMatch match;
    const bool reported = QTest::qWaitFor(
        [&] {
            stdoutText += process.readAllStandardOutput();
            match = listening.match(QString::fromUtf8(stdoutText));
            return match.hasMatch() || process.state() == QProcess::NotRunning;
        },
        30000);
    if (!reported || !match.hasMatch())
        return false;
    listeningPort = quint16(match.captured(1).toUInt());
    return listeningPort != 0;
}

bool ServerProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    const bool clean = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!clean)
        qWarning("orvantis-server ended with %d:\n%s", process.exitCode(),
            process.readAllStandardError().right(4000).constData());
    return clean;
}

int ServerProcess::runToEnd(const QStringList &arguments, QByteArray *output)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(ORVANTIS_SERVER_BINARY), arguments);
    if (!tool.waitForFinished(30000))
        return -1;
    if (output)
        *output = tool.readAll();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

QString ServerProcess::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(listeningPort);
}

quint16 ServerProcess::port() const
{
    return listeningPort;
}

QString ServerProcess::dataDir() const
{
    return dir.path();
}

QByteArray ServerProcess::log() const
{
    return const_cast<QProcess &>(process).readAllStandardError();
}
