#include "busyindicator.h"

#include <QPainter>
#include <QTimer>

namespace Tolva
{
namespace
{
constexpr int Dots = 12;
constexpr int FrameMsecs = 80;
} // namespace

class BusyIndicatorPrivate
{
public:
    explicit BusyIndicatorPrivate(BusyIndicator *indicator)
        : timer(new QTimer(indicator))
    {
        timer->setInterval(FrameMsecs);
    }

    QTimer *const timer;
    int frame = 0;
};

BusyIndicator::BusyIndicator(QWidget *parent)
    : QWidget(parent)
    , d(new BusyIndicatorPrivate(this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(d->timer, &QTimer::timeout, this, [this] {
        d->frame = (d->frame + 1) % Dots;
        update();
        Q_EMIT frameChanged(d->frame);
    });
}

BusyIndicator::~BusyIndicator() = default;

bool BusyIndicator::isRunning() const
{
    return d->timer->isActive();
}

int BusyIndicator::frame() const
{
    return d->frame;
}

QSize BusyIndicator::sizeHint() const
{
    return QSize(32, 32);
}

QSize BusyIndicator::minimumSizeHint() const
{
    return QSize(16, 16);
}

void BusyIndicator::start()
{
    if (!d->timer->isActive()) {
        d->timer->start();
        update();
    }
}

void BusyIndicator::stop()
{
    d->timer->stop();
    update();
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    if (!isRunning()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    painter.scale(side / 32.0, side / 32.0);
    painter.setPen(Qt::NoPen);
    QColor color = palette().color(QPalette::WindowText);
    // The dot at the current frame is the darkest; the ones behind it fade out.
    for (int i = 0; i < Dots; ++i) {
        const int age = (frame() - i + Dots) % Dots;
        color.setAlphaF(1.0 - age / double(Dots));
        painter.save();
        painter.rotate(i * 360.0 / Dots);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(0, -11), 2.5, 2.5);
        painter.restore();
    }
}
} // namespace Tolva
