#ifndef CUPS_CONNECTION_H
#define CUPS_CONNECTION_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <cups/cups.h>

#include <memory>

class QThread;

namespace CUPS
{
class ConnectionPrivate;

/**
 * The process-wide connection to the print server.
 *
 * It talks to whatever server libcups is pointed at in the application's
 * main thread (CUPS_SERVER, client.conf or cupsSetServer()). libcups keeps
 * its server, user and password callback per thread; lock() carries the
 * main thread's choice into any other thread that sends requests, so a
 * worker talks to the same server as the same user with the same prompt.
 */
class NORVIKPRINTCORE_EXPORT Connection
{
public:
    static Connection *instance();
    ~Connection();

    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    /**
     * Takes the session lock: one thread at a time works with the server.
     * Re-entrant for the holding thread; each lock() needs its unlock().
     * It also gives the calling thread the main thread's server, user and
     * password callback, so work done under it reaches the same server.
     */
    void lock();
    /**
     * Joins the session of another thread. When holder holds the lock, the
     * calling thread is admitted at once, without waiting; it may then lock()
     * again re-entrantly and leaves with one unlock() per call. Otherwise this
     * is lock(). The lock is free only when the holder and every admitted
     * thread have unlocked, and a thread admitted this way keeps its place
     * even when the holder unlocks first.
     *
     * For a holder that hands work to a worker and waits for it without
     * blocking its event loop (a nested loop), so the worker's requests and
     * any password prompt they raise in the holder's thread cannot deadlock.
     * The requests themselves still never overlap: each one takes an inner
     * mutex around its use of the shared connection.
     */
    void lockOnBehalfOf(QThread *holder);
    /**
     * lock() without waiting: true when the calling thread got the lock (it
     * was free, or this thread already holds it or has been admitted), false
     * when another thread's session has it. Each true needs its unlock().
     * For periodic work in the GUI thread, which skips a turn rather than wait.
     */
    bool tryLock();
    void unlock();
    /// True when the calling thread holds the lock or has been admitted to it.
    bool isLockedByCallingThread() const;

    /// IPP status of the last failed or succeeded request (IPP_STATUS_OK = 0).
    static ipp_status_t lastError();
    /// Readable text of the last error, shown after "CUPS error:".
    static QString lastErrorString();
    /// Records the outcome of a request made outside this library.
    static void setLastError(ipp_status_t status, const QString &message);
    /// Records libcups' own last error of the calling thread.
    static void takeLastErrorFromCups();

    /// The shared http connection, opened on demand; null when the server cannot be reached.
    http_t *handle();
    /// True when the server runs on this machine.
    bool isLocal() const;
    /// Re-reads the server settings and reconnects when they changed, or always with force.
    bool reconnect(bool force = false);
    /// "host:port" (or the socket path) of the server in use.
    QString serverName() const;
    /// User name requests are sent as.
    QString userName() const;

    /// Makes name the user of every later request, in every thread. The main
    /// thread's libcups user is the process' choice, so call it there; a worker
    /// may call it as well to switch its own libcups user at once.
    void setUser(const QString &name);
    /// Installs a password callback for every thread that sends requests.
    void setPasswordCallback(cups_password_cb2_t callback, void *userData);
    /// Milliseconds a request may wait for the server before it fails.
    void setTimeout(int msecs);
    int timeout() const;

    /**
     * Holds the inner io mutex for a scope, for raw libcups calls on handle()
     * (cupsGetNamedDest, cupsCopyDestInfo, cupsGetPPD3 ...). It first takes
     * the session lock like lock() (at once for the holder and for threads
     * admitted with lockOnBehalfOf()), then the mutex every IppRequest takes,
     * so a raw call never overlaps a request on the same connection. Keep the
     * scope to the raw calls: other threads' requests wait for it.
     *
     * Raw calls keep the connection's read timeout, and with it libcups' poll()
     * before every read. It is what bounds them: httpSetTimeout() cannot switch
     * it off again, and without its callback libcups retries a socket timeout
     * (EAGAIN) for ever, so SO_RCVTIMEO alone would not end a wait on a silent server.
     *
     * That bounds each read, not a whole answer: a server that keeps sending
     * would hold a raw call for ever. So the outermost IoLocker also arms a
     * watchdog for timeout() (and half a second): when the scope outlives it, the connection's
     * socket is shut down, the blocked call fails, timedOut() turns true, and
     * on leaving the scope lastError() says so and the connection is dropped
     * (the next request opens a new one). Time spent at a password prompt does
     * not count: the clock starts anew once the prompt is answered. A call that
     * was cut off may still report success (libcups takes the closed socket for
     * the end of a file), so check timedOut() before trusting what it returned.
     */
    class NORVIKPRINTCORE_EXPORT IoLocker
    {
    public:
        explicit IoLocker(Connection *connection = Connection::instance());
        ~IoLocker();
        IoLocker(const IoLocker &) = delete;
        IoLocker &operator=(const IoLocker &) = delete;
        /// The shared http connection; null when the server cannot be reached.
        http_t *handle() const;
        /// True when the scope outlived the connection's timeout and its socket was shut down.
        bool timedOut() const;

    private:
        Connection *const m_connection;
        bool m_armed = false;
    };

    /// The server's devices (CUPS-Get-Devices), one attribute hash each.
    QList<QHash<QString, QVariant>> devices(int timeoutSeconds = 10);
    /// The server's PPD records (CUPS-Get-PPDs), for one IEEE 1284 device id or all.
    QList<QHash<QString, QVariant>> PPDs(const QString &deviceId = QString());
    /// The server's cupsd.conf settings as libcups' admin functions present them.
    QHash<QString, QString> getServerSettings();
    bool setServerSettings(const QHash<QString, QString> &settings);

private:
    Connection();
    friend class ConnectionPrivate;
    friend class IppRequest;
    bool enter(bool wait);
    // The inner mutex around each use of the shared http connection.
    void lockIo();
    void unlockIo();
    // Closes the shared connection, left in the middle of an answer that was given up.
    void dropHttp();
    std::unique_ptr<ConnectionPrivate> const d;
};

/// Holds Connection::lock() for a scope.
class ConnectionLocker
{
public:
    explicit ConnectionLocker(Connection *connection = Connection::instance())
        : m_connection(connection)
    {
        m_connection->lock();
    }
    ~ConnectionLocker()
    {
        m_connection->unlock();
    }
    ConnectionLocker(const ConnectionLocker &) = delete;
    ConnectionLocker &operator=(const ConnectionLocker &) = delete;

private:
    Connection *const m_connection;
};
} // namespace CUPS

#endif
