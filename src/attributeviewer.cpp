#include "attributeviewer.h"

#include "addattributedialog.h"
#include "dialogbuttons.h"

#include <translation.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QSettings>
#include <QTextDocument>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace CUPS
{
namespace
{
const QString GeometryKey = QStringLiteral("AttributeViewer/geometry");

// Values come from users and printers; a tool tip would read "<b>" or
// "<img>" in them as markup, so show them as the text they are.
class PlainToolTipDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option, const QModelIndex &index) override
    {
        const QString toolTip = index.data(Qt::ToolTipRole).toString();
        if (event->type() != QEvent::ToolTip || toolTip.isEmpty()) {
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        }
        QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(toolTip, Qt::WhiteSpaceNormal), view);
        return true;
    }
};

QString valueText(const QVariant &value)
{
    if (value.userType() != QMetaType::QVariantList) {
        return value.toString();
    }
    QStringList texts;
    const QVariantList values = value.toList();
    for (const QVariant &element : values) {
        texts.append(element.toString());
    }
    return texts.join(QLatin1Char(','));
}

int valueCount(const QVariant &value)
{
    if (!value.isValid()) {
        return 0;
    }
    return value.userType() == QMetaType::QVariantList ? value.toList().size() : 1;
}

struct AttributeViewerUi {
    QVBoxLayout *verticalLayout = nullptr;
    QTreeWidget *treeWidget = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog)
    {
        dialog->setObjectName(QStringLiteral("AttributeViewer"));
        // Room for the longest attribute names beside their values.
        dialog->resize(760, 520);
        dialog->setWindowTitle(translated("Attributes Viewer"));

        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

        treeWidget = new QTreeWidget(dialog);
        treeWidget->setObjectName(QStringLiteral("treeWidget"));
        treeWidget->setColumnCount(2);
        treeWidget->setHeaderLabels({translated("Attribute"), translated("Value")});
        treeWidget->setAlternatingRowColors(true);
        treeWidget->setRootIsDecorated(false);
        treeWidget->setSortingEnabled(true);
        verticalLayout->addWidget(treeWidget);

        buttonBox = createButtonBox(dialog, QDialogButtonBox::Close);
        verticalLayout->addWidget(buttonBox);
    }
};
} // namespace

class AttributeViewerPrivate
{
public:
    explicit AttributeViewerPrivate(AttributeViewer *q)
        : q(q)
    {
    }

    void createActions(bool editable);
    void fillRows();
    void addRow(const QString &name, const QString &value);
    void copyColumn(int column) const;
    void addAttribute();

    AttributeViewer *const q;
    AttributeViewerUi ui;
    bool editable = false;
    // What the rows started from in this run: the attributes as given, with
    // the changes of every accepted run applied.
    QHash<QString, QVariant> attributes;
    QHash<QString, QString> modified;
};

void AttributeViewerPrivate::createActions(bool editable)
{
    QTreeWidget *tree = ui.treeWidget;
    const QIcon copyIcon = QIcon::fromTheme(QStringLiteral("edit-copy"));
    auto *copyKey = new QAction(copyIcon, translated("Copy &key"), tree);
    auto *copyValue = new QAction(copyIcon, translated("Copy &value"), tree);
    QObject::connect(copyKey, &QAction::triggered, q, [this] {
        copyColumn(0);
    });
    QObject::connect(copyValue, &QAction::triggered, q, [this] {
        copyColumn(1);
    });
    tree->addAction(copyKey);
    tree->addAction(copyValue);
    tree->setContextMenuPolicy(Qt::ActionsContextMenu);

    if (!editable) {
        return;
    }
    tree->setItemDelegateForColumn(0, new AttributeNameDelegate(tree));
    ui.buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Close);
    auto *separator = new QAction(tree);
    separator->setSeparator(true);
    tree->addAction(separator);
    auto *add = new QAction(QIcon::fromTheme(QStringLiteral("list-add")), translated("Add attribute"), tree);
    QObject::connect(add, &QAction::triggered, q, [this] {
        addAttribute();
    });
    tree->addAction(add);
}

void AttributeViewerPrivate::fillRows()
{
    QTreeWidget *tree = ui.treeWidget;
    tree->clear();
    // Rows are sorted once, after all are in, not on every insert.
    tree->setSortingEnabled(false);
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        addRow(it.key(), valueText(it.value()));
    }
    tree->setSortingEnabled(true);
    tree->sortByColumn(0, Qt::AscendingOrder);
}

void AttributeViewerPrivate::addRow(const QString &name, const QString &value)
{
    auto *item = new QTreeWidgetItem(ui.treeWidget, {name, value});
    item->setToolTip(1, value);
    if (name.startsWith(QLatin1String("mac-"))) {
        QFont font = item->font(0);
        font.setBold(true);
        item->setFont(0, font);
    }
    if (editable) {
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
}

void AttributeViewerPrivate::copyColumn(int column) const
{
    if (const QTreeWidgetItem *item = ui.treeWidget->currentItem()) {
        QApplication::clipboard()->setText(item->text(column));
    }
}

void AttributeViewerPrivate::addAttribute()
{
    AddAttributeDialog dialog(q);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QList<QTreeWidgetItem *> existing = ui.treeWidget->findItems(dialog.attribute(), Qt::MatchExactly, 0);
    if (!existing.isEmpty()) {
        existing.constFirst()->setText(1, dialog.value());
        return;
    }
    new QTreeWidgetItem(ui.treeWidget, {dialog.attribute(), dialog.value()});
}

AttributeViewer::AttributeViewer(const QHash<QString, QVariant> &attributes, bool editable, QWidget *parent)
    : QDialog(parent)
    , d(new AttributeViewerPrivate(this))
{
    d->ui.setupUi(this);
    d->attributes = attributes;
    d->editable = editable;
    d->ui.treeWidget->setItemDelegate(new PlainToolTipDelegate(d->ui.treeWidget));
    d->createActions(editable);
    d->fillRows();
    // Names are read whole (a long one is no rarity); values take the rest and show whole as tool tips.
    QHeaderView *header = d->ui.treeWidget->header();
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);

    restoreGeometry(QSettings().value(GeometryKey).toByteArray());
}

AttributeViewer::~AttributeViewer() = default;

QHash<QString, QString> AttributeViewer::modifiedAttributes() const
{
    return d->modified;
}

// Each run of a reused viewer reports its own changes only: against what
// the previous accepted run left, and nothing when it is closed.
void AttributeViewer::accept()
{
    d->modified.clear();
    QTreeWidget *tree = d->ui.treeWidget;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = tree->topLevelItem(row);
        const QString name = item->text(0);
        const QString text = item->text(1);
        const QVariant old = d->attributes.value(name);
        // A multi-valued attribute can't be written back from one text.
        if (text != valueText(old) && valueCount(old) <= 1) {
            d->modified.insert(name, text);
        }
    }
    for (auto it = d->modified.cbegin(); it != d->modified.cend(); ++it) {
        d->attributes.insert(it.key(), QVariantList{it.value()});
    }
    QDialog::accept();
}

void AttributeViewer::reject()
{
    d->modified.clear();
    if (d->editable) {
        // Edits of a closed run are dropped, so a later run starts from what was accepted.
        d->fillRows();
    }
    QSettings().setValue(GeometryKey, saveGeometry());
    QDialog::reject();
}
} // namespace CUPS
