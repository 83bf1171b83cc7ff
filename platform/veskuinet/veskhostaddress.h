#ifndef VESKHOSTADDRESS_H
#define VESKHOSTADDRESS_H

#include "veskuinet_export.h"

#include <QHostAddress>
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
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY addressChanged USER true)
public:
    explicit VeskHostAddress(QWidget *parent = nullptr);
    ~VeskHostAddress() override;

    /// True when the field holds a complete address.
    bool isValid() const;
    /// The address; a null address while the field holds none.
    QHostAddress address() const;
    /// Shows address; anything but an IPv4 address empties the field.
    void setAddress(const QHostAddress &address);
    /// The address as four decimal numbers joined by dots, empty while the field holds none.
    QString text() const;
    /// Shows the address written in text; a text that is no IPv4 address empties the field.
    void setText(const QString &text);

Q_SIGNALS:
    /// The address changed: to another one, or to none.
    void addressChanged(const QString &address);

private:
    std::unique_ptr<VeskHostAddressPrivate> const d;
};

#endif
