#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// Shows the API server's base URL for editing. The caller reads the edited
// value back with baseUrl() after the dialog was accepted.
class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    explicit SettingsDialog(const QString &currentBaseUrl, QWidget *parent = nullptr);

    QString baseUrl() const;

private:
    QLineEdit *baseUrlEdit;
};
