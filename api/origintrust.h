#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QUrl>

class QNetworkRequest;

// Certificate authorities trusted on the requests to one origin only (the
// product server's), on top of the system's. Every other request keeps the
// toolkit's default TLS configuration, which loads the system's roots only
// when a connection needs them.
class OriginTrust {
public:
    OriginTrust() = default;
    // The PEM file (a resource path too) holds the authorities; only the
    // scheme, host and port of the origin URL count.
    OriginTrust(const QUrl &origin, const QString &authorityFile);

    // Gives a request to the origin the configuration that trusts the
    // authorities; leaves any other request as it is.
    void apply(QNetworkRequest &request) const;

private:
    QUrl origin;
    QSslConfiguration tls;
    bool extended = false;
};
