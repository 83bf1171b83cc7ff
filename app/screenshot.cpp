#include "screenshot.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPainter>
#include <QPalette>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace Screenshot
{
namespace
{
// Line edits fade their clear buttons in and out (an "opacity" property).
bool isFading(const QWidget *widget)
{
    const QList<QToolButton *> buttons = widget->findChildren<QToolButton *>();
    return std::any_of(buttons.cbegin(), buttons.cend(), [](const QToolButton *button) {
        const QVariant opacity = button->property("opacity");
        return opacity.isValid() && opacity.toReal() > 0 && opacity.toReal() < 1;
    });
}
} // namespace

QPixmap grab(QWidget *widget)
{
    // A few rounds: settling one layout may post work for another.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    // A fade takes a fraction of a second; a picture shows the buttons at rest.
    const QDeadlineTimer deadline(1000);
    while (isFading(widget) && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return widget->grab();
}

bool save(const QPixmap &picture, const QString &file)
{
    if (picture.isNull() || !picture.save(file, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("screenshot written to %s\n", qPrintable(file));
    std::fflush(stdout);
    return true;
}

QPixmap sideBySide(const QPixmap &left, const QPixmap &right)
{
    QPixmap picture(left.width() + right.width(), std::max(left.height(), right.height()));
    picture.fill(QApplication::palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, left);
    painter.drawPixmap(left.width(), 0, right);
    return picture;
}

bool grabModal(const std::function<void()> &open, const std::function<bool(QWidget *)> &picture)
{
    bool pictured = false;
    // The modal dialog runs its own event loop inside open(); the timer fires there.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll.stop();
            pictured = picture(modal);
            modal->close();
        }
    });
    poll.start(20);
    open();
    return pictured;
}
} // namespace Screenshot
