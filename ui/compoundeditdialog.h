#pragma once

#include "api/compound.h"

#include <QDialog>

class QLineEdit;

// The form for a new compound or a change to one. It only collects text: the
// caller validates it and talks to the server.
class CompoundEditDialog : public QDialog {
    Q_OBJECT

public:
    explicit CompoundEditDialog(QWidget *parent = nullptr);

    // An existing compound's code is its identity on the server: in edit mode
    // it cannot be changed.
    void setEditMode(bool on);
    void setCompound(const Compound &c);
    // The six fields, trimmed.
    Compound compound() const;

private:
    QLineEdit *kodEdit;
    QLineEdit *nevEdit;
    QLineEdit *kepletEdit;
    QLineEdit *molarisTomegEdit;
    QLineEdit *szinEdit;
    QLineEdit *halmazallapotEdit;
};
