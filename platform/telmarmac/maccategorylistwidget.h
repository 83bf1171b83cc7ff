#ifndef TELMAR_MACCATEGORYLISTWIDGET_H
#define TELMAR_MACCATEGORYLISTWIDGET_H

#include "telmarmacqt5_export.h"

#include <QListWidget>

#include <memory>

// Category sets travel as unsigned long and must hold all 64 categories.
static_assert(sizeof(unsigned long) == 8, "a category mask needs a 64-bit unsigned long");

namespace TelmarQt5
{
class MacCategoryListWidgetPrivate;

/**
 * Chooses a set of categories (a 64-bit mask, bit n for category n) with one
 * checkable item per category.
 *
 * The items are the categories named in the [categories] section of the MAC
 * configuration file (see telmarmac.h) or, without one, the built-in
 * "Category 0" to "Category 7", in ascending order. Each item shows the name,
 * carries the category number (0-63) as int item data (Qt::UserRole) and its
 * membership as Qt::CheckStateRole. A category without a name that is set
 * through setValue() gets an item "Category N", so a mask read from a label
 * comes back whole.
 *
 * valueChanged() is emitted when the check state of an item changes, by the
 * user or by code that sets an item's check state; setValue() and rebuild()
 * stay silent.
 */
class TELMARMACQT5_EXPORT MacCategoryListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit MacCategoryListWidget(QWidget *parent = nullptr);
    ~MacCategoryListWidget() override;

    /// Reads the names again and refills the items; the checked set stays.
    void rebuild();

    /// The mask of the checked items.
    unsigned long value() const;

public Q_SLOTS:
    /// Checks exactly the categories in @p value.
    void setValue(unsigned long value);

Q_SIGNALS:
    void valueChanged(unsigned long value);

private:
    std::unique_ptr<MacCategoryListWidgetPrivate> const d;
};
} // namespace TelmarQt5

#endif
