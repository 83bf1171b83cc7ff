#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

/// What a message box showed before the test answered it.
struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

/**
 * Answers the modal dialogs that code under test opens, one handler per
 * dialog in the order they appear. Created before the call that opens them;
 * it watches from the event loop the dialogs run.
 */
class ModalAnswerer : public QObject
{
public:
    using Handler = std::function<void(QWidget *)>;

    explicit ModalAnswerer(QList<Handler> handlers)
        : m_handlers(std::move(handlers))
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start();
    }

    /// Presses each button in turn on the message boxes that open, recording them.
    static QList<Handler> pressing(const QList<QMessageBox::StandardButton> &buttons, QList<SeenBox> *seen)
    {
        QList<Handler> handlers;
        for (QMessageBox::StandardButton button : buttons) {
            handlers << [button, seen](QWidget *widget) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box) {
                    widget->close();
                    return;
                }
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
                if (box->defaultButton()) {
                    defaultButton = box->standardButton(box->defaultButton());
                }
                seen->append({box->icon(), box->windowTitle(), box->text(), box->standardButtons(), defaultButton});
                if (QAbstractButton *target = box->button(button)) {
                    target->click();
                } else {
                    box->close();
                }
            };
        }
        return handlers;
    }

    /// Handlers not used up: dialogs that were expected but never opened.
    int pending() const
    {
        return m_handlers.size();
    }
    /// Modal dialogs that opened after every handler was used.
    int unexpected() const
    {
        return m_unexpected;
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_last) {
            return;
        }
        m_last = modal;
        if (m_handlers.isEmpty()) {
            ++m_unexpected;
            modal->close();
            return;
        }
        const Handler handler = m_handlers.takeFirst();
        handler(modal);
    }

    QList<Handler> m_handlers;
    QPointer<QWidget> m_last;
    int m_unexpected = 0;
    QTimer m_timer;
};

#endif
