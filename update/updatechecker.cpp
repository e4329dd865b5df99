#include "update/updatechecker.h"

#include "api/serverorigin.h"
#include "api/transfertimeout.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QStandardPaths>
#include <QVersionNumber>

namespace {

int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// The last path segment of the URL as written, without query and fragment:
// a '?' in a file name would not even be allowed on Windows.
QString fileNameFromUrl(const QString &url)
{
    QString path = url.trimmed();
    for (const QChar mark : {QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = path.indexOf(mark);
        if (at >= 0)
            path.truncate(at);
    }
    return QFileInfo(path).fileName();
}

// The body is incomplete when the connection failed after the status line or
// fewer bytes came than the server announced. An encoded body is decoded by
// the network layer, so its announced length says nothing about the result.
bool transferCutOff(const QNetworkReply *reply, qint64 received)
{
    if (reply->error() != QNetworkReply::NoError)
        return true;
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return false;
    bool known = false;
    const qint64 announced = reply->rawHeader("Content-Length").trimmed().toLongLong(&known);
    return known && received < announced;
}

QStringList installerArguments()
{
    return {QStringLiteral("/VERYSILENT"), QStringLiteral("/SUPPRESSMSGBOXES"),
        QStringLiteral("/NORESTART"), QStringLiteral("/SP-"),
        QStringLiteral("/DIR=") + QDir::toNativeSeparators(QCoreApplication::applicationDirPath())};
}

} // namespace

UpdateChecker::UpdateChecker(QObject *parent)
    : UpdateChecker(DefaultServerOrigin, parent)
{
}

UpdateChecker::UpdateChecker(const QString &origin, QObject *parent)
    : QObject(parent)
    , manifestUrl(origin + QStringLiteral("/releases/latest.json"), QUrl::TolerantMode)
    , networkManager(new QNetworkAccessManager(this))
{
    networkManager->setTransferTimeout(TransferTimeoutMs);
}

void UpdateChecker::setTransferTimeout(int milliseconds)
{
    networkManager->setTransferTimeout(milliseconds);
}

void UpdateChecker::checkForUpdates()
{
    QNetworkReply *reply = networkManager->get(QNetworkRequest(manifestUrl));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onCheckFinished(reply); });
}

void UpdateChecker::onCheckFinished(QNetworkReply *reply)
{
    const int status = httpStatus(reply);
    const QByteArray body = reply->readAll();
    reply->deleteLater();

    if (status < 1) {
        emit error(QStringLiteral("Nem érhető el a szerver (HTTP=0)."));
        return;
    }
    if (status != 200) {
        emit error(QStringLiteral("Update check hiba. HTTP=%1").arg(status));
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        emit error(QStringLiteral("Update check: hibás JSON."));
        return;
    }
    const QJsonObject manifest = document.object();
    const QString version = manifest.value(QLatin1String("version")).toString();
    const QString notes = manifest.value(QLatin1String("notes")).toString();
    const QString url = manifest.value(QLatin1String("download_url")).toString();
    const QString sha256 = manifest.value(QLatin1String("sha256")).toString();

    const QVersionNumber running
        = QVersionNumber::fromString(QCoreApplication::applicationVersion().trimmed());
    if (running.isNull()) {
        emit error(QStringLiteral("Hibás vagy üres alkalmazás verzió (applicationVersion)."));
        return;
    }
    const QVersionNumber latest = QVersionNumber::fromString(version.trimmed());
    if (latest.isNull() || QVersionNumber::compare(running, latest) >= 0) {
        emit noUpdate();
        return;
    }
    emit updateAvailable(version, notes, url, sha256, true);
}

void UpdateChecker::startDownload(
    const QString &url, const QString &sha256, const QString &fileName)
{
    if (downloadReply) {
        emit error(QStringLiteral("Már fut letöltés."));
        return;
    }
    expectedSha256 = sha256.trimmed();

    QString name = fileName.trimmed();
    if (name.isEmpty())
        name = fileNameFromUrl(url);
    if (name.isEmpty())
        name = QStringLiteral("OrvantisClient-setup.exe");

    const QString tempDir = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    if (tempDir.isEmpty()) {
        emit error(QStringLiteral("Nem található TEMP mappa."));
        return;
    }
    localPath = QDir(tempDir).filePath(name);

    QUrl target(url, QUrl::TolerantMode);
    if (target.isRelative())
        target = manifestUrl.resolved(target);

    downloadReply = networkManager->get(QNetworkRequest(target));
    connect(
        downloadReply, &QNetworkReply::downloadProgress, this, &UpdateChecker::downloadProgress);
    connect(downloadReply, &QNetworkReply::finished, this, &UpdateChecker::onDownloadFinished);
}

void UpdateChecker::onDownloadFinished()
{
    QNetworkReply *reply = downloadReply;
    const int status = httpStatus(reply);
    const QByteArray body = reply->readAll();
    const bool cutOff = transferCutOff(reply, body.size());
    reply->deleteLater();
    downloadReply = nullptr;

    if (status < 1) {
        emit error(QStringLiteral("Letöltés sikertelen (HTTP=0)."));
        return;
    }
    if (status != 200) {
        emit error(QStringLiteral("Letöltés hiba. HTTP=%1").arg(status));
        return;
    }
    if (cutOff) {
        emit error(QStringLiteral("Letöltés sikertelen (megszakadt az átvitel)."));
        return;
    }
    if (!saveDownload(body)) {
        emit error(QStringLiteral("Nem tudtam fájlba menteni a letöltést: ") + localPath);
        return;
    }
    if (!expectedSha256.isEmpty() && !verifyDownload())
        return;
#ifndef Q_OS_WIN
    // Elsewhere a freshly written file cannot be run until it is marked so.
    QFile::setPermissions(localPath, QFile::permissions(localPath) | QFileDevice::ExeOwner);
#endif
    emit downloadFinished(localPath);
    launchInstaller();
}

bool UpdateChecker::saveDownload(const QByteArray &body)
{
    QFile file(localPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const bool written = file.write(body) == body.size();
    // close() flushes and keeps the error of a failed flush or close.
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

// Reads the saved file back, so that what is checked is what will be run.
bool UpdateChecker::verifyDownload()
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        emit error(QStringLiteral("Nem tudtam ellenőrizni a fájlt (sha256)."));
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        emit error(QStringLiteral("SHA256 számítás hiba."));
        return false;
    }
    const QString actual = QString::fromLatin1(hash.result().toHex());
    file.close();
    if (actual.compare(expectedSha256, Qt::CaseInsensitive) != 0) {
        emit error(QStringLiteral("SHA256 nem egyezik! (letöltés sérült?)"));
        return false;
    }
    return true;
}

void UpdateChecker::launchInstaller()
{
    const QString workingDirectory = QFileInfo(localPath).absolutePath();
    if (!QProcess::startDetached(localPath, installerArguments(), workingDirectory)) {
        emit error(QStringLiteral("Nem sikerült elindítani az installert: ") + localPath);
        return;
    }
    QCoreApplication::quit();
}
