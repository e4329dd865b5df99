#pragma once

// Adds the certificate authority compiled in with the build option
// ORVANTIS_EXTRA_CA to the default TLS configuration, next to the system's
// authorities. A build without that option trusts only the system, and this
// function does nothing. Call it once at start, before any request.
void trustBundledCertificateAuthority();
