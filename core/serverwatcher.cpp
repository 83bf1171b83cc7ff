#include "serverwatcher.h"

#include "attributes.h"
#include "connection.h"
#include "corelogging.h"
#include "ipprequest.h"
#include "utils.h"

#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QTimer>

namespace CUPS
{
namespace
{
// The server itself as the target: the subscription covers every printer and every job.
const QString ServerUri = QStringLiteral("ipp://localhost/");
const QString ServerResource = QStringLiteral("/");
const QString PullMethod = QStringLiteral("ippget");
const QString PrinterEventPrefix = QStringLiteral("printer-");
const QString JobEventPrefix = QStringLiteral("job-");

QStringList watchedEvents()
{
    return {QStringLiteral("printer-state-changed"),
            QStringLiteral("printer-added"),
            QStringLiteral("printer-deleted"),
            QStringLiteral("printer-modified"),
            QStringLiteral("job-created"),
            QStringLiteral("job-state-changed"),
            QStringLiteral("job-completed"),
            QStringLiteral("job-config-changed"),
            QStringLiteral("job-progress")};
}

IppRequest serverRequest(ipp_op_t op)
{
    IppRequest request(op);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), ServerUri);
    return request;
}

// Nothing came back at all (no connection, a timeout, no IPP), as opposed to a server that said no.
bool unanswered(const IppResponse &response)
{
    return response.isNull() && (response.statusCode() == IPP_STATUS_ERROR_INTERNAL || response.statusCode() == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE);
}

// The server no longer knows the subscription, or will not let us use it.
bool subscriptionLost(ipp_status_t status)
{
    return status >= IPP_STATUS_ERROR_BAD_REQUEST && status < IPP_STATUS_ERROR_INTERNAL;
}
} // namespace

class ServerWatcherPrivate
{
public:
    explicit ServerWatcherPrivate(ServerWatcher *watcher)
        : q(watcher)
    {
    }

    bool tryLock() const;
    void tick();
    bool subscribe();
    bool probe();
    bool renew();
    void poll();
    void cancel();
    void forget();
    void lose(ipp_status_t status);
    IppResponse send(IppRequest &request);
    void schedule();
    int normalInterval() const;
    int interval() const;
    void report(bool printers, bool jobs);

    ServerWatcher *const q;
    QTimer timer;
    int pollMsecs = 1000;
    int fallbackMsecs = 5000;
    int resubscribeMsecs = 60000;
    int leaseSeconds = 300;
    int requestTimeoutMsecs = 3000;
    int maxBackoffMsecs = 60000;
    // The interval while the server does not answer; 0 while it does.
    int backoffMsecs = 0;

    bool running = false;
    bool insideTick = false;
    // Set when the server said no; such a server is asked again only after resubscribeMsecs.
    bool refused = false;
    int subscriptionId = 0;
    int nextSequence = 1;
    QString subscribedServer;
    QDeadlineTimer renewal;
    QDeadlineTimer resubscription;
};

bool ServerWatcherPrivate::tryLock() const
{
    Connection *const connection = Connection::instance();
    // A locked section of this thread that lets events through runs a nested loop (a password prompt, a dialog
    // waiting for its worker) whose request may hold the io mutex: even a re-entrant request would wait for it.
    if (!insideTick && connection->isLockedByCallingThread()) {
        return false;
    }
    return connection->tryLock();
}

void ServerWatcherPrivate::tick()
{
    if (!tryLock()) {
        qCDebug(CUPS_CORE) << "connection busy, server poll skipped";
        return;
    }
    insideTick = true;
    auto release = qScopeGuard([this] {
        insideTick = false;
        Connection::instance()->unlock();
    });
    if (subscriptionId && subscribedServer != Connection::instance()->serverName()) {
        forget(); // the host pointed the connection at another server
    }
    if (subscriptionId) {
        poll();
        return;
    }
    // A reload would only wait for a silent server as well.
    if (resubscription.hasExpired() ? subscribe() : probe()) {
        // Without a subscription nothing tells what changed in between.
        report(true, true);
    }
}

// False when the server did not answer at all.
bool ServerWatcherPrivate::subscribe()
{
    IppRequest request = serverRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    request.addAttribute(IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, Attr::NotifyPullMethod.data(), PullMethod);
    request.addAttribute(IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, Attr::NotifyEvents.data(), watchedEvents());
    request.addAttribute(IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, Attr::NotifyLeaseDuration.data(), leaseSeconds);
    const IppResponse response = send(request);
    const QList<AttributeHash> subscriptions = response.attributeGroups(IPP_TAG_SUBSCRIPTION);
    const int id = subscriptions.isEmpty() ? 0 : Utils::getAttribute(subscriptions.first(), Attr::NotifySubscriptionId).toInt();
    if (!response.isOk() || id <= 0) {
        // A server that answered no keeps its mind for a while; one that did not answer may be back at any tick.
        refused = !unanswered(response);
        resubscription = QDeadlineTimer(refused ? resubscribeMsecs : 0);
        qCDebug(CUPS_CORE) << "no subscription:" << Connection::lastErrorString();
        schedule();
        return refused;
    }
    subscriptionId = id;
    nextSequence = 1;
    refused = false;
    subscribedServer = Connection::instance()->serverName();
    renewal = QDeadlineTimer(leaseSeconds * 500);
    qCDebug(CUPS_CORE) << "subscription" << id << "on" << subscribedServer;
    schedule();
    return true;
}

// One small request to a server without subscriptions: false when it did not answer at all.
bool ServerWatcherPrivate::probe()
{
    IppRequest request(IPP_OP_CUPS_GET_DEFAULT);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), QString(Attr::PrinterName));
    return !unanswered(send(request));
}

bool ServerWatcherPrivate::renew()
{
    IppRequest request = serverRequest(IPP_OP_RENEW_SUBSCRIPTION);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::NotifySubscriptionId.data(), subscriptionId);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::NotifyLeaseDuration.data(), leaseSeconds);
    const IppResponse response = send(request);
    if (response.isOk()) {
        renewal = QDeadlineTimer(leaseSeconds * 500);
    } else if (subscriptionLost(response.statusCode())) {
        lose(response.statusCode());
    }
    // An unanswered renewal is tried again at the next tick; the lease has half its time left.
    return response.isOk();
}

void ServerWatcherPrivate::poll()
{
    if (renewal.hasExpired() && !renew()) {
        return;
    }
    IppRequest request = serverRequest(IPP_OP_GET_NOTIFICATIONS);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::NotifySubscriptionIds.data(), subscriptionId);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::NotifySequenceNumbers.data(), nextSequence);
    const IppResponse response = send(request);
    if (!response.isOk()) {
        if (subscriptionLost(response.statusCode())) {
            lose(response.statusCode());
        }
        return;
    }
    bool printers = false;
    bool jobs = false;
    const QList<AttributeHash> events = response.attributeGroups(IPP_TAG_EVENT_NOTIFICATION);
    for (const AttributeHash &event : events) {
        nextSequence = qMax(nextSequence, Utils::getAttribute(event, Attr::NotifySequenceNumber).toInt() + 1);
        const QString name = Utils::getAttribute(event, Attr::NotifySubscribedEvent).toString();
        printers = printers || name.startsWith(PrinterEventPrefix);
        jobs = jobs || name.startsWith(JobEventPrefix);
    }
    report(printers, jobs);
}

void ServerWatcherPrivate::cancel()
{
    if (!subscriptionId) {
        return;
    }
    if (backoffMsecs) {
        // A silent server would only hold us up; the lease ends the subscription there.
        forget();
        return;
    }
    if (!tryLock()) {
        // Never wait for the connection here either: the lease ends the subscription on the server.
        qCDebug(CUPS_CORE) << "connection busy, subscription" << subscriptionId << "left to expire";
        forget();
        return;
    }
    auto release = qScopeGuard([] {
        Connection::instance()->unlock();
    });
    if (subscribedServer == Connection::instance()->serverName()) {
        IppRequest request = serverRequest(IPP_OP_CANCEL_SUBSCRIPTION);
        request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::NotifySubscriptionId.data(), subscriptionId);
        send(request);
    }
    forget();
}

void ServerWatcherPrivate::forget()
{
    qCDebug(CUPS_CORE) << "subscription" << subscriptionId << "dropped";
    subscriptionId = 0;
    refused = false;
    resubscription = QDeadlineTimer(0);
    schedule();
}

void ServerWatcherPrivate::lose(ipp_status_t status)
{
    forget();
    // A subscription the server forgot (a restart, another server) is asked for again at once; one it will not let
    // us use is treated as refused, so a forbidding server gets no new subscription and full reload every second.
    if (status != IPP_STATUS_ERROR_NOT_FOUND) {
        refused = true;
        resubscription = QDeadlineTimer(resubscribeMsecs);
        schedule();
    }
}

// Every request of the watcher: bounded in time, and slowing the pace while the server does not answer.
IppResponse ServerWatcherPrivate::send(IppRequest &request)
{
    Connection *const connection = Connection::instance();
    const int hostTimeout = connection->timeout();
    if (requestTimeoutMsecs < hostTimeout) {
        connection->setTimeout(requestTimeoutMsecs);
    }
    IppResponse response = request.doRequest(connection, ServerResource);
    if (requestTimeoutMsecs < hostTimeout) {
        connection->setTimeout(hostTimeout);
    }
    if (unanswered(response)) {
        backoffMsecs = qMax(normalInterval(), qMin(maxBackoffMsecs, 2 * interval()));
        qCDebug(CUPS_CORE) << "no answer from the server, next request in" << backoffMsecs << "ms";
    } else {
        backoffMsecs = 0;
    }
    schedule();
    return response;
}

void ServerWatcherPrivate::schedule()
{
    // Setting the interval restarts the timer: only when it changes, so ticks keep their pace.
    if (timer.interval() != interval()) {
        timer.setInterval(interval());
    }
}

int ServerWatcherPrivate::normalInterval() const
{
    // Waiting for a subscription (or asking for one) goes at the poll pace; a refusing server gets the cheap pace.
    return subscriptionId || !refused ? pollMsecs : fallbackMsecs;
}

int ServerWatcherPrivate::interval() const
{
    return backoffMsecs ? backoffMsecs : normalInterval();
}

void ServerWatcherPrivate::report(bool printers, bool jobs)
{
    // Emitted last: a receiver may stop or restart the watcher.
    if (printers) {
        Q_EMIT q->printersChanged();
    }
    if (jobs) {
        Q_EMIT q->jobsChanged();
    }
}

ServerWatcher::ServerWatcher(QObject *parent)
    : QObject(parent)
    , d(new ServerWatcherPrivate(this))
{
    connect(&d->timer, &QTimer::timeout, this, [this] {
        d->tick();
    });
}

ServerWatcher::~ServerWatcher()
{
    stop();
}

void ServerWatcher::start()
{
    if (d->running) {
        return;
    }
    d->running = true;
    d->refused = false;
    d->backoffMsecs = 0; // a host restarts the watcher for another server, which gets a fresh start
    d->resubscription = QDeadlineTimer(0);
    if (d->tryLock()) {
        d->subscribe();
        Connection::instance()->unlock();
    }
    d->schedule();
    d->timer.start();
}

void ServerWatcher::stop()
{
    if (!d->running) {
        return;
    }
    d->running = false;
    d->timer.stop();
    d->cancel();
}

bool ServerWatcher::isRunning() const
{
    return d->running;
}

bool ServerWatcher::isSubscribed() const
{
    return d->subscriptionId != 0;
}

int ServerWatcher::subscriptionId() const
{
    return d->subscriptionId;
}

void ServerWatcher::setPollInterval(int msecs)
{
    d->pollMsecs = msecs;
    d->schedule();
}

void ServerWatcher::setFallbackInterval(int msecs)
{
    d->fallbackMsecs = msecs;
    d->schedule();
}

void ServerWatcher::setResubscribeInterval(int msecs)
{
    d->resubscribeMsecs = msecs;
}

void ServerWatcher::setLeaseDuration(int seconds)
{
    d->leaseSeconds = seconds;
}

void ServerWatcher::setRequestTimeout(int msecs)
{
    d->requestTimeoutMsecs = msecs;
}

void ServerWatcher::setMaxBackoffInterval(int msecs)
{
    d->maxBackoffMsecs = msecs;
}

int ServerWatcher::currentInterval() const
{
    return d->interval();
}
} // namespace CUPS
