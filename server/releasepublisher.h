#pragma once

#include <QString>

// Writes a release folder's latest.json: version, notes, the installer's
// file name as a download URL relative to the feed, and its SHA-256.
class ReleasePublisher {
public:
    // installerPath may be empty (a feed without a download). An installer
    // outside releasesDir is copied into it first. Returns an error text, or
    // an empty text on success.
    static QString publish(const QString &releasesDir, const QString &version, const QString &notes,
        const QString &installerPath);
    static QString sha256Of(const QString &path, bool *ok);
};
