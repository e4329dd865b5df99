#pragma once

#include <QByteArray>
#include <QString>

// The certificate authority compiled in with the build option ORVANTIS_EXTRA_CA
// (e.g. the local one of the stand-in server). The client trusts it on the
// requests to its server's origin only.

// Its resource path; empty in a build without it.
QString bundledCertificateAuthorityFile();
// Its PEM text; empty in a build without it.
QByteArray bundledCertificateAuthorityPem();
