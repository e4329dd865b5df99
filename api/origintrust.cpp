#include "api/origintrust.h"

#include <QNetworkRequest>

namespace {

constexpr int HttpsPort = 443;

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
        && a.port(HttpsPort) == b.port(HttpsPort);
}

} // namespace

OriginTrust::OriginTrust(const QUrl &origin, const QString &authorityFile)
    : origin(origin)
{
    if (authorityFile.isEmpty())
        return;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // Added from the file, the system's roots go on loading on demand for
    // these requests too: adding certificate objects (or setting any list)
    // would switch that off, leaving these authorities the only ones trusted.
    extended = configuration.addCaCertificates(authorityFile, QSsl::Pem);
    if (extended)
        tls = configuration;
}

void OriginTrust::apply(QNetworkRequest &request) const
{
    if (extended && sameOrigin(request.url(), origin))
        request.setSslConfiguration(tls);
}
