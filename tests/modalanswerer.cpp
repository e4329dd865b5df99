#include "tests/modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

SeenModal describe(QWidget *w)
{
    SeenModal s {QString::fromLatin1(w->metaObject()->className()), w->windowTitle(), {}, {},
        Qt::AutoText, w->windowFlags()};
    if (auto *box = qobject_cast<QMessageBox *>(w)) {
        s.text = box->text();
        s.textFormat = box->textFormat();
        if (auto *label = box->findChild<QLabel *>("qt_msgbox_informativelabel"))
            s.informativeFormat = label->textFormat();
        s.hasEscapeButton = box->escapeButton() != nullptr;
        for (QAbstractButton *b : box->buttons())
            s.buttons.append(b->text());
    } else if (auto *input = qobject_cast<QInputDialog *>(w)) {
        s.text = input->labelText();
    }
    return s;
}

} // namespace

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
    , fallback(accept())
{
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer->start(5);
}

void ModalAnswerer::push(Answer answer)
{
    queue.append(std::move(answer));
}

void ModalAnswerer::setDefault(Answer answer)
{
    fallback = std::move(answer);
}

const QList<SeenModal> &ModalAnswerer::seen() const
{
    return seenModals;
}

QStringList ModalAnswerer::seenTexts() const
{
    QStringList texts;
    for (const SeenModal &s : seenModals)
        texts.append(s.text);
    return texts;
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal->property("answered").toBool())
        return;
    if (!modal->property("seen").toBool()) {
        modal->setProperty("seen", true);
        seenModals.append(describe(modal));
    }
    // The widget may close from inside the answer; mark it first.
    modal->setProperty("answered", true);
    const bool done = queue.isEmpty() ? fallback(modal) : queue.first()(modal);
    modal->setProperty("answered", done);
    if (done && !queue.isEmpty())
        queue.removeFirst();
}

ModalAnswerer::Answer ModalAnswerer::pressButton(const QString &text)
{
    return [text](QWidget *w) {
        for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
            if (b->text() == text) {
                b->click();
                return true;
            }
        }
        return false;
    };
}

ModalAnswerer::Answer ModalAnswerer::accept()
{
    return [](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QAbstractButton *button = box ? box->defaultButton() : nullptr;
        if (box && !button && !box->buttons().isEmpty())
            button = box->buttons().first();
        if (button)
            button->click();
        else if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->accept();
        return button || qobject_cast<QDialog *>(w);
    };
}

ModalAnswerer::Answer ModalAnswerer::reject()
{
    return fill<QDialog>([](QDialog *dialog) { dialog->reject(); });
}
