#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

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
    void onDownloadFinished();
    bool saveDownload(const QByteArray &body);
    bool verifyDownload();
    void launchInstaller();

    QUrl manifestUrl;
    QNetworkAccessManager *networkManager;
    QNetworkReply *downloadReply = nullptr;
    QString localPath;
    QString expectedSha256;
};
