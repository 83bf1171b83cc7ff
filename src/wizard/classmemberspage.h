#ifndef CUPS_CLASSMEMBERSPAGE_H
#define CUPS_CLASSMEMBERSPAGE_H

#include <QStringList>
#include <QWizardPage>

class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace CUPS
{
/**
 * The printers of a class: the server's printers on the left, the class
 * members on the right, moved between the two by buttons or double-click.
 */
class ClassMembersPage : public QWizardPage
{
    Q_OBJECT
    Q_PROPERTY(QStringList classMembers READ classMembers WRITE setClassMembers)
    Q_PROPERTY(bool membersEditOnly READ membersEditOnly WRITE setMembersEditOnly)
public:
    explicit ClassMembersPage(QWidget *parent = nullptr);
    ~ClassMembersPage() override;

    /// The printer URIs of the members list, top to bottom.
    QStringList classMembers() const;
    /// Stores the members and lists the server's printers again.
    void setClassMembers(const QStringList &uris);
    bool membersEditOnly() const;
    void setMembersEditOnly(bool on);

    bool isComplete() const override;
    bool validatePage() override;

public Q_SLOTS:
    void onItemDoubleClicked(QTreeWidgetItem *item);
    void addMembers();
    void removeMembers();
    void initializePage() override;

private:
    void moveSelected(QTreeWidget *from, QTreeWidget *to);

    QTreeWidget *availableTree = nullptr;
    QTreeWidget *membersTree = nullptr;
    QToolButton *addButton = nullptr;
    QToolButton *removeButton = nullptr;
    bool m_membersEditOnly = false;
    QStringList m_members;
};
} // namespace CUPS

#endif
