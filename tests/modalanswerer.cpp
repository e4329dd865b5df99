#include "tests/modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const char SeenProperty[] = "modalAnswererSeen";
const char DoneProperty[] = "modalAnswererDone";

SeenModal describe(QWidget *w)
{
    SeenModal s;
    s.className = QString::fromLatin1(w->metaObject()->className());
    s.title = w->windowTitle();
    s.flags = w->windowFlags();
    if (auto *box = qobject_cast<QMessageBox *>(w)) {
        s.text = box->text();
        s.informativeText = box->informativeText();
        s.textFormat = box->textFormat();
        s.icon = box->icon();
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
    , timer(new QTimer(this))
    , fallback(accept())
{
    timer->setInterval(5);
    connect(timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer->start();
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

void ModalAnswerer::clear()
{
    seenModals.clear();
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal->property(DoneProperty).toBool())
        return;
    if (!modal->property(SeenProperty).toBool()) {
        modal->setProperty(SeenProperty, true);
        seenModals.append(describe(modal));
    }
    // The widget may close from inside the answer; mark it first.
    modal->setProperty(DoneProperty, true);
    const bool done = queue.isEmpty() ? fallback(modal) : queue.first()(modal);
    if (!done) {
        modal->setProperty(DoneProperty, false);
        return;
    }
    if (!queue.isEmpty())
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

ModalAnswerer::Answer ModalAnswerer::pressStandard(QMessageBox::StandardButton button)
{
    return [button](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box || !box->button(button))
            return false;
        box->button(button)->click();
        return true;
    };
}

ModalAnswerer::Answer ModalAnswerer::acceptInput(const QString &text)
{
    return [text](QWidget *w) {
        auto *input = qobject_cast<QInputDialog *>(w);
        if (!input)
            return false;
        input->setTextValue(text);
        input->accept();
        return true;
    };
}

ModalAnswerer::Answer ModalAnswerer::accept()
{
    return [](QWidget *w) {
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            QAbstractButton *button = box->defaultButton();
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().first();
            if (button) {
                button->click();
                return true;
            }
        }
        if (auto *dialog = qobject_cast<QDialog *>(w)) {
            dialog->accept();
            return true;
        }
        return false;
    };
}

ModalAnswerer::Answer ModalAnswerer::reject()
{
    return [](QWidget *w) {
        if (auto *dialog = qobject_cast<QDialog *>(w)) {
            dialog->reject();
            return true;
        }
        return false;
    };
}

ModalAnswerer::Answer ModalAnswerer::close()
{
    return [](QWidget *w) {
        w->close();
        return true;
    };
}
