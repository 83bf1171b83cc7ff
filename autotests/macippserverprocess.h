#ifndef MACIPPSERVERPROCESS_H
#define MACIPPSERVERPROCESS_H

#include <QHash>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

/**
 * Runs the MAC test server (macippserver) for one test executable: on a free
 * 127.0.0.1 port, with its request log in a temporary folder of its own, and
 * gone with this object or, should the test crash, with the test process.
 * use() points this process' libcups and the core connection at it; the
 * control calls reach it on a connection of their own, so they leave the
 * core connection and its last error alone.
 */
class MacIppServerProcess
{
public:
    MacIppServerProcess() = default;
    ~MacIppServerProcess();
    MacIppServerProcess(const MacIppServerProcess &) = delete;
    MacIppServerProcess &operator=(const MacIppServerProcess &) = delete;

    /// Starts the server with extra command-line options (--fail, --permissions).
    bool start(const QStringList &options = {});
    void stop();
    /// Points libcups of the calling (main) thread and the core connection at the server.
    void use() const;

    QString errorString() const;
    /// "127.0.0.1:PORT"
    QString server() const;
    /// One line per request: operation and status in hex, and the requesting user.
    QStringList requestLog() const;

    // The control operation; each returns false when the server did not take it.
    bool reset();
    bool failOperation(const QString &operation, const QString &message);
    bool clearFailures();
    bool setPermissions(const QList<int> &codes);
    /// Makes the operation ask for a password (any user); an empty operation stops that.
    bool requireAuthentication(const QString &operation, const QString &password);
    /// The user the request before the control request came from.
    QString lastUser();
    /// The printer's attributes as the server keeps them (Get-Printer-Attributes).
    QHash<QString, QVariant> printerAttributes(const QString &name);
    /// Gives the printer a policy as it is, even one the server does not support.
    bool forcePrinterPolicy(const QString &printer, const QString &policy);
    /// The search keys of the last journal search the server received; empty before any.
    QHash<QString, QString> lastJournalRequest();

private:
    QProcess m_process;
    QTemporaryDir m_directory;
    int m_port = 0;
    QString m_error;
};

#endif
