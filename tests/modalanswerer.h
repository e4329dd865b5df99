#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;
class QWidget;

// What a test saw of one modal window before answering it.
struct SeenModal {
    QString className;
    QString title;
    QString text; // message box text, input dialog label, or empty
    QString informativeText; // message box only
    QStringList buttons; // message box button texts, in order
    Qt::TextFormat textFormat = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowFlags flags;
    bool hasEscapeButton = false;
};

// Answers modal dialogs, message boxes and input prompts while a test runs
// the code that opens them. Every new modal widget is recorded once; it is
// then handed to the next queued answer (or the default one), which returns
// true when it has dealt with the widget, false to be asked again later.
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    using Answer = std::function<bool(QWidget *modal)>;

    explicit ModalAnswerer(QObject *parent = nullptr);

    void push(Answer answer);
    void setDefault(Answer answer); // initially: accept / press the default button

    const QList<SeenModal> &seen() const;
    QStringList seenTexts() const;
    void clear();

    // Ready-made answers.
    static Answer pressButton(const QString &text);
    static Answer pressStandard(QMessageBox::StandardButton button);
    static Answer acceptInput(const QString &text);
    static Answer accept();
    static Answer reject();
    static Answer close();
    // Hands a dialog of type T to the test, which fills and ends it.
    template<typename T> static Answer fill(std::function<void(T *)> filler)
    {
        return [filler](QWidget *w) {
            if (auto *dialog = qobject_cast<T *>(w)) {
                filler(dialog);
                return true;
            }
            return false;
        };
    }

private:
    void poll();

    QTimer *timer;
    QList<Answer> queue;
    Answer fallback;
    QList<SeenModal> seenModals;
};
