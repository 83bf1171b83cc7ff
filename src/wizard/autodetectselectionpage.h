#ifndef CUPS_AUTODETECTSELECTIONPAGE_H
#define CUPS_AUTODETECTSELECTIONPAGE_H

#include <QHash>
#include <QString>
#include <QVariant>
#include <QWizardPage>

class QStackedWidget;
class QTreeWidget;

namespace CUPS
{
/**
 * The devices the server detects, one row each; the chosen one gives the
 * device URI, a default queue name and description, and the make, model and
 * device id the driver page matches drivers by.
 */
class AutodetectSelectionPage : public QWizardPage
{
    Q_OBJECT
    Q_PROPERTY(bool autodetectedPrinterSelected READ autodetectedPrinterSelected)
    Q_PROPERTY(QString makeAndModel READ makeAndModel WRITE setMakeAndModel NOTIFY printerMakeAndModelChanged)
    Q_PROPERTY(QString deviceId READ deviceId)
public:
    /// What each row keeps on its first column.
    enum DeviceRole {
        DeviceIdRole = Qt::UserRole + 1,
        DeviceUriRole,
        MakeAndModelRole,
        DeviceInfoRole,
    };

    explicit AutodetectSelectionPage(QWidget *parent = nullptr);
    ~AutodetectSelectionPage() override;

    bool autodetectedPrinterSelected() const;
    QString makeAndModel() const;
    void setMakeAndModel(const QString &makeAndModel);
    QString deviceId() const;

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;

    /// Lists the devices in the server's order, without unusable and repeated ones.
    void showDevices(const QList<QHash<QString, QVariant>> &devices);
    /// The queue name proposed for a device: its make and model without spaces, "|", "/" or "#".
    static QString defaultQueueName(const QString &makeAndModel);

Q_SIGNALS:
    void printerMakeAndModelChanged();

public Q_SLOTS:
    void onItemDoubleClicked();
    void fillDevices();

private:
    void addDevice(const QHash<QString, QVariant> &device, const QHash<QString, QString> &classLabels);
    void showFailure(int status);

    QStackedWidget *stack = nullptr;
    QTreeWidget *deviceTree = nullptr;
    QString m_makeAndModel;
};
} // namespace CUPS

#endif
