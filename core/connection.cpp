#include "connection.h"

#include "attributes.h"
#include "corelogging.h"
#include "ippmessage.h"
#include "ipprequest.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QRecursiveMutex>
#include <QThread>
#include <QWaitCondition>

#include <cups/adminutil.h>

#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>


namespace CUPS
{
namespace
{
struct HttpDeleter {
    void operator()(http_t *http) const
    {
        httpClose(http);
    }
};
using HttpPtr = std::unique_ptr<http_t, HttpDeleter>;

struct OptionsDeleter {
    int count = 0;
    void operator()(cups_option_t *options) const
    {
        cupsFreeOptions(count, options);
    }
};

// The outcome of the most recent request, whichever thread sent it.
struct LastError {
    QMutex mutex;
    ipp_status_t status = IPP_STATUS_OK;
    QString message;
};
Q_GLOBAL_STATIC(LastError, s_lastError)

constexpr int DefaultTimeoutMsecs = 30000;
constexpr int WatchdogGraceMsecs = 500;

/*
 * Ends a raw libcups call that outlives its IoLocker's time: libcups bounds
 * each read, not a whole answer, so a server that keeps talking would hold
 * the call for ever. Past the deadline the socket is shut down under the
 * blocked call, which then fails.
 */
class Watchdog
{
public:
    using Clock = std::chrono::steady_clock;

    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopping = true;
        }
        wake.notify_all();
        if (thread.joinable()) {
            thread.join();
        }
    }

    /// Starts the time of the outermost scope; false when one already runs.
    bool arm(int msecs)
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (armed) {
            return false;
        }
        armed = true;
        fired = false;
        shutFd = -1;
        paused = 0;
        timeout = std::chrono::milliseconds(msecs);
        deadline = Clock::now() + timeout;
        if (!thread.joinable()) {
            thread = std::thread(&Watchdog::run, this);
        }
        wake.notify_all();
        return true;
    }

    /// Ends the time; true when it ran out and the socket was shut down.
    bool disarm()
    {
        std::lock_guard<std::mutex> guard(mutex);
        armed = false;
        return fired;
    }

    bool hasFired()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return fired;
    }

    // The user's time at a password prompt is not the server's: the clock stops, then starts anew.
    void pause()
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++paused;
    }

    void resume()
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (paused > 0 && --paused == 0) {
                deadline = Clock::now() + timeout;
            }
        }
        wake.notify_all();
    }

    /// Replaces the connection watched; it is closed under the same mutex, so a shutdown never hits a reused descriptor.
    template<typename Replace>
    void replaceHttp(Replace replace)
    {
        std::lock_guard<std::mutex> guard(mutex);
        watched = replace();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            if (!armed || paused > 0) {
                wake.wait(lock);
            } else if (!fired && Clock::now() < deadline) {
                wake.wait_until(lock, deadline);
            } else {
                fired = true;
                // libcups may reconnect and retry within the same call: that socket goes too.
                const int fd = watched ? httpGetFd(watched) : -1;
                if (fd >= 0 && fd != shutFd) {
                    // Not httpShutdown(): it also tears down TLS state the blocked thread is using.
                    ::shutdown(fd, SHUT_RDWR);
                    shutFd = fd;
                }
                wake.wait_for(lock, std::chrono::milliseconds(50));
            }
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::thread thread;
    http_t *watched = nullptr;
    bool stopping = false;
    bool armed = false;
    bool fired = false;
    int shutFd = -1; // the socket shut down in this scope, so a retry's new one goes too
    int paused = 0;
    std::chrono::milliseconds timeout{0};
    Clock::time_point deadline;
};
} // namespace

// What libcups is pointed at in the main thread, carried into other threads.
struct ServerSettings {
    QByteArray server;
    int port = 0;
    http_encryption_t encryption = HTTP_ENCRYPTION_IF_REQUESTED;
    QByteArray user;

    bool sameServer(const ServerSettings &other) const
    {
        return server == other.server && port == other.port && encryption == other.encryption;
    }

    static ServerSettings ofCallingThread()
    {
        ServerSettings s;
        s.server = cupsServer();
        s.port = ippPort();
        s.encryption = cupsEncryption();
        s.user = cupsUser();
        return s;
    }
};

class ConnectionPrivate
{
public:
    bool isMainThread() const
    {
        const QCoreApplication *app = QCoreApplication::instance();
        return QThread::currentThread() == (app ? app->thread() : creatorThread);
    }

    void applyToCallingThread();
    bool connect();
    void resetHttp();
    void setHttp(http_t *replacement);
    static const char *promptWithoutDeadline(const char *prompt, http_t *http, const char *method, const char *resource, void *data);

    // The session lock: the holding thread and the threads admitted to its session.
    QMutex sessionMutex;
    QWaitCondition sessionFree;
    QThread *holder = nullptr;
    int holderDepth = 0;
    QHash<QThread *, int> admitted;

    // Serialises actual use of http between the holder and admitted threads.
    QRecursiveMutex ioMutex;
    QMutex settingsMutex; // guards settings and the callback
    ServerSettings settings;
    // Once set through Connection (even back to libcups' own prompt), every thread follows.
    bool passwordCallbackSet = false;
    cups_password_cb2_t passwordCallback = nullptr;
    void *passwordData = nullptr;
    int timeoutMsecs = DefaultTimeoutMsecs;
    QThread *creatorThread = QThread::currentThread();
    HttpPtr http;
    Watchdog watchdog;
};

void ConnectionPrivate::setHttp(http_t *replacement)
{
    watchdog.replaceHttp([this, replacement] {
        http.reset(replacement);
        return replacement;
    });
}

const char *ConnectionPrivate::promptWithoutDeadline(const char *prompt, http_t *http, const char *method, const char *resource, void *data)
{
    auto *d = static_cast<ConnectionPrivate *>(data);
    cups_password_cb2_t callback = nullptr;
    void *userData = nullptr;
    {
        QMutexLocker locker(&d->settingsMutex);
        callback = d->passwordCallback;
        userData = d->passwordData;
    }
    if (!callback) {
        return nullptr;
    }
    d->watchdog.pause();
    const char *password = callback(prompt, http, method, resource, userData);
    d->watchdog.resume();
    return password;
}

void ConnectionPrivate::applyToCallingThread()
{
    QMutexLocker locker(&settingsMutex);
    if (isMainThread()) {
        // The main thread is where the host points libcups; follow it.
        const ServerSettings current = ServerSettings::ofCallingThread();
        const bool serverChanged = !current.sameServer(settings);
        settings = current;
        if (serverChanged && http) {
            qCDebug(CUPS_CORE) << "server changed to" << settings.server << settings.port;
            resetHttp();
        }
        return;
    }
    cupsSetServer(settings.server.constData());
    ippSetPort(settings.port);
    cupsSetEncryption(settings.encryption);
    cupsSetUser(settings.user.constData());
    if (passwordCallbackSet) {
        cupsSetPasswordCB2(passwordCallback ? promptWithoutDeadline : nullptr, this);
    }
}

void ConnectionPrivate::resetHttp()
{
    QMutexLocker io(&ioMutex);
    setHttp(nullptr);
}

bool ConnectionPrivate::connect()
{
    setHttp(nullptr);
    setHttp(httpConnect2(settings.server.constData(),
                         settings.port,
                         nullptr,
                         AF_UNSPEC,
                         settings.encryption,
                         1,
                         qMin(timeoutMsecs, 10000),
                         nullptr));
    if (!http) {
        // libcups keeps no reason here: its last error belongs to an older request and
        // errno is spoilt by its clean-up, so say what is certain.
        Connection::setLastError(IPP_STATUS_ERROR_SERVICE_UNAVAILABLE,
                                 QStringLiteral("Unable to connect to %1:%2 (no print server answers there)")
                                     .arg(QString::fromLocal8Bit(settings.server))
                                     .arg(settings.port));
        return false;
    }
    setReadTimeout(http.get(), timeoutMsecs);
    return true;
}

Connection::Connection()
    : d(new ConnectionPrivate)
{
    d->settings = ServerSettings::ofCallingThread();
}

Connection::~Connection() = default;

Connection *Connection::instance()
{
    // Closed at exit, after the application object (and its post-routines) is gone.
    static Connection connection;
    return &connection;
}

void Connection::lock()
{
    enter(true);
}

bool Connection::tryLock()
{
    return enter(false);
}

// Takes the session for the calling thread; without wait, only when that needs no waiting.
bool Connection::enter(bool wait)
{
    QThread *const self = QThread::currentThread();
    {
        QMutexLocker session(&d->sessionMutex);
        if (d->holder == self) {
            ++d->holderDepth;
        } else if (d->admitted.contains(self)) {
            ++d->admitted[self];
        } else {
            while (d->holder || !d->admitted.isEmpty()) {
                if (!wait) {
                    return false;
                }
                d->sessionFree.wait(&d->sessionMutex);
            }
            d->holder = self;
            d->holderDepth = 1;
        }
    }
    d->applyToCallingThread();
    return true;
}

void Connection::lockOnBehalfOf(QThread *holder)
{
    QThread *const self = QThread::currentThread();
    {
        QMutexLocker session(&d->sessionMutex);
        if (!holder || holder == self || d->holder != holder) {
            session.unlock();
            lock();
            return;
        }
        ++d->admitted[self];
    }
    d->applyToCallingThread();
}

void Connection::unlock()
{
    QThread *const self = QThread::currentThread();
    QMutexLocker session(&d->sessionMutex);
    if (d->admitted.contains(self)) {
        if (--d->admitted[self] == 0) {
            d->admitted.remove(self);
        }
    } else if (d->holder == self) {
        if (--d->holderDepth == 0) {
            d->holder = nullptr;
        }
    } else {
        qCWarning(CUPS_CORE) << "Connection::unlock() by a thread that does not hold the lock";
        return;
    }
    if (!d->holder && d->admitted.isEmpty()) {
        d->sessionFree.wakeAll();
    }
}

bool Connection::isLockedByCallingThread() const
{
    QThread *const self = QThread::currentThread();
    QMutexLocker session(&d->sessionMutex);
    return d->holder == self || d->admitted.contains(self);
}

void Connection::lockIo()
{
    d->ioMutex.lock();
}

void Connection::unlockIo()
{
    d->ioMutex.unlock();
}

Connection::IoLocker::IoLocker(Connection *connection)
    : m_connection(connection)
{
    m_connection->lock();
    m_connection->lockIo();
    // A little later than the calls' own deadlines (an IppRequest's), which end more cleanly.
    m_armed = m_connection->d->watchdog.arm(m_connection->timeout() + WatchdogGraceMsecs);
}

Connection::IoLocker::~IoLocker()
{
    if (m_armed && m_connection->d->watchdog.disarm()) {
        // The socket was shut down under the call; the next request needs a new connection.
        m_connection->d->setHttp(nullptr);
        setLastError(IPP_STATUS_ERROR_SERVICE_UNAVAILABLE,
                     QStringLiteral("The print server %1 did not finish its answer within %2 seconds")
                         .arg(m_connection->serverName())
                         .arg(m_connection->timeout() / 1000.0));
    }
    m_connection->unlockIo();
    m_connection->unlock();
}

bool Connection::IoLocker::timedOut() const
{
    return m_armed && m_connection->d->watchdog.hasFired();
}

http_t *Connection::IoLocker::handle() const
{
    return m_connection->handle();
}

ipp_status_t Connection::lastError()
{
    QMutexLocker locker(&s_lastError->mutex);
    return s_lastError->status;
}

QString Connection::lastErrorString()
{
    QMutexLocker locker(&s_lastError->mutex);
    return s_lastError->message;
}

void Connection::setLastError(ipp_status_t status, const QString &message)
{
    QMutexLocker locker(&s_lastError->mutex);
    s_lastError->status = status;
    s_lastError->message = message;
}

void Connection::takeLastErrorFromCups()
{
    setLastError(cupsLastError(), QString::fromUtf8(cupsLastErrorString()));
}

http_t *Connection::handle()
{
    ConnectionLocker locker(this);
    QMutexLocker io(&d->ioMutex);
    if (!d->http) {
        d->connect();
    }
    return d->http.get();
}

bool Connection::isLocal() const
{
    QMutexLocker locker(&d->ioMutex);
    const QByteArray server = d->settings.server;
    if (server.startsWith('/')) {
        return true; // a domain socket
    }
    // The address really connected to also catches names that resolve to loopback.
    if (d->http) {
        if (const http_addr_t *address = httpGetAddress(d->http.get())) {
            return httpAddrLocalhost(address);
        }
    }
    return server == "localhost" || server.startsWith("127.") || server == "::1" || server == "[::1]";
}

bool Connection::reconnect(bool force)
{
    ConnectionLocker locker(this);
    QMutexLocker io(&d->ioMutex);
    if (force) {
        d->setHttp(nullptr);
    }
    if (!d->http) {
        return d->connect();
    }
    return true;
}

QString Connection::serverName() const
{
    QMutexLocker locker(&d->settingsMutex);
    const QString server = QString::fromLocal8Bit(d->settings.server);
    return server.startsWith(QLatin1Char('/')) ? server : server + QLatin1Char(':') + QString::number(d->settings.port);
}

QString Connection::userName() const
{
    QMutexLocker locker(&d->settingsMutex);
    return QString::fromLocal8Bit(d->settings.user);
}

void Connection::setUser(const QString &name)
{
    const QByteArray user = name.toLocal8Bit();
    cupsSetUser(user.isEmpty() ? nullptr : user.constData());
    QMutexLocker locker(&d->settingsMutex);
    d->settings.user = cupsUser();
}

void Connection::setPasswordCallback(cups_password_cb2_t callback, void *userData)
{
    {
        QMutexLocker locker(&d->settingsMutex);
        d->passwordCallbackSet = true;
        d->passwordCallback = callback;
        d->passwordData = userData;
    }
    cupsSetPasswordCB2(callback ? ConnectionPrivate::promptWithoutDeadline : nullptr, d.get());
}

void Connection::dropHttp()
{
    QMutexLocker io(&d->ioMutex);
    d->setHttp(nullptr);
}

void Connection::setTimeout(int msecs)
{
    ConnectionLocker locker(this);
    QMutexLocker io(&d->ioMutex);
    d->timeoutMsecs = msecs;
    if (d->http) {
        setReadTimeout(d->http.get(), msecs);
    }
}

int Connection::timeout() const
{
    QMutexLocker io(&d->ioMutex);
    return d->timeoutMsecs;
}

QList<QHash<QString, QVariant>> Connection::devices(int timeoutSeconds)
{
    ConnectionLocker locker(this);
    // The longer timeout belongs to this request alone.
    QMutexLocker io(&d->ioMutex);
    IppRequest request(CUPS_GET_DEVICES);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::Timeout.data(), timeoutSeconds);
    // The scheduler answers only when every backend has; leave it room.
    const int savedTimeout = d->timeoutMsecs;
    setTimeout(qMax(savedTimeout, (timeoutSeconds + 5) * 1000));
    const IppResponse response = request.doRequest(this, QStringLiteral("/"));
    setTimeout(savedTimeout);
    if (!response.isOk()) {
        return {};
    }
    return response.attributeGroups(IPP_TAG_PRINTER);
}

QList<QHash<QString, QVariant>> Connection::PPDs(const QString &deviceId)
{
    ConnectionLocker locker(this);
    IppRequest request(CUPS_GET_PPDS);
    if (!deviceId.isEmpty()) {
        request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_TEXT, Attr::PpdDeviceId.data(), deviceId);
    }
    const IppResponse response = request.doRequest(this, QStringLiteral("/"));
    if (!response.isOk()) {
        return {};
    }
    return response.attributeGroups(IPP_TAG_PRINTER);
}

QHash<QString, QString> Connection::getServerSettings()
{
    ConnectionLocker locker(this);
    QMutexLocker io(&d->ioMutex);
    int count = 0;
    cups_option_t *options = nullptr;
    http_t *http = handle();
    if (!http || !cupsAdminGetServerSettings(http, &count, &options)) {
        if (http) {
            takeLastErrorFromCups();
        }
        return {};
    }
    std::unique_ptr<cups_option_t, OptionsDeleter> owner(options, OptionsDeleter{count});
    QHash<QString, QString> settings;
    for (int i = 0; i < count; ++i) {
        settings.insert(QString::fromUtf8(options[i].name), QString::fromUtf8(options[i].value));
    }
    setLastError(IPP_STATUS_OK, QString());
    return settings;
}

bool Connection::setServerSettings(const QHash<QString, QString> &settings)
{
    ConnectionLocker locker(this);
    QMutexLocker io(&d->ioMutex);
    http_t *http = handle();
    if (!http) {
        return false;
    }
    int count = 0;
    cups_option_t *options = nullptr;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        count = cupsAddOption(it.key().toUtf8().constData(), it.value().toUtf8().constData(), count, &options);
    }
    std::unique_ptr<cups_option_t, OptionsDeleter> owner(options, OptionsDeleter{count});
    const bool ok = cupsAdminSetServerSettings(http, count, options);
    if (ok) {
        // The scheduler restarts and drops this connection; reusing it would fail the next request.
        d->setHttp(nullptr);
        setLastError(IPP_STATUS_OK, QString());
    } else {
        takeLastErrorFromCups();
    }
    return ok;
}
} // namespace CUPS
