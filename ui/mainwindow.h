#pragma once

#include <QMainWindow>
#include <QString>

class ApiClient;

// Placeholder with the final interface; the window itself comes later.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(ApiClient *api, const QString &username, const QString &role,
               const QString &keresztnev, QWidget *parent = nullptr);

signals:
    void logoutRequested();
};
