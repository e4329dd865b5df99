#pragma once

#include <QString>

// Writes a release folder's latest.json: version, notes, the installer's
// file name as a download URL relative to the feed, its SHA-256 and, with a
// signing key, the release signature.
class ReleasePublisher {
public:
    // installerPath may be empty (a feed without a download) unless the
    // release is signed. An installer outside releasesDir is copied into it
    // first. Returns an error text, or an empty text on success.
    static QString publish(const QString &releasesDir, const QString &version, const QString &notes,
        const QString &installerPath, const QString &signingKeyPath = QString());
    static QString sha256Of(const QString &path, bool *ok);
};
