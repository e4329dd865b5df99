#pragma once

#include <QByteArray>

// The PEM text of the certificate authority compiled in with the build option
// ORVANTIS_EXTRA_CA, exactly as it was given; empty when the build has none.
QByteArray bundledCertificateAuthorityPem();

// Adds that authority to the default TLS configuration, next to the system's
// authorities. A build without one trusts only the system, and this function
// does nothing. Call it once at start, before any request.
void trustBundledCertificateAuthority();
