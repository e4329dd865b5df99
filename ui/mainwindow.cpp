#include "ui/mainwindow.h"

MainWindow::MainWindow(ApiClient *, const QString &, const QString &, const QString &,
                       QWidget *parent)
    : QMainWindow(parent)
{
}
