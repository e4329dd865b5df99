#include "server/releases/releasepublisher.h"

#include "server/releases/packedclient.h"
#include "server/releases/releasefeed.h"
#include "server/releases/releasepreflight.h"
#include "server/releases/releasesigner.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUrl>

namespace {

const QString FeedName = QStringLiteral("latest.json");
constexpr qint64 CopyChunkBytes = 1024 * 1024;

QString installerNameFor(const QString &version)
{
    return QStringLiteral("OrvantisClient-%1-setup.run").arg(version);
}

QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

} // namespace

QString ReleasePublisher::publish(const Request &request)
{
    QString problem = ReleasePreflight::version(request.version);
    if (!problem.isEmpty())
        return problem;
    const QDir dir(request.releasesDir);
    const std::optional<ReleaseFeed> current = ReleaseFeed::read(dir.filePath(FeedName), &problem);
    if (!current)
        return problem;
    QString key;
    if (!request.signingKeyPath.isEmpty()
        && (key = ReleaseSigner::publicKeyOf(request.signingKeyPath, &problem)).isEmpty())
        return problem;
    problem = ReleasePreflight::newer(request.version, *current, request.withdraw);
    if (problem.isEmpty())
        problem = ReleasePreflight::signature(!key.isEmpty(), *current);
    if (!problem.isEmpty())
        return problem;
    if (request.installerPath.isEmpty())
        return current->exists ? QStringLiteral("--installer is needed: only a release folder's "
                                                "first latest.json may name no download")
                               : publishFirstFeed(request, dir);
    return publishInstaller(request, dir, *current, key);
}

QString ReleasePublisher::publishFirstFeed(const Request &request, const QDir &dir)
{
    if (!request.signingKeyPath.isEmpty())
        return QStringLiteral("a signed release needs its installer (--installer)");
    if (!dir.mkpath(QStringLiteral(".")))
        return QStringLiteral("cannot create %1").arg(dir.path());
    return writeFeed(request, dir, QString(), QString());
}

// The installer is checked as a copy in a private folder, so what is checked
// is what is published.
QString ReleasePublisher::publishInstaller(
    const Request &request, const QDir &dir, const ReleaseFeed &current, const QString &key)
{
    QTemporaryDir work;
    const QString copy = work.filePath(QStringLiteral("installer.run"));
    if (!work.isValid() || !QFile::copy(request.installerPath, copy))
        return QStringLiteral("cannot read the installer %1").arg(request.installerPath);
    QString problem;
    const std::optional<PackedClient> packed
        = PackedClient::unpack(copy, work.filePath(QStringLiteral("unpacked")), &problem);
    if (packed)
        problem = ReleasePreflight::client(
            *packed, request.version, request.origin, request.certificatePath, key);
    if (!problem.isEmpty())
        return problem;

    // The file clients are downloading now is never replaced by another.
    const QString name = installerNameFor(request.version);
    const QString target = dir.filePath(name);
    if (name == current.installerName && QFile::exists(target)
        && sha256Of(target) != sha256Of(copy))
        return QStringLiteral("the current latest.json names another %1: publish a newer "
                              "version instead")
            .arg(name);
    if (!dir.mkpath(QStringLiteral(".")))
        return QStringLiteral("cannot create %1").arg(dir.path());
    QString digest;
    problem = placeInstaller(copy, target, &digest);
    if (!problem.isEmpty())
        return problem;
    problem = writeFeed(request, dir, name, digest);
    if (!problem.isEmpty()) {
        if (name != current.installerName) // nothing names it
            QFile::remove(target);
        return problem;
    }
    removeUnneededInstallers(dir, {name, current.installerName});
    return {};
}

// Written as a new file beside the target, flushed to the disk and renamed
// over it: a reader sees the old file or the whole new one, never a part.
QString ReleasePublisher::placeInstaller(
    const QString &source, const QString &target, QString *digest)
{
    QFile in(source);
    QSaveFile out(target);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot copy the installer to %1: %2")
            .arg(target, in.isOpen() ? out.errorString() : in.errorString());
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(CopyChunkBytes);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size())
            return QStringLiteral("cannot copy the installer to %1: %2")
                .arg(target, chunk.isEmpty() ? in.errorString() : out.errorString());
        hash.addData(chunk);
    }
    if (!out.commit())
        return QStringLiteral("cannot copy the installer to %1: %2").arg(target, out.errorString());
    *digest = QString::fromLatin1(hash.result().toHex());
    return {};
}

QString ReleasePublisher::writeFeed(
    const Request &request, const QDir &dir, const QString &downloadName, const QString &digest)
{
    const QString downloadUrl = QString::fromLatin1(QUrl::toPercentEncoding(downloadName));
    QJsonObject feed {{QStringLiteral("version"), request.version},
        {QStringLiteral("notes"), request.notes}, {QStringLiteral("download_url"), downloadUrl},
        {QStringLiteral("sha256"), digest}};
    if (!request.signingKeyPath.isEmpty()) {
        QString problem;
        const QString signature = ReleaseSigner::sign(request.signingKeyPath,
            ReleaseSigner::signedMessage(request.version, digest, downloadUrl), &problem);
        if (signature.isEmpty())
            return problem;
        feed.insert(QStringLiteral("signature"), signature);
    }
    QSaveFile file(dir.filePath(FeedName));
    const QByteArray text = QJsonDocument(feed).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    return {};
}

// The installers of earlier releases that neither feed names any more.
void ReleasePublisher::removeUnneededInstallers(const QDir &dir, const QStringList &needed)
{
    const QStringList installers
        = dir.entryList({installerNameFor(QStringLiteral("*"))}, QDir::Files);
    for (const QString &name : installers) {
        if (!needed.contains(name))
            QFile::remove(dir.filePath(name));
    }
}
