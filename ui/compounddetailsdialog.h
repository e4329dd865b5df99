#pragma once

#include "api/compound.h"
#include "api/compounddetails.h"

#include <QDialog>
#include <QString>

class ApiClient;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTextEdit;

// One compound: its base data as listed, its extended details fetched from
// the server (editable for "admin" and "editor") and its images as links.
class CompoundDetailsDialog : public QDialog {
    Q_OBJECT

public:
    CompoundDetailsDialog(
        ApiClient *api, const Compound &compound, const QString &role, QWidget *parent = nullptr);

    void setEditable(bool editable);
    CompoundDetails collectDetails() const;
    void showDetails(const CompoundDetails &details);

private:
    QWidget *buildBaseData();
    QWidget *buildDetails();
    QWidget *buildImages();
    QLineEdit *addLineRow(QFormLayout *form, const QString &label, const QString &name);
    void connectApi();
    void save();
    void openImage(QListWidgetItem *item);

    ApiClient *api;
    Compound compound;
    QString role;
    bool canEdit;

    QTextEdit *descriptionEdit = nullptr;
    QLineEdit *casEdit = nullptr;
    QLineEdit *msdsUrlEdit = nullptr;
    QLineEdit *ghsEdit = nullptr;
    QLineEdit *storageEdit = nullptr;
    QLineEdit *densityEdit = nullptr;
    QLineEdit *meltingPointEdit = nullptr;
    QLineEdit *boilingPointEdit = nullptr;
    QLineEdit *solubilityEdit = nullptr;
    QTextEdit *notesEdit = nullptr;
    QListWidget *imageList = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *closeButton = nullptr;
};
