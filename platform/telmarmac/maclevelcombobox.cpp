#include "maclevelcombobox.h"
#include "macconfig.h"

#include <QSet>

#include <functional>
#include <limits>

namespace TelmarQt5
{
namespace
{
// What both level combos share; only the value type and the names differ.
class LevelChooser
{
public:
    LevelChooser(QComboBox *combo, MacConfig::Kind kind, quint64 highest, std::function<void(quint64)> changed)
        : m_combo(combo)
        , m_kind(kind)
        , m_maximum(highest)
        , m_changed(std::move(changed))
    {
        m_indexConnection = QObject::connect(m_combo, QOverload<int>::of(&QComboBox::currentIndexChanged), m_combo, [this](int index) {
            onCurrentIndexChanged(index);
        });
        rebuild();
    }

    // The combo's own destructor runs after this one and may still move its
    // current index; nobody must hear of that.
    ~LevelChooser()
    {
        QObject::disconnect(m_indexConnection);
    }

    LevelChooser(const LevelChooser &) = delete;
    LevelChooser &operator=(const LevelChooser &) = delete;

    quint64 value() const
    {
        return m_value;
    }
    quint64 minimum() const
    {
        return m_minimum;
    }
    quint64 maximum() const
    {
        return m_maximum;
    }

    void rebuild()
    {
        m_names = MacConfig::names(m_kind);
        refill();
    }

    void setValue(quint64 value, bool silent)
    {
        change(qBound(m_minimum, value, m_maximum), !silent);
    }

    void setMinimum(quint64 minimum)
    {
        m_minimum = minimum;
        m_maximum = qMax(m_maximum, minimum);
        change(qBound(m_minimum, m_value, m_maximum), true);
    }

    void setMaximum(quint64 maximum)
    {
        m_maximum = maximum;
        m_minimum = qMin(m_minimum, maximum);
        change(qBound(m_minimum, m_value, m_maximum), true);
    }

private:
    void change(quint64 value, bool notify)
    {
        const bool changed = value != m_value;
        m_value = value;
        refill();
        if (changed && notify) {
            m_changed(value);
        }
    }

    // Only the values in bounds get items: a combo with four billion
    // integrity levels would be of no use to anybody.
    QMap<quint64, QString> offered()
    {
        QMap<quint64, QString> offered;
        for (auto it = qAsConst(m_names).lowerBound(m_minimum); it != m_names.cend() && it.key() <= m_maximum; ++it) {
            offered.insert(it.key(), it.value());
        }
        // The current value always has an item, named or not, and keeps it
        // while it lies within the bounds.
        if (!m_names.contains(m_value)) {
            m_unnamed.insert(m_value);
        }
        for (quint64 value : qAsConst(m_unnamed)) {
            if (value >= m_minimum && value <= m_maximum && !offered.contains(value)) {
                offered.insert(value, MacConfig::unnamed(m_kind, value));
            }
        }
        return offered;
    }

    // Edits the items in place instead of clearing them: chained combos set
    // each other's bounds from inside this combo's own index change, and the
    // item the user just chose should stay the same item throughout.
    void refill()
    {
        m_filling = true;
        const QMap<quint64, QString> wanted = offered();
        for (int row = m_combo->count() - 1; row >= 0; --row) {
            const auto found = wanted.constFind(valueAt(row));
            if (found == wanted.cend() || found.value() != m_combo->itemText(row)) {
                m_combo->removeItem(row);
            }
        }
        int row = 0;
        for (auto it = wanted.cbegin(); it != wanted.cend(); ++it, ++row) {
            if (row >= m_combo->count() || valueAt(row) != it.key()) {
                m_combo->insertItem(row, it.value(), static_cast<uint>(it.key()));
            }
        }
        m_combo->setCurrentIndex(m_combo->findData(static_cast<uint>(m_value)));
        m_filling = false;
    }

    quint64 valueAt(int row) const
    {
        return m_combo->itemData(row).toUInt();
    }

    void onCurrentIndexChanged(int index)
    {
        if (m_filling || index < 0) {
            return;
        }
        const quint64 value = valueAt(index);
        if (value != m_value) {
            m_value = value;
            m_changed(value);
        }
    }

    QComboBox *const m_combo;
    QMetaObject::Connection m_indexConnection;
    const MacConfig::Kind m_kind;
    QMap<quint64, QString> m_names;
    // Values handed in without a name; kept so the user can go back to them.
    QSet<quint64> m_unnamed;
    quint64 m_minimum = 0;
    quint64 m_maximum;
    quint64 m_value = 0;
    bool m_filling = false;
    const std::function<void(quint64)> m_changed;
};
} // namespace

class MacLevelComboBoxPrivate : public LevelChooser
{
public:
    explicit MacLevelComboBoxPrivate(MacLevelComboBox *q)
        : LevelChooser(q, MacConfig::Kind::Level, std::numeric_limits<unsigned char>::max(), [q](quint64 value) {
            Q_EMIT q->valueChanged(static_cast<unsigned char>(value));
        })
    {
    }
};

MacLevelComboBox::MacLevelComboBox(QWidget *parent)
    : QComboBox(parent)
    , d(new MacLevelComboBoxPrivate(this))
{
}

MacLevelComboBox::~MacLevelComboBox() = default;

void MacLevelComboBox::rebuild()
{
    d->rebuild();
}

unsigned char MacLevelComboBox::value() const
{
    return static_cast<unsigned char>(d->value());
}

unsigned char MacLevelComboBox::minimumValue() const
{
    return static_cast<unsigned char>(d->minimum());
}

unsigned char MacLevelComboBox::maximumValue() const
{
    return static_cast<unsigned char>(d->maximum());
}

void MacLevelComboBox::setValue(unsigned char value, bool silent)
{
    d->setValue(value, silent);
}

void MacLevelComboBox::setMinimumValue(unsigned char value)
{
    d->setMinimum(value);
}

void MacLevelComboBox::setMaximumValue(unsigned char value)
{
    d->setMaximum(value);
}

class ILevelComboBoxPrivate : public LevelChooser
{
public:
    explicit ILevelComboBoxPrivate(ILevelComboBox *q)
        : LevelChooser(q, MacConfig::Kind::Integrity, std::numeric_limits<unsigned int>::max(), [q](quint64 value) {
            Q_EMIT q->valueChanged(static_cast<unsigned int>(value));
        })
    {
    }
};

ILevelComboBox::ILevelComboBox(QWidget *parent)
    : QComboBox(parent)
    , d(new ILevelComboBoxPrivate(this))
{
}

ILevelComboBox::~ILevelComboBox() = default;

void ILevelComboBox::rebuild()
{
    d->rebuild();
}

unsigned int ILevelComboBox::value() const
{
    return static_cast<unsigned int>(d->value());
}

unsigned int ILevelComboBox::minimumValue() const
{
    return static_cast<unsigned int>(d->minimum());
}

unsigned int ILevelComboBox::maximumValue() const
{
    return static_cast<unsigned int>(d->maximum());
}

void ILevelComboBox::setValue(unsigned int value, bool silent)
{
    d->setValue(value, silent);
}

void ILevelComboBox::setMinimumValue(unsigned int value)
{
    d->setMinimum(value);
}

void ILevelComboBox::setMaximumValue(unsigned int value)
{
    d->setMaximum(value);
}
} // namespace TelmarQt5
