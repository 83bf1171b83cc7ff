#ifndef CUPS_SCANNETWORK_H
#define CUPS_SCANNETWORK_H

#include "kapsmbutil.h"

#include <QDialog>
#include <QHash>
#include <QMap>
#include <QNetworkAddressEntry>
#include <QPair>
#include <QTreeWidgetItem>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHostInfo;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTreeWidget;
class VeskHostAddress;

namespace CUPS
{
/// A server found by the SMB scan, with the record it was made from.
class SmbServerItem : public QTreeWidgetItem
{
public:
    enum { Type = 1001 };
    SmbServerItem(QTreeWidgetItem *parent, const SmbInfo &info);
    SmbInfo info;
};

/**
 * The network scan of the backend page: probes one host or a range of IPv4
 * addresses for an open printer port, or browses the SMB network into a
 * workgroup / server / printer tree. After acceptance protocol(), address()
 * and userInfo() give what the device URI is built from.
 */
class ScanNetwork : public QDialog
{
    Q_OBJECT
public:
    enum ItemType { WorkgroupItem = 1000, ServerItem = SmbServerItem::Type, PrinterItem = 1002 };

    explicit ScanNetwork(QWidget *parent = nullptr);
    ~ScanNetwork() override;

    QString protocol() const;
    /// "user[:password]@" when authentication is on and a user is given, else empty.
    QString userInfo() const;
    /// host:port for the TCP protocols; the smb:// URI of the chosen share for SMB.
    QString address() const;

    /// The first and the last host address of a subnet, as 32-bit numbers.
    static QPair<quint32, quint32> hostRange(const QNetworkAddressEntry &subnet);

public Q_SLOTS:
    void on_scanButton_clicked();
    void onNetworkSelected();
    void on_printerListWidget_currentItemChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void on_protocolComboBox_currentIndexChanged(int index);
    void on_smbTreeWidget_itemDoubleClicked(QTreeWidgetItem *item, int column);
    void on_smbTreeWidget_itemSelectionChanged();
    void on_scanButton_smb_clicked();
    void on_findPrintersButton_clicked();

private:
    void setupForm();
    bool probe(const QHostAddress &address, quint16 port, int waitMsecs) const;
    void addFound(const QHostAddress &address, quint16 port);
    void reverseLookedUp(const QHostInfo &info);
    void storeAuthenticate();

    QComboBox *protocolComboBox = nullptr;
    QStackedWidget *stackedWidget = nullptr;
    QListWidget *printerListWidget = nullptr;
    QLineEdit *deviceAddress = nullptr;
    QRadioButton *rangeButton = nullptr;
    QRadioButton *hostButton = nullptr;
    QSpinBox *waitTimeSpinBox = nullptr;
    QCheckBox *resolveCheckBox = nullptr;
    QComboBox *portBox = nullptr;
    QLineEdit *hostAddressEdit = nullptr;
    QComboBox *subnetBox = nullptr;
    VeskHostAddress *startAddress = nullptr;
    VeskHostAddress *endAddress = nullptr;
    QTreeWidget *smbTreeWidget = nullptr;
    QLineEdit *workgroupLineEdit = nullptr;
    QLineEdit *serverLineEdit = nullptr;
    QLineEdit *printerLineEdit = nullptr;
    QCheckBox *doLoginCheckBox = nullptr;
    QPushButton *findPrintersButton = nullptr;
    QGroupBox *authGroupBox = nullptr;
    QLineEdit *userLineEdit = nullptr;
    QLineEdit *passwordLineEdit = nullptr;

    QMap<QString, QNetworkAddressEntry> subnets;
    KapSmbUtil smb;
    // Reverse lookups under way: id to the address text and port of the item they rename.
    QHash<int, QPair<QString, quint16>> lookups;
};
} // namespace CUPS

#endif
