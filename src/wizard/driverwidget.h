#ifndef CUPS_DRIVERWIDGET_H
#define CUPS_DRIVERWIDGET_H

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSplitter;
class QTextEdit;

namespace CUPS
{
/**
 * The content of the "Drivers" dialog: a PPD from the server's list, browsed
 * by manufacturer and model with a filter; the IPP Everywhere driver for IPP
 * and DNS-SD devices; or a PPD file from disk.
 */
class DriverWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DriverWidget(QWidget *parent = nullptr);
    ~DriverWidget() override;

    void setDeviceAndPpds(const QString &deviceUri, const QMap<QString, QList<QVariant>> &ppdsByMake);
    /// Selects the vendor and model of a PPD name; false when it is not listed.
    bool selectPpd(const QString &ppdName);
    /// "everywhere", the highlighted model's PPD name, or empty.
    QString selectedPpdName() const;
    /// The PPD file chosen with "From file...", or empty.
    QString ppdFileName() const;

    /// The HPLIP "hp:" URI of an HP device found by DNS-SD, or empty.
    static QString hpUriFromDnssd(const QString &uri);
    /// The service name, the two type parts and the domain of a DNS-SD URI
    /// ("dnssd://name._ipp._tcp.local/..."), as hpUriFromDnssd() resolves
    /// them; any other count of parts is no such URI.
    static QStringList dnssdServiceParts(const QString &uri);
    /// HPLIP's URI maker, run by hpUriFromDnssd(); tests point it elsewhere.
    static void setHpMakeUriProgram(const QString &program);

Q_SIGNALS:
    void ppdFileSelected();

private Q_SLOTS:
    void onInfoButtonToggled(bool state);
    void onFilterTextChanged(const QString &text);
    void onCurrentVendorChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void onCurrentModelChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void onPpdFromFileButtonPressed();

private:
    void fillModelList(const QList<QVariant> &records);
    bool selectModel(const QString &makeAndModel, const QString &ppdName);

    QLineEdit *filterEdit = nullptr;
    QSplitter *outerSplitter = nullptr;
    QSplitter *innerSplitter = nullptr;
    QListWidget *vendorList = nullptr;
    QListWidget *modelList = nullptr;
    QCheckBox *everywhereCheckBox = nullptr;
    QPushButton *infoButton = nullptr;
    QPushButton *fromFileButton = nullptr;
    QGroupBox *infoGroup = nullptr;
    QTextEdit *infoText = nullptr;
    QString ppdFile;
};
} // namespace CUPS

#endif
