#ifndef CUPS_INFODRIVERPAGE_H
#define CUPS_INFODRIVERPAGE_H

#include <QHash>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QVariant>
#include <QWizardPage>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace CUPS
{
/**
 * The wizard's last page: the queue's name, description, location,
 * organization, device URI, driver and sharing. Finish creates the printer
 * or class on the server, or updates it in the wizard's edit modes.
 */
class InfoDriverPage : public QWizardPage
{
    Q_OBJECT
    Q_PROPERTY(bool generalEditOnly READ generalEditOnly WRITE setGeneralEditOnly)
    Q_PROPERTY(bool backendEditOnly READ backendEditOnly WRITE setBackendEditOnly)
    Q_PROPERTY(bool driverEditOnly READ driverEditOnly WRITE setDriverEditOnly)
public:
    explicit InfoDriverPage(QWidget *parent = nullptr);
    ~InfoDriverPage() override;

    bool generalEditOnly() const;
    void setGeneralEditOnly(bool on);
    bool backendEditOnly() const;
    void setBackendEditOnly(bool on);
    bool driverEditOnly() const;
    void setDriverEditOnly(bool on);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;

    bool hasValidURI() const;

    /// The server's PPD records grouped by their first "ppd-make", in server order.
    static QMap<QString, QList<QVariant>> groupByMake(const QList<QHash<QString, QVariant>> &records);

public Q_SLOTS:
    void selectDriver();
    void queueNameChanged(const QString &text);
    void driverChanged(const QString &text);
    void deviceUriChanged(const QString &text);
    void installPlugin();

private:
    void setEditable(bool general, bool deviceUri, bool driver, bool share);
    bool isPrinter() const;
    bool isEditing() const;
    bool hasValidQueueName() const;
    void updateFlag(bool &flag, bool value);
    void loadPpds();
    void proposeDriver();
    QString uniqueName() const;
    QString driverArgument() const;
    bool addQueue(bool printer, const QString &name);
    void offerRemoteAccess();
    void offerDnssdPackage();

    QLineEdit *nameEdit = nullptr;
    QLineEdit *locationEdit = nullptr;
    QLineEdit *descriptionEdit = nullptr;
    QLineEdit *organizationEdit = nullptr;
    QLineEdit *organizationalUnitEdit = nullptr;
    QLineEdit *deviceUriEdit = nullptr;
    QLineEdit *driverLineEdit = nullptr;
    QPushButton *selectDriverButton = nullptr;
    QCheckBox *shareCheckBox = nullptr;
    QLabel *pluginLabel = nullptr;
    QPushButton *installPluginButton = nullptr;
    QHBoxLayout *driverRow = nullptr;
    QWidget *uriLabel = nullptr;
    QWidget *driverLabel = nullptr;

    bool m_generalEditOnly = false;
    bool m_backendEditOnly = false;
    bool m_driverEditOnly = false;
    bool nameValid = false;
    bool driverValid = false;
    bool uriValid = false;
    QStringList existingQueueNames;
    QMap<QString, QList<QVariant>> ppdsByMake;
};
} // namespace CUPS

#endif
