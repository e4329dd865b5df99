#pragma once

#include <QString>

class QDir;
class ReleaseFeed;

// Publishes a release: checks it (see ReleasePreflight), copies its
// installer into the release folder under its versioned name and replaces
// latest.json, each as a new file renamed into place. Until the new feed is
// in place nothing the current one names changes, and the installer the
// previous feed named stays for clients still downloading it; a later
// publish removes it.
class ReleasePublisher {
public:
    struct Request {
        QString releasesDir;
        QString version;
        QString notes;
        // May be empty only for a release folder's first, unsigned feed: it
        // lets clients of that version and newer start.
        QString installerPath;
        QString signingKeyPath; // empty: unsigned
        QString origin; // where clients reach the server
        QString certificatePath; // the server's certificate chain, PEM
        bool withdraw = false; // the version need not be newer than the current one
    };

    // Returns an error text, or an empty text on success; on error the
    // feed and its files are as they were.
    static QString publish(const Request &request);

private:
    static QString publishFirstFeed(const Request &request, const QDir &dir);
    static QString publishInstaller(
        const Request &request, const QDir &dir, const ReleaseFeed &current, const QString &key);
    static QString placeInstaller(const QString &source, const QString &target, QString *digest);
    static QString writeFeed(const Request &request, const QDir &dir, const QString &downloadName,
        const QString &digest);
    static void removeUnneededInstallers(const QDir &dir, const QStringList &needed);
};
