#ifndef VESKHOSTADDRESS_H
#define VESKHOSTADDRESS_H

#include "veskuinet_export.h"

#include <QString>
#include <QWidget>

#include <memory>

class VeskHostAddressPrivate;

/**
 * An input field for one IPv4 address, typed or pasted as the usual dotted
 * text ("192.168.0.5"). Keys that cannot lead to an address are refused and
 * blanks around a pasted address are dropped, so the field never holds more
 * than the beginning of an address.
 */
class VESKUINET_EXPORT VeskHostAddress : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString address READ address WRITE setAddress NOTIFY addressChanged USER true)
public:
    explicit VeskHostAddress(QWidget *parent = nullptr);
    ~VeskHostAddress() override;

    /// True when the field holds a complete address.
    bool isValid() const;
    /// The address as four decimal numbers joined by dots, empty while the field holds none.
    QString address() const;
    /// Shows address; a text that is no IPv4 address empties the field.
    void setAddress(const QString &address);

Q_SIGNALS:
    /// address() changed: to another address, or to empty.
    void addressChanged(const QString &address);

private:
    std::unique_ptr<VeskHostAddressPrivate> const d;
};

#endif
