#pragma once

#include "api/origintrust.h"

#include <QCryptographicHash>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The largest installer a download accepts. A release manifest is refused
// above 64 KiB.
constexpr qint64 InstallerLimitBytes = 512LL * 1024 * 1024;

// Reads the release manifest on the product server, tells whether a newer
// release exists and, on request, downloads the installer, verifies it,
// starts it and ends the program.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    // Asks the product server, DefaultServerOrigin.
    explicit UpdateChecker(QObject *parent = nullptr);
    // Asks another origin, e.g. a test's loopback server.
    explicit UpdateChecker(const QString &origin, QObject *parent = nullptr);

    // Inactivity limit of the manifest request and the download,
    // TransferTimeoutMs unless set.
    void setTransferTimeout(int milliseconds);
    // The Ed25519 key a newer release must be signed with, builtInReleaseKey()
    // unless set; empty: releases are not signature-checked.
    void setReleaseKey(const QByteArray &publicKey);
    // The largest installer accepted, InstallerLimitBytes unless set.
    void setDownloadLimit(qint64 bytes);
    // The PEM file of authorities trusted, besides the system's, on the
    // manifest request and on downloads from the same origin.
    void setOriginAuthorities(const QString &authorityFile);

    void checkForUpdates();
    // An empty fileName takes the name from the URL.
    void startDownload(const QString &url, const QString &sha256, const QString &fileName);

signals:
    void noUpdate();
    void updateAvailable(const QString &version, const QString &notes, const QString &url,
        const QString &sha256, bool mandatory);
    void error(const QString &msg);
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void downloadFinished(const QString &localPath);

private:
    void onCheckFinished(QNetworkReply *reply);
    void onDownloadHeaders();
    void onDownloadData();
    void onDownloadFinished();
    void refuseDownload(const QString &reason);
    bool keepPiece(const QByteArray &piece);
    bool openInstallerFile();
    bool closeInstallerFile();
    QString downloadProblem(int status, bool cutOff);
    void launchInstaller();

    QNetworkRequest requestFor(const QUrl &url) const;

    QUrl manifestUrl;
    OriginTrust originTrust;
    QByteArray releaseKey;
    qint64 downloadLimit = InstallerLimitBytes;
    QNetworkAccessManager *networkManager;
    QNetworkReply *downloadReply = nullptr;
    QString announcedVersion; // trimmed, of the last updateAvailable
    QString tempRoot;
    QString installerName;
    // The installer is written as it arrives, into a file of its own in a
    // private folder, and hashed on the way.
    std::optional<QTemporaryDir> installerFolder;
    QFile installerFile;
    QCryptographicHash installerHash {QCryptographicHash::Sha256};
    qint64 received = 0; // bytes of the installer written
    QString refusal; // why the running download is being stopped
    QString localPath;
    QString expectedSha256;
};

// Where the installer named by a manifest's download_url is fetched from: a
// relative reference resolved against the manifest URL. Empty when it may not
// be fetched: a scheme other than http and https, or plain http to another
// computer when there is no digest to check the file against.
QUrl installerUrl(const QUrl &manifestUrl, const QString &downloadUrl, bool verified);

// The version whose installer was started last, while the running version is
// older than it; otherwise empty, and the record of that start is removed.
QString unfinishedInstall();
