#ifndef CUPS_SELECTBACKENDPAGE_H
#define CUPS_SELECTBACKENDPAGE_H

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTreeWidgetItem>
#include <QWizardPage>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace CUPS
{
/// A row of the connection tree: its label, its device URI, and what the user may do with it.
class BackendTreeItem : public QTreeWidgetItem
{
public:
    enum { Type = QTreeWidgetItem::UserType + 100 };

    BackendTreeItem(const QStringList &texts, const QString &backend, bool canScan, bool uriEditable);

    /// "parallel", "serial" or empty.
    const QString backend;
    /// The network scan may be started for this row.
    const bool canScan;
    /// The user may type this row's URI.
    const bool uriEditable;
};

/**
 * The manual choice of how the printer is connected: a local parallel or
 * serial port, a network printer found by the scan, or a typed device URI.
 * Its validation hands the device URI on, and a chosen IPP queue's own
 * name, description, location and organization.
 */
class SelectBackendPage : public QWizardPage
{
    Q_OBJECT
public:
    explicit SelectBackendPage(QWidget *parent = nullptr);
    ~SelectBackendPage() override;

    bool validatePage() override;
    bool isComplete() const override;

    /// The accepted form of a typed URI, empty when it is not acceptable.
    static QString normalizeUri(const QString &text);

    /**
     * Asks the LPD server at host:port for the short state of queue (the
     * RFC 1179 request 03), waiting at most timeoutMsecs in all. A name the
     * request cannot carry is refused without connecting. On failure error
     * gets the reason.
     */
    static bool probeLpdQueue(const QString &host, quint16 port, const QString &queue, int timeoutMsecs, QString *error);

    /// Where the parallel ports are listed; "/sys/class/printer" unless a test moves it.
    static void setSysfsPrinterFolder(const QString &path);
    /// The udevadm program that names a port's device node; "/sbin/udevadm" unless a test replaces it.
    static void setUdevadmPath(const QString &path);

public Q_SLOTS:
    void initializePage() override;
    void on_backendTree_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void on_backendTree_itemDoubleClicked(QTreeWidgetItem *item);
    void resizeColumns();
    void on_scanButton_clicked();
    void updateUri(const QString &text);

private:
    void setupForm();
    BackendTreeItem *parallelGroup() const;
    BackendTreeItem *serialGroup() const;
    BackendTreeItem *currentBackendItem() const;
    QString getDeviceName(const QString &sysPath) const;
    QString getLpdQueue(const QString &address);
    QString selectIppQueue(const QString &address, QHash<QString, QString> &attributes);

    QTreeWidget *backendTree = nullptr;
    QPushButton *scanButton = nullptr;
    QLineEdit *m_uriEdit = nullptr;
};
} // namespace CUPS

#endif
