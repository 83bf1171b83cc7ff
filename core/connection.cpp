#include "connection.h"

#include "attributes.h"
#include "corelogging.h"
#include "ipprequest.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QRecursiveMutex>
#include <QThread>
#include <QWaitCondition>

#include <cups/adminutil.h>


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

int onHttpTimeout(http_t *, void *)
{
    // Give up instead of waiting for ever on a server that stopped answering.
    return 0;
}
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
};

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
        cupsSetPasswordCB2(passwordCallback, passwordData);
    }
}

void ConnectionPrivate::resetHttp()
{
    QMutexLocker io(&ioMutex);
    http.reset();
}

bool ConnectionPrivate::connect()
{
    http.reset(httpConnect2(settings.server.constData(),
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
    httpSetTimeout(http.get(), timeoutMsecs / 1000.0, onHttpTimeout, nullptr);
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
}

Connection::IoLocker::~IoLocker()
{
    m_connection->unlockIo();
    m_connection->unlock();
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
        d->http.reset();
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
    cupsSetPasswordCB2(callback, userData);
    QMutexLocker locker(&d->settingsMutex);
    d->passwordCallbackSet = true;
    d->passwordCallback = callback;
    d->passwordData = userData;
}

void Connection::setTimeout(int msecs)
{
    ConnectionLocker locker(this);
    QMutexLocker io(&d->ioMutex);
    d->timeoutMsecs = msecs;
    if (d->http) {
        httpSetTimeout(d->http.get(), msecs / 1000.0, onHttpTimeout, nullptr);
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
        d->http.reset();
        setLastError(IPP_STATUS_OK, QString());
    } else {
        takeLastErrorFromCups();
    }
    return ok;
}
} // namespace CUPS
