#include "server/releases/releasepublisher.h"

#include "server/releases/releasesigner.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

QString ReleasePublisher::publish(const QString &releasesDir, const QString &version,
    const QString &notes, const QString &installerPath, const QString &signingKeyPath)
{
    if (!signingKeyPath.isEmpty() && installerPath.isEmpty())
        return QStringLiteral("a signed release needs its installer (--installer)");
    static const QRegularExpression versionShape(
        QStringLiteral("^[0-9]+(\\.[0-9]+)*([-+][0-9A-Za-z.-]+)?$"));
    if (!versionShape.match(version).hasMatch())
        return QStringLiteral("the version must be dotted numbers such as 0.1.7");
    QDir dir(releasesDir);
    if (!dir.mkpath(QStringLiteral(".")))
        return QStringLiteral("cannot create %1").arg(releasesDir);

    QString downloadUrl;
    QString digest;
    if (!installerPath.isEmpty()) {
        const QFileInfo source(installerPath);
        if (!source.isFile())
            return QStringLiteral("no installer at %1").arg(installerPath);
        const QString target = dir.absoluteFilePath(source.fileName());
        if (source.canonicalFilePath() != QFileInfo(target).canonicalFilePath()) {
            QFile::remove(target);
            if (!QFile::copy(source.absoluteFilePath(), target))
                return QStringLiteral("cannot copy the installer to %1").arg(target);
        }
        bool ok = false;
        digest = sha256Of(target, &ok);
        if (!ok)
            return QStringLiteral("cannot read %1").arg(target);
        downloadUrl = QString::fromLatin1(QUrl::toPercentEncoding(source.fileName()));
    }

    QJsonObject feed {{QStringLiteral("version"), version}, {QStringLiteral("notes"), notes},
        {QStringLiteral("download_url"), downloadUrl}, {QStringLiteral("sha256"), digest}};
    if (!signingKeyPath.isEmpty()) {
        QString problem;
        const QString signature = ReleaseSigner::sign(
            signingKeyPath, ReleaseSigner::signedMessage(version, digest, downloadUrl), &problem);
        if (signature.isEmpty())
            return problem;
        feed.insert(QStringLiteral("signature"), signature);
    }
    QSaveFile file(dir.absoluteFilePath(QStringLiteral("latest.json")));
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1").arg(file.fileName());
    file.write(QJsonDocument(feed).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return QStringLiteral("cannot write %1").arg(file.fileName());
    return {};
}

QString ReleasePublisher::sha256Of(const QString &path, bool *ok)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *ok = file.open(QIODevice::ReadOnly) && hash.addData(&file);
    return *ok ? QString::fromLatin1(hash.result().toHex()) : QString();
}
