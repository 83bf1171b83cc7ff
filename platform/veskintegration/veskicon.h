#ifndef VESKICON_H
#define VESKICON_H

#include "veskintegration_export.h"

#include <QIcon>
#include <QMap>
#include <QString>

#include <utility>

/**
 * Theme icons with small emblems painted into their corners.
 *
 * Emblems are rendered at whatever size the icon is asked for, so the result
 * stays sharp in lists, toolbars and on high-DPI screens alike. Emblem names
 * are looked up in the current icon theme each time the icon is drawn, which
 * keeps them in step with theme changes; names the theme lacks are left out.
 */
class VESKINTEGRATION_EXPORT VeskIcon
{
public:
    VeskIcon() = delete;

    /**
     * The theme icon @p name with the theme icon @p emblem.second drawn in
     * the corner @p emblem.first. When the theme has no icon called @p name,
     * @p fallback carries the emblem instead.
     */
    static QIcon fromTheme(const QString &name, const std::pair<Qt::Corner, QString> &emblem, const QIcon &fallback = QIcon());

    /**
     * Like the single-emblem overload, with one emblem per corner in
     * @p emblems. An empty map gives the plain theme (or fallback) icon.
     */
    static QIcon fromTheme(const QString &name, const QMap<Qt::Corner, QString> &emblems, const QIcon &fallback = QIcon());

    /**
     * A copy of @p icon with one more emblem, drawn over anything the corner
     * @p emblem.first already shows. @p icon itself is left unchanged.
     */
    static QIcon withEmblems(const QIcon &icon, const std::pair<Qt::Corner, QString> &emblem);
};

#endif
