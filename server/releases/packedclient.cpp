#include "server/releases/packedclient.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

const QString ClientName = QStringLiteral("OrvantisClient");
constexpr int UnpackMs = 120000;
constexpr int BuildInfoMs = 30000;

// Runs program to its end within timeoutMs; its standard output, or nullopt
// when it could not start, took too long or failed. What it says on standard
// error is not passed on: the caller says what went wrong in one sentence.
std::optional<QByteArray> run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

} // namespace

std::optional<PackedClient> PackedClient::unpack(
    const QString &installerPath, const QString &folder, QString *problem)
{
    const QStringList unpack {installerPath, QStringLiteral("--quiet"), QStringLiteral("--noexec"),
        QStringLiteral("--nox11"), QStringLiteral("--nochown"), QStringLiteral("--target"), folder};
    if (!run(QStringLiteral("sh"), unpack, UnpackMs)) {
        *problem = QStringLiteral("the installer does not unpack with its own --noexec --target: "
                                  "it is no installer the build made");
        return std::nullopt;
    }
    const QString client = QDir(folder).filePath(ClientName);
    const std::optional<QByteArray> info
        = run(client, {QStringLiteral("--build-info")}, BuildInfoMs);
    std::optional<PackedClient> packed = info ? fromBuildInfo(*info) : std::nullopt;
    if (!packed)
        *problem = QStringLiteral("the installer's %1 does not tell its build (--build-info); "
                                  "publish on a machine where the client runs")
                       .arg(ClientName);
    return packed;
}

std::optional<PackedClient> PackedClient::fromBuildInfo(const QByteArray &json)
{
    const QJsonObject info = QJsonDocument::fromJson(json).object();
    for (const char *key : {"version", "origin", "release_key", "trusted_ca"}) {
        if (!info.value(QLatin1String(key)).isString())
            return std::nullopt;
    }
    return PackedClient {info.value(QLatin1String("version")).toString(),
        info.value(QLatin1String("origin")).toString(),
        info.value(QLatin1String("release_key")).toString(),
        info.value(QLatin1String("trusted_ca")).toString().toUtf8()};
}
