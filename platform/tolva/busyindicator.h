#ifndef TOLVA_BUSYINDICATOR_H
#define TOLVA_BUSYINDICATOR_H

#include "tolvawidgets_export.h"

#include <QWidget>

#include <memory>

namespace Tolva
{
class BusyIndicatorPrivate;

/**
 * A spinning ring of dots that says "working, please wait". It turns while
 * running and shows nothing once stopped.
 */
class TOLVAWIDGETS_EXPORT BusyIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget *parent = nullptr);
    ~BusyIndicator() override;

    bool isRunning() const;
    /// The step the animation shows now; it advances while running.
    int frame() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public Q_SLOTS:
    void start();
    void stop();

Q_SIGNALS:
    /// The animation advanced to frame.
    void frameChanged(int frame);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<BusyIndicatorPrivate> const d;
};
} // namespace Tolva

#endif
