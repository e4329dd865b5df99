#pragma once

#include <QString>

class QWidget;

// Modal message boxes with a single OK button. The text is always shown as
// plain text: it often carries server replies, which must never be rendered
// as markup.
void showWarning(QWidget *parent, const QString &title, const QString &text);
void showInformation(QWidget *parent, const QString &title, const QString &text);
