#include "server/releases/releasepreflight.h"

#include "server/releases/packedclient.h"
#include "server/releases/releasefeed.h"

#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QUrl>
#include <QVersionNumber>

QString ReleasePreflight::version(const QString &version)
{
    static const QRegularExpression dotted(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,9}(\\.[0-9]{1,9})*")));
    if (dotted.match(version).hasMatch())
        return {};
    return QStringLiteral("--version must be dotted numbers of up to nine digits such as 0.1.7, "
                          "with nothing before, between or after them: the client would read "
                          "another version");
}

QString ReleasePreflight::newer(const QString &version, const ReleaseFeed &current, bool withdraw)
{
    const QVersionNumber latest = QVersionNumber::fromString(current.version);
    if (withdraw || latest.isNull() || QVersionNumber::fromString(version) > latest)
        return {};
    return QStringLiteral("--version %1 is not newer than the current release %2, so no client "
                          "would update; to withdraw the current release instead, give --withdraw")
        .arg(version, latest.toString());
}

QString ReleasePreflight::signature(bool signing, const ReleaseFeed &current)
{
    if (signing || !current.isSigned)
        return {};
    return QStringLiteral("the current latest.json is signed, and clients built with a release "
                          "key refuse an unsigned release: give --signing-key");
}

QString ReleasePreflight::client(const PackedClient &packed, const QString &version,
    const QString &origin, const QString &chainPath, const QString &signingPublicKey)
{
    if (packed.version != version)
        return QStringLiteral("the installer holds version %1, not %2: its clients would "
                              "update again at every start")
            .arg(packed.version, version);
    if (!sameOrigin(packed.origin, origin))
        return QStringLiteral("the installer's client reaches its server at %1, not at %2 "
                              "where this server is reached (--public-origin)")
            .arg(packed.origin, origin);
    QString problem = certificate(chainPath, origin, packed.trustedCa);
    if (problem.isEmpty())
        problem = releaseKey(packed.releaseKey, signingPublicKey);
    return problem;
}

bool ReleasePreflight::sameOrigin(const QString &a, const QString &b)
{
    const QUrl first(a, QUrl::StrictMode);
    const QUrl second(b, QUrl::StrictMode);
    const auto port = [](const QUrl &url) {
        return url.port(
            url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 ? 80 : 443);
    };
    return first.isValid() && first.path().isEmpty() && second.isValid() && second.path().isEmpty()
        && first.scheme().compare(second.scheme(), Qt::CaseInsensitive) == 0
        && first.host() == second.host() && port(first) == port(second);
}

QString ReleasePreflight::certificate(
    const QString &chainPath, const QString &origin, const QByteArray &trustedCa)
{
    const QUrl url(origin);
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return {};
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(chainPath, QSsl::Pem);
    if (chain.isEmpty())
        return QStringLiteral("no certificate chain (PEM) to check at %1 (--cert)").arg(chainPath);
    // What the client trusts: the system's authorities and the one it carries.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(QSslConfiguration::systemCaCertificates()
        + QSslCertificate::fromData(trustedCa, QSsl::Pem));
    QSslConfiguration::setDefaultConfiguration(tls);
    const QList<QSslError> errors = QSslCertificate::verify(chain, url.host());
    if (errors.isEmpty())
        return {};
    return QStringLiteral("the server's certificate (%1) does not verify for %2 against the "
                          "authorities the installer's client trusts (%3), so it could not "
                          "reach this server")
        .arg(chainPath, url.host(), errors.first().errorString());
}

QString ReleasePreflight::releaseKey(const QString &packedKey, const QString &signingPublicKey)
{
    if (packedKey == signingPublicKey)
        return {};
    if (signingPublicKey.isEmpty())
        return QStringLiteral("the installer's client accepts only releases signed with its "
                              "release key: give --signing-key");
    if (packedKey.isEmpty())
        return QStringLiteral("the installer's client carries no release key and would install "
                              "unsigned releases: build it with the public half of "
                              "--signing-key");
    return QStringLiteral("the installer's client carries another release key than the public "
                          "half of --signing-key, so it would refuse every later release");
}
