#include "maccategorylistwidget.h"
#include "macconfig.h"

namespace TelmarQt5
{
namespace
{
constexpr int s_categoryCount = 64;

unsigned long bit(int category)
{
    return 1UL << category;
}
} // namespace

class MacCategoryListWidgetPrivate
{
public:
    explicit MacCategoryListWidgetPrivate(MacCategoryListWidget *q)
        : q(q)
    {
    }

    void rebuild(unsigned long checked)
    {
        updating = true;
        q->clear();
        const QMap<quint64, QString> names = MacConfig::names(MacConfig::Kind::Category);
        for (auto it = names.cbegin(); it != names.cend(); ++it) {
            addItem(static_cast<int>(it.key()), it.value());
        }
        updating = false;
        apply(checked);
    }

    // Changes check states in place rather than rebuilding, so a slot that
    // reacts to one item's change may safely set the value of this list.
    void apply(unsigned long checked)
    {
        updating = true;
        for (int category = 0; category < s_categoryCount; ++category) {
            if ((checked & bit(category)) && !hasItem(category)) {
                addItem(category, MacConfig::unnamed(MacConfig::Kind::Category, static_cast<quint64>(category)));
            }
        }
        for (int row = 0; row < q->count(); ++row) {
            QListWidgetItem *item = q->item(row);
            item->setCheckState((checked & bit(categoryOf(item))) ? Qt::Checked : Qt::Unchecked);
        }
        known = checked;
        updating = false;
    }

    static int categoryOf(const QListWidgetItem *item)
    {
        return item->data(Qt::UserRole).toInt();
    }

    bool hasItem(int category) const
    {
        for (int row = 0; row < q->count(); ++row) {
            if (categoryOf(q->item(row)) == category) {
                return true;
            }
        }
        return false;
    }

    // Keeps the items in category order.
    void addItem(int category, const QString &name)
    {
        int row = 0;
        while (row < q->count() && categoryOf(q->item(row)) < category) {
            ++row;
        }
        auto *item = new QListWidgetItem(name);
        item->setData(Qt::UserRole, category);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        q->insertItem(row, item);
    }

    unsigned long checkedMask() const
    {
        unsigned long mask = 0;
        for (int row = 0; row < q->count(); ++row) {
            const QListWidgetItem *item = q->item(row);
            if (item->checkState() == Qt::Checked) {
                mask |= bit(categoryOf(item));
            }
        }
        return mask;
    }

    void onItemChanged()
    {
        if (updating) {
            return;
        }
        // itemChanged also fires for a new text; only the set matters.
        const unsigned long mask = checkedMask();
        if (mask != known) {
            known = mask;
            Q_EMIT q->valueChanged(mask);
        }
    }

    MacCategoryListWidget *const q;
    unsigned long known = 0;
    bool updating = false;
};

MacCategoryListWidget::MacCategoryListWidget(QWidget *parent)
    : QListWidget(parent)
    , d(new MacCategoryListWidgetPrivate(this))
{
    d->rebuild(0);
    connect(this, &QListWidget::itemChanged, this, [this]() {
        d->onItemChanged();
    });
}

MacCategoryListWidget::~MacCategoryListWidget()
{
    // Items die in the base destructor, after d; none of that is news.
    disconnect(this, &QListWidget::itemChanged, this, nullptr);
}

void MacCategoryListWidget::rebuild()
{
    d->rebuild(d->checkedMask());
}

unsigned long MacCategoryListWidget::value() const
{
    return d->checkedMask();
}

void MacCategoryListWidget::setValue(unsigned long value)
{
    d->apply(value);
}
} // namespace TelmarQt5
