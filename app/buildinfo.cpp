#include "app/buildinfo.h"

#include "api/serverorigin.h"
#include "app/trustedca.h"
#include "update/releasesignature.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray buildInfo(const QString &version)
{
    const QJsonObject info {
        {QStringLiteral("version"), version},
        {QStringLiteral("origin"), DefaultServerOrigin},
        {QStringLiteral("release_key"), QString::fromLatin1(builtInReleaseKey().toBase64())},
        {QStringLiteral("trusted_ca"), QString::fromUtf8(bundledCertificateAuthorityPem())},
    };
    return QJsonDocument(info).toJson(QJsonDocument::Compact) + '\n';
}
