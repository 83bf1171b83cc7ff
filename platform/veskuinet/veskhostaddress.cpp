#include "veskhostaddress.h"

#include <QLineEdit>
#include <QValidator>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
constexpr int Octets = 4;
constexpr int MaxOctetDigits = 3;
constexpr int MaxOctet = 255;
const QChar Dot = QLatin1Char('.');

bool isAsciiDigits(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

// An octet as typed so far: up to three digits of at most 255; empty while the user has yet to type it.
bool isOctetBeginning(const QString &part)
{
    return part.size() <= MaxOctetDigits && isAsciiDigits(part) && (part.isEmpty() || part.toInt() <= MaxOctet);
}

// The address in its plain form ("010" reads as decimal 10), or empty when text is no dotted quad.
QString normalized(const QString &text)
{
    const QStringList parts = text.split(Dot);
    if (parts.size() != Octets) {
        return QString();
    }
    QStringList octets;
    for (const QString &part : parts) {
        if (part.isEmpty() || !isOctetBeginning(part)) {
            return QString();
        }
        octets.append(QString::number(part.toInt()));
    }
    return octets.join(Dot);
}

class Ipv4Validator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override
    {
        // Pasted addresses often bring blanks or a line break along.
        for (int i = input.size() - 1; i >= 0; --i) {
            if (input.at(i).isSpace()) {
                input.remove(i, 1);
                pos -= i < pos ? 1 : 0;
            }
        }
        const QStringList parts = input.split(Dot);
        if (parts.size() > Octets || !std::all_of(parts.cbegin(), parts.cend(), isOctetBeginning)) {
            return Invalid;
        }
        return normalized(input).isEmpty() ? Intermediate : Acceptable;
    }
};
} // namespace

class VeskHostAddressPrivate
{
public:
    QLineEdit *edit = nullptr;
    QString address;
};

VeskHostAddress::VeskHostAddress(QWidget *parent)
    : QWidget(parent)
    , d(new VeskHostAddressPrivate)
{
    d->edit = new QLineEdit(this);
    d->edit->setObjectName(QStringLiteral("addressEdit"));
    d->edit->setValidator(new Ipv4Validator(d->edit));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->edit);
    setFocusProxy(d->edit);
    setSizePolicy(d->edit->sizePolicy());

    connect(d->edit, &QLineEdit::textChanged, this, [this](const QString &text) {
        const QString address = normalized(text);
        if (address != d->address) {
            d->address = address;
            Q_EMIT addressChanged(address);
        }
    });
}

VeskHostAddress::~VeskHostAddress() = default;

bool VeskHostAddress::isValid() const
{
    return !d->address.isEmpty();
}

QHostAddress VeskHostAddress::address() const
{
    return d->address.isEmpty() ? QHostAddress() : QHostAddress(d->address);
}

void VeskHostAddress::setAddress(const QHostAddress &address)
{
    setText(address.protocol() == QAbstractSocket::IPv4Protocol ? address.toString() : QString());
}

QString VeskHostAddress::text() const
{
    return d->address;
}

void VeskHostAddress::setText(const QString &text)
{
    d->edit->setText(normalized(text.trimmed()));
}
