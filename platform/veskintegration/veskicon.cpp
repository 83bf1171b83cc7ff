#include "veskicon.h"

#include <QIconEngine>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QVector>

namespace
{

struct EmblemLayer {
    Qt::Corner corner;
    QString name;
};

// Where an emblem sits inside its box, so an emblem the theme can only
// offer smaller than asked for still hugs the icon's corner.
Qt::Alignment cornerAlignment(Qt::Corner corner)
{
    switch (corner) {
    case Qt::TopLeftCorner:
        return Qt::AlignTop | Qt::AlignLeft;
    case Qt::TopRightCorner:
        return Qt::AlignTop | Qt::AlignRight;
    case Qt::BottomLeftCorner:
        return Qt::AlignBottom | Qt::AlignLeft;
    case Qt::BottomRightCorner:
        return Qt::AlignBottom | Qt::AlignRight;
    }
    return Qt::AlignCenter;
}

QRect alignedRect(Qt::Alignment alignment, const QSize &size, const QRect &area)
{
    int x = area.x() + (area.width() - size.width()) / 2;
    int y = area.y() + (area.height() - size.height()) / 2;
    if (alignment & Qt::AlignLeft) {
        x = area.x();
    } else if (alignment & Qt::AlignRight) {
        x = area.right() + 1 - size.width();
    }
    if (alignment & Qt::AlignTop) {
        y = area.y();
    } else if (alignment & Qt::AlignBottom) {
        y = area.bottom() + 1 - size.height();
    }
    return QRect(QPoint(x, y), size);
}

// Scales rather than centres a smaller pixmap: themes often miss a size, and
// an emblem icon must fill the requested size for its corners to line up
// with those of the icon underneath when emblem icons are stacked.
void drawFitted(QPainter &painter, const QPixmap &pixmap, const QRect &area, Qt::Alignment alignment)
{
    if (pixmap.isNull()) {
        return;
    }
    const QSize size = pixmap.size().scaled(area.size(), Qt::KeepAspectRatio);
    painter.drawPixmap(alignedRect(alignment, size, area), pixmap);
}

class EmblemIconEngine : public QIconEngine
{
public:
    EmblemIconEngine(const QIcon &base, const QVector<EmblemLayer> &layers)
        : m_base(base)
        , m_layers(layers)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        // Render at device resolution so the emblems stay crisp on high-DPI
        // screens instead of being upscaled by the painter.
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap rendered = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        rendered.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, rendered);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        if (size.isEmpty() || m_base.isNull()) {
            return QPixmap();
        }

        QPixmap canvas(size);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);

        const QRect area(QPoint(0, 0), size);
        drawFitted(painter, m_base.pixmap(size, mode, state), area, Qt::AlignCenter);

        // Half the edge keeps an emblem recognisable while most of the icon
        // stays visible. Below two pixels an emblem would cover the whole
        // icon and misrepresent it, so tiny renderings show the plain icon.
        const int edge = qMin(size.width(), size.height()) / 2;
        if (edge > 0) {
            const QSize emblemSize(edge, edge);
            for (const EmblemLayer &layer : m_layers) {
                const QIcon emblem = QIcon::fromTheme(layer.name);
                if (emblem.isNull()) {
                    continue;
                }
                const Qt::Alignment alignment = cornerAlignment(layer.corner);
                const QRect box = alignedRect(alignment, emblemSize, area);
                drawFitted(painter, emblem.pixmap(emblemSize, mode, state), box, alignment);
            }
        }
        painter.end();
        return canvas;
    }

    QString key() const override
    {
        return QStringLiteral("VeskIconEngine");
    }

    QIconEngine *clone() const override
    {
        return new EmblemIconEngine(*this);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) const override
    {
        return m_base.availableSizes(mode, state);
    }

    QString iconName() const override
    {
        return m_base.name();
    }

    void virtual_hook(int id, void *data) override
    {
        // QIcon::isNull() asks through this hook; without it a wrapper around
        // a null icon would claim to be drawable.
        if (id == QIconEngine::IsNullHook) {
            *reinterpret_cast<bool *>(data) = m_base.isNull();
            return;
        }
        QIconEngine::virtual_hook(id, data);
    }

private:
    EmblemIconEngine(const EmblemIconEngine &other) = default;

    const QIcon m_base;
    const QVector<EmblemLayer> m_layers;
};

QIcon emblemIcon(const QIcon &base, const QVector<EmblemLayer> &layers)
{
    if (base.isNull() || layers.isEmpty()) {
        return base;
    }
    return QIcon(new EmblemIconEngine(base, layers));
}

} // namespace

QIcon VeskIcon::fromTheme(const QString &name, const std::pair<Qt::Corner, QString> &emblem, const QIcon &fallback)
{
    return emblemIcon(QIcon::fromTheme(name, fallback), {{emblem.first, emblem.second}});
}

QIcon VeskIcon::fromTheme(const QString &name, const QMap<Qt::Corner, QString> &emblems, const QIcon &fallback)
{
    QVector<EmblemLayer> layers;
    layers.reserve(emblems.size());
    for (auto it = emblems.cbegin(); it != emblems.cend(); ++it) {
        layers.append({it.key(), it.value()});
    }
    return emblemIcon(QIcon::fromTheme(name, fallback), layers);
}

// QIcon gives no access to its engine, so an emblem icon cannot be extended in
// place; it becomes the base of a new one instead. Every engine renders its
// base at the requested size, so the stack stays as sharp as a single layer.
QIcon VeskIcon::withEmblems(const QIcon &icon, const std::pair<Qt::Corner, QString> &emblem)
{
    return emblemIcon(icon, {{emblem.first, emblem.second}});
}
