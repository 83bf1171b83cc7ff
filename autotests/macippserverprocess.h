#ifndef MACIPPSERVERPROCESS_H
#define MACIPPSERVERPROCESS_H

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

/**
 * Runs the MAC test server (macippserver) for one test executable: on a free 127.0.0.1 port, with
 * its request log in a temporary folder, and gone with this object or the test process. use()
 * points this process' libcups and the core connection at it; the control calls use a connection
 * of their own, so they leave the core connection and its last error alone.
 */
class MacIppServerProcess
{
public:
    ~MacIppServerProcess();
    bool start();
    void stop();
    void use() const;
    QString errorString() const;
    /// One line per request: operation and status in hex, and the requesting user.
    QStringList requestLog() const;

    // The control operation; false when the server did not take it.
    bool reset();
    bool failOperation(const QString &operation, const QString &message);
    bool setPermissions(const QList<int> &codes);
    /// Makes the operation ask for a password (any user); an empty operation stops that.
    bool requireAuthentication(const QString &operation, const QString &password);

private:
    QProcess m_process;
    QTemporaryDir m_directory;
    int m_port = 0;
    QString m_error;
};

#endif
