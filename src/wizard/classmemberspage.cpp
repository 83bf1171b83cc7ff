#include "classmemberspage.h"

#include "wizardfields.h"
#include "wizardlogging.h"

#include <destination.h>
#include <printerippactions.h>
#include <translation.h>

#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cups/cups.h>

namespace CUPS
{
namespace
{
const QString NullDevice = QStringLiteral("file:/dev/null");

QTreeWidget *printerTree(QWidget *parent, const QString &name)
{
    auto *tree = new QTreeWidget(parent);
    tree->setObjectName(name);
    tree->setHeaderLabels({translated("Name"), translated("URI")});
    tree->setRootIsDecorated(false);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setSortingEnabled(true);
    tree->sortByColumn(0, Qt::AscendingOrder);
    return tree;
}

QToolButton *moveButton(QWidget *parent, const QString &name, const QString &icon)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon::fromTheme(icon));
    return button;
}

// A queue that prints into the void is offered to no class; one that already belongs to the
// class stays listed all the same, or saving the class would drop it unnoticed.
bool isListed(const Destination &destination, const QStringList &members)
{
    if ((destination.type() & CUPS_PRINTER_CLASS) || destination.name().isEmpty() || destination.uri().isEmpty()) {
        return false;
    }
    return destination.deviceUri() != NullDevice || members.contains(destination.uri());
}

// Names are read whole, in whichever list a row is.
void fitColumns(QTreeWidget *tree)
{
    tree->resizeColumnToContents(0);
    tree->resizeColumnToContents(1);
}

QTreeWidgetItem *printerRow(const Destination &destination)
{
    const QString uri = destination.uri();
    auto *item = new QTreeWidgetItem({destination.name(), QUrl::fromPercentEncoding(uri.toLatin1())});
    item->setData(0, Qt::UserRole, uri);
    return item;
}
} // namespace

ClassMembersPage::ClassMembersPage(QWidget *parent)
    : QWizardPage(parent)
{
    setTitle(translated("Select members of class"));
    setSubTitle(translated("Move printers, which you want to add to class, from left list to right list"));

    auto *group = new QGroupBox(title(), this);
    availableTree = printerTree(group, QStringLiteral("availableTree"));
    membersTree = printerTree(group, QStringLiteral("membersTree"));
    addButton = moveButton(group, QStringLiteral("addButton"), QStringLiteral("go-next"));
    removeButton = moveButton(group, QStringLiteral("removeButton"), QStringLiteral("go-previous"));

    auto *buttons = new QVBoxLayout;
    buttons->addStretch();
    buttons->addWidget(addButton);
    buttons->addWidget(removeButton);
    buttons->addStretch();
    auto *lists = new QHBoxLayout(group);
    lists->addWidget(availableTree);
    lists->addLayout(buttons);
    lists->addWidget(membersTree);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);

    using namespace Wizard;
    registerField(Field::ClassMembers, this, "classMembers");
    registerField(Field::MembersEdit, this, "membersEditOnly");

    connect(addButton, &QToolButton::clicked, this, &ClassMembersPage::addMembers);
    connect(removeButton, &QToolButton::clicked, this, &ClassMembersPage::removeMembers);
    connect(availableTree, &QTreeWidget::itemDoubleClicked, this, &ClassMembersPage::onItemDoubleClicked);
    connect(membersTree, &QTreeWidget::itemDoubleClicked, this, &ClassMembersPage::onItemDoubleClicked);
}

ClassMembersPage::~ClassMembersPage() = default;

QStringList ClassMembersPage::classMembers() const
{
    QStringList uris;
    uris.reserve(membersTree->topLevelItemCount());
    for (int row = 0; row < membersTree->topLevelItemCount(); ++row) {
        uris.append(membersTree->topLevelItem(row)->data(0, Qt::UserRole).toString());
    }
    return uris;
}

void ClassMembersPage::setClassMembers(const QStringList &uris)
{
    qCDebug(CUPS_WIZARD) << "class members:" << uris;
    m_members = uris;
    initializePage();
}

bool ClassMembersPage::membersEditOnly() const
{
    return m_membersEditOnly;
}

void ClassMembersPage::setMembersEditOnly(bool on)
{
    m_membersEditOnly = on;
}

bool ClassMembersPage::isComplete() const
{
    return membersTree->topLevelItemCount() > 0;
}

bool ClassMembersPage::validatePage()
{
    return isComplete();
}

void ClassMembersPage::initializePage()
{
    membersTree->clear();
    availableTree->clear();
    const QList<Destination> destinations = PrinterIppActions::instance()->getDestinations(nullptr);
    for (const Destination &destination : destinations) {
        if (isListed(destination, m_members)) {
            QTreeWidget *tree = m_members.contains(destination.uri()) ? membersTree : availableTree;
            tree->addTopLevelItem(printerRow(destination));
        }
    }
    fitColumns(availableTree);
    fitColumns(membersTree);
    Q_EMIT completeChanged();
}

void ClassMembersPage::onItemDoubleClicked(QTreeWidgetItem *item)
{
    if (!item) {
        return;
    }
    // The double-clicked row is the one to move, whatever else is selected.
    QTreeWidget *tree = item->treeWidget();
    tree->clearSelection();
    item->setSelected(true);
    if (tree == membersTree) {
        removeMembers();
    } else if (tree == availableTree) {
        addMembers();
    }
}

void ClassMembersPage::addMembers()
{
    moveSelected(availableTree, membersTree);
}

void ClassMembersPage::removeMembers()
{
    moveSelected(membersTree, availableTree);
}

void ClassMembersPage::moveSelected(QTreeWidget *from, QTreeWidget *to)
{
    const QList<QTreeWidgetItem *> selected = from->selectedItems();
    for (QTreeWidgetItem *item : selected) {
        to->insertTopLevelItem(0, from->takeTopLevelItem(from->indexOfTopLevelItem(item)));
    }
    fitColumns(to);
    Q_EMIT completeChanged();
}
} // namespace CUPS
