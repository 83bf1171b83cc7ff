#ifndef CUPS_IPPQUEUESELECTOR_H
#define CUPS_IPPQUEUESELECTOR_H

#include <QDialog>
#include <QHash>
#include <QString>

class QTreeWidget;

namespace CUPS
{
/**
 * The queues another CUPS server publishes, with their type and
 * capabilities, to pick one of them for an IPP device URI.
 */
class IppQueueSelector : public QDialog
{
    Q_OBJECT
public:
    /// Lists the queues of server ("host" or "host:port") at once.
    IppQueueSelector(QWidget *parent, const QString &server);
    ~IppQueueSelector() override;

    /// The current queue's name, empty without one.
    QString selectedQueue() const;
    /// The current queue's attributes ("printer-name" and the destination's options), empty without one.
    QHash<QString, QString> selectedAttributes() const;

private:
    void fill();

    QTreeWidget *queuesTreeWidget = nullptr;
    const QString m_server;
};
} // namespace CUPS

#endif
