#ifndef TELMAR_MACLEVELCOMBOBOX_H
#define TELMAR_MACLEVELCOMBOBOX_H

#include "telmarmacqt5_export.h"

#include <QComboBox>

#include <memory>

namespace TelmarQt5
{
class MacLevelComboBoxPrivate;
class ILevelComboBoxPrivate;

/**
 * Chooses a confidentiality level (0-255) by name.
 *
 * The combo offers the named levels between minimumValue() and
 * maximumValue(). Names come from the [levels] section of the MAC
 * configuration file (see telmarmac.h) or, without one, from a built-in
 * table (0 Unclassified, 1 Confidential, 2 Secret, 3 Top secret). Each item
 * shows the name and carries the level as unsigned int item data
 * (Qt::UserRole). A level without a name that the widget is given, through
 * setValue() or a bound, gets an item "Level N" of its own, which stays
 * offered while it lies within the bounds: loading and saving a label never
 * loses a level just because nobody named it.
 *
 * valueChanged() is emitted whenever the value changes, whether the user
 * picks another item, a bound moves the value or setValue() is called
 * without @c silent. This lets two combos be chained, the valueChanged() of
 * one feeding setMaximumValue() or setMinimumValue() of the other, and stay
 * consistent even when filled by setValue().
 */
class TELMARMACQT5_EXPORT MacLevelComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit MacLevelComboBox(QWidget *parent = nullptr);
    ~MacLevelComboBox() override;

    /// Reads the names again and refills the items; value and bounds stay.
    void rebuild();

    unsigned char value() const;
    unsigned char minimumValue() const;
    unsigned char maximumValue() const;

public Q_SLOTS:
    /**
     * Makes @p value current; a value outside the bounds is moved to the
     * nearest bound. With @p silent false valueChanged() is emitted when
     * the value changes; with @p silent true it is not.
     */
    void setValue(unsigned char value, bool silent = false);

    /// Lowest level offered. A maximum below it is raised to it; a current
    /// value below it moves up to it.
    void setMinimumValue(unsigned char value);

    /// Highest level offered. A minimum above it is lowered to it; a current
    /// value above it moves down to it.
    void setMaximumValue(unsigned char value);

Q_SIGNALS:
    void valueChanged(unsigned char value);

private:
    std::unique_ptr<MacLevelComboBoxPrivate> const d;
};

/**
 * Chooses an integrity level (0-4294967295) by name; behaves exactly like
 * MacLevelComboBox. Names come from the [integrity] section of the MAC
 * configuration file or a built-in table (0 Low, 1 Medium, 2 High);
 * unnamed levels show as "Integrity level N".
 */
class TELMARMACQT5_EXPORT ILevelComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit ILevelComboBox(QWidget *parent = nullptr);
    ~ILevelComboBox() override;

    void rebuild();

    unsigned int value() const;
    unsigned int minimumValue() const;
    unsigned int maximumValue() const;

public Q_SLOTS:
    void setValue(unsigned int value, bool silent = false);
    void setMinimumValue(unsigned int value);
    void setMaximumValue(unsigned int value);

Q_SIGNALS:
    void valueChanged(unsigned int value);

private:
    std::unique_ptr<ILevelComboBoxPrivate> const d;
};
} // namespace TelmarQt5

#endif
