#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QStringList>

#include <functional>

// What a test saw of one modal window before answering it.
struct SeenModal {
    QString className;
    QString title;
    QString text; // message box text, input dialog label, or empty
    QStringList buttons; // message box button texts, in order
    Qt::TextFormat textFormat = Qt::AutoText;
    Qt::WindowFlags flags;
    bool hasEscapeButton = false;
    Qt::TextFormat informativeFormat = Qt::AutoText; // of a message box's informative text
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

    // Ready-made answers.
    static Answer pressButton(const QString &text);
    static Answer accept();
    static Answer reject();
    // Hands a dialog of type T to the test, which fills and ends it.
    template<typename T> static Answer fill(std::function<void(T *)> filler)
    {
        return [filler](QWidget *w) {
            auto *dialog = qobject_cast<T *>(w);
            if (dialog)
                filler(dialog);
            return dialog != nullptr;
        };
    }

private:
    void poll();

    QList<Answer> queue;
    Answer fallback;
    QList<SeenModal> seenModals;
};
