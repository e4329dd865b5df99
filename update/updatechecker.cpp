#include "update/updatechecker.h"

#include "api/clientsettings.h"
#include "api/serverorigin.h"
#include "api/transfertimeout.h"
#include "update/releasesignature.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVersionNumber>

namespace {

const QString InstallingKey = QStringLiteral("update/installing");
constexpr qint64 ManifestLimitBytes = 64 * 1024;
constexpr qint64 DownloadBufferBytes = 1024 * 1024;
const char *const TooLargeProperty = "orvantisTooLarge";
const QString TooLarge = QStringLiteral("Letöltés sikertelen (túl nagy fájl).");
const QString Unsaved = QStringLiteral("Nem tudtam fájlba menteni a letöltést: ");

QVersionNumber runningVersion()
{
    return QVersionNumber::fromString(QCoreApplication::applicationVersion().trimmed());
}

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

QUrl installerUrl(const QUrl &manifestUrl, const QString &downloadUrl, bool verified)
{
    QUrl target(downloadUrl, QUrl::TolerantMode);
    if (target.isRelative())
        target = manifestUrl.resolved(target);
    const QString scheme = target.scheme().toLower();
    const QString host = target.host();
    const bool loopback = host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || QHostAddress(host).isLoopback();
    if (scheme == QLatin1String("https")
        || (scheme == QLatin1String("http") && (verified || loopback)))
        return target;
    return QUrl();
}

QString unfinishedInstall()
{
    QSettings settings = clientSettings();
    const QString recorded = settings.value(InstallingKey).toString();
    if (recorded.isEmpty())
        return QString();
    if (QVersionNumber::compare(runningVersion(), QVersionNumber::fromString(recorded)) < 0)
        return recorded;
    settings.remove(InstallingKey);
    return QString();
}

UpdateChecker::UpdateChecker(QObject *parent)
    : UpdateChecker(DefaultServerOrigin, parent)
{
}

UpdateChecker::UpdateChecker(const QString &origin, QObject *parent)
    : QObject(parent)
    , manifestUrl(origin + QStringLiteral("/releases/latest.json"), QUrl::TolerantMode)
    , releaseKey(builtInReleaseKey())
    , networkManager(new QNetworkAccessManager(this))
{
    networkManager->setTransferTimeout(TransferTimeoutMs);
}

void UpdateChecker::setReleaseKey(const QByteArray &publicKey)
{
    releaseKey = publicKey;
}

void UpdateChecker::setDownloadLimit(qint64 bytes)
{
    downloadLimit = bytes;
}

void UpdateChecker::setOriginAuthorities(const QString &authorityFile)
{
    originTrust = OriginTrust(manifestUrl, authorityFile);
}

QNetworkRequest UpdateChecker::requestFor(const QUrl &url) const
{
    QNetworkRequest request(url);
    originTrust.apply(request);
    return request;
}

void UpdateChecker::setTransferTimeout(int milliseconds)
{
    networkManager->setTransferTimeout(milliseconds);
}

void UpdateChecker::checkForUpdates()
{
    QNetworkReply *reply = networkManager->get(requestFor(manifestUrl));
    // A manifest is a few hundred bytes: a longer answer is cut off before it
    // fills the memory.
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64 total) {
        if (qMax(received, total) > ManifestLimitBytes
            && !reply->property(TooLargeProperty).toBool()) {
            reply->setProperty(TooLargeProperty, true);
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onCheckFinished(reply); });
}

void UpdateChecker::onCheckFinished(QNetworkReply *reply)
{
    const int status = httpStatus(reply);
    // An aborted reply is closed and has nothing more to read.
    const QByteArray body = reply->isReadable() ? reply->readAll() : QByteArray();
    reply->deleteLater();

    if (status < 1) {
        emit error(QStringLiteral("Nem érhető el a szerver (HTTP=0)."));
        return;
    }
    if (status != 200) {
        emit error(QStringLiteral("Update check hiba. HTTP=%1").arg(status));
        return;
    }
    if (reply->property(TooLargeProperty).toBool()) {
        emit error(QStringLiteral("Update check: túl nagy válasz."));
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

    const QVersionNumber running = runningVersion();
    if (running.isNull()) {
        emit error(QStringLiteral("Hibás vagy üres alkalmazás verzió (applicationVersion)."));
        return;
    }
    const QVersionNumber latest = QVersionNumber::fromString(version.trimmed());
    if (latest.isNull() || QVersionNumber::compare(running, latest) >= 0) {
        emit noUpdate();
        return;
    }
    // A signed release also names its digest: without one the signature
    // would vouch for whatever file the server hands out.
    if (!releaseKey.isEmpty()
        && (sha256.trimmed().isEmpty()
            || !releaseSignatureValid(releaseKey, version, sha256, url,
                manifest.value(QLatin1String("signature")).toString()))) {
        emit error(QStringLiteral("A kiadás aláírása érvénytelen."));
        return;
    }
    announcedVersion = version.trimmed();
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

    installerName = fileName.trimmed();
    if (installerName.isEmpty())
        installerName = fileNameFromUrl(url);
    if (installerName.isEmpty())
        installerName = QStringLiteral("OrvantisClient-setup.exe");

    tempRoot = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    if (tempRoot.isEmpty()) {
        emit error(QStringLiteral("Nem található TEMP mappa."));
        return;
    }
    const QUrl target = installerUrl(manifestUrl, url, !expectedSha256.isEmpty());
    if (target.isEmpty()) {
        emit error(QStringLiteral("Letöltés sikertelen (nem támogatott cím)."));
        return;
    }
    received = 0;
    refusal.clear();
    installerHash.reset();
    downloadReply = networkManager->get(requestFor(target));
    // The network layer reads ahead only this far: memory stays bounded
    // however fast the server sends and however slow the disk is.
    downloadReply->setReadBufferSize(DownloadBufferBytes);
    connect(
        downloadReply, &QNetworkReply::downloadProgress, this, &UpdateChecker::downloadProgress);
    connect(
        downloadReply, &QNetworkReply::metaDataChanged, this, &UpdateChecker::onDownloadHeaders);
    connect(downloadReply, &QNetworkReply::readyRead, this, &UpdateChecker::onDownloadData);
    connect(downloadReply, &QNetworkReply::finished, this, &UpdateChecker::onDownloadFinished);
}

// An installer announced as too large is refused before its body is read.
void UpdateChecker::onDownloadHeaders()
{
    bool known = false;
    const qint64 announced
        = downloadReply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (httpStatus(downloadReply) == 200 && known && announced > downloadLimit)
        refuseDownload(TooLarge);
}

// Every piece is taken from the reply as it arrives, so the reply never holds
// more than one; only a 200 answer's are kept, until the download is refused.
void UpdateChecker::onDownloadData()
{
    const QByteArray piece = downloadReply->isReadable() ? downloadReply->readAll() : QByteArray();
    if (piece.isEmpty() || !refusal.isEmpty() || httpStatus(downloadReply) != 200)
        return;
    if (received + piece.size() > downloadLimit)
        refuseDownload(TooLarge);
    else if (!keepPiece(piece))
        refuseDownload(Unsaved + localPath);
    else
        received += piece.size();
}

// The reply ends later, from the event loop, and the refusal is its outcome.
void UpdateChecker::refuseDownload(const QString &reason)
{
    refusal = reason;
    QMetaObject::invokeMethod(downloadReply, &QNetworkReply::abort, Qt::QueuedConnection);
}

bool UpdateChecker::keepPiece(const QByteArray &piece)
{
    if (!installerFile.isOpen() && !openInstallerFile())
        return false;
    installerHash.addData(piece);
    return installerFile.write(piece) == piece.size();
}

// Into a new folder that only this user may enter, as a new file: nothing
// planted in the shared temporary folder can be written through or started.
bool UpdateChecker::openInstallerFile()
{
    installerFolder.emplace(QDir(tempRoot).filePath(QStringLiteral("OrvantisClient-XXXXXX")));
    localPath = installerFolder->isValid() ? installerFolder->filePath(installerName) : tempRoot;
    installerFile.setFileName(localPath);
    constexpr QFile::Permissions ownerOnly
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    // Unbuffered: a write that fails (a full disk) fails at once.
    return installerFolder->isValid()
        && installerFile.open(
            QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered, ownerOnly);
}

bool UpdateChecker::closeInstallerFile()
{
    if (!installerFile.isOpen() && !openInstallerFile()) // an empty installer
        return false;
    installerFile.close();
    return installerFile.error() == QFileDevice::NoError;
}

void UpdateChecker::onDownloadFinished()
{
    QNetworkReply *reply = downloadReply;
    const int status = httpStatus(reply);
    onDownloadData(); // what came with the end
    const bool cutOff = transferCutOff(reply, received);
    reply->deleteLater();
    downloadReply = nullptr;

    const QString problem = downloadProblem(status, cutOff);
    if (!problem.isEmpty()) {
        // Nothing of a failed download is left behind, let alone started.
        installerFile.close();
        installerFolder.reset();
        emit error(problem);
        return;
    }
    // The installer runs on after this program has ended: its folder stays.
    installerFolder->setAutoRemove(false);
    installerFolder.reset();
    emit downloadFinished(localPath);
    launchInstaller();
}

// Why the finished download may not be started; empty when it may.
QString UpdateChecker::downloadProblem(int status, bool cutOff)
{
    if (!refusal.isEmpty())
        return refusal;
    if (status < 1)
        return QStringLiteral("Letöltés sikertelen (HTTP=0).");
    if (status != 200)
        return QStringLiteral("Letöltés hiba. HTTP=%1").arg(status);
    if (cutOff)
        return QStringLiteral("Letöltés sikertelen (megszakadt az átvitel).");
    if (!closeInstallerFile())
        return Unsaved + localPath;
    const QString actual = QString::fromLatin1(installerHash.result().toHex());
    if (!expectedSha256.isEmpty() && actual.compare(expectedSha256, Qt::CaseInsensitive) != 0)
        return QStringLiteral("SHA256 nem egyezik! (letöltés sérült?)");
    return QString();
}

void UpdateChecker::launchInstaller()
{
    // Read back at the next start: a version still older than this one
    // means that the installation did not finish.
    if (!announcedVersion.isEmpty()) {
        QSettings settings = clientSettings();
        settings.setValue(InstallingKey, announcedVersion);
    }
    const QString workingDirectory = QFileInfo(localPath).absolutePath();
    if (!QProcess::startDetached(localPath, installerArguments(), workingDirectory)) {
        emit error(QStringLiteral("Nem sikerült elindítani az installert: ") + localPath);
        return;
    }
    QCoreApplication::quit();
}
