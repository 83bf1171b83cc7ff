#ifndef CUPS_SERVERWATCHER_H
#define CUPS_SERVERWATCHER_H

#include "norvikprintcore_export.h"

#include <QObject>

#include <memory>

namespace CUPS
{
class ServerWatcherPrivate;

/**
 * Tells when the server's printers or jobs change, whoever changed them.
 *
 * While started it holds a printer and job subscription on the server
 * (pulled with Get-Notifications, one small request per poll interval),
 * renews its lease in time and cancels it on stop() or destruction. A server
 * that refuses subscriptions is reported as changing on every fallback
 * interval instead (after one small request that shows it still answers),
 * and asked again for a subscription now and then.
 *
 * It runs in the thread it lives in (the GUI thread of a host) and never
 * waits for Connection's lock: while another thread or a locked section of
 * its own thread (a password prompt, a dialog's worker) has the connection,
 * a poll is skipped and tried again at the next tick. Signals are emitted
 * while this thread holds the lock, so a directly connected reload gets the
 * server at once.
 *
 * A server that does not answer at all (nothing listens, or it takes the
 * connection and stays silent) is asked less and less often: each request
 * without an answer doubles the interval, up to setMaxBackoffInterval(), and
 * the first answer brings back the normal pace. Nothing is reported while it
 * is silent, since a reload would only wait for it too. Each of the watcher's
 * own requests waits at most setRequestTimeout() (Connection's timeout is
 * restored after it), so its part of a tick holds the GUI thread no longer.
 * An answer that says no (an IPP or HTTP error) is an answer: it ends the
 * backoff like any other.
 */
class NORVIKPRINTCORE_EXPORT ServerWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ServerWatcher(QObject *parent = nullptr);
    ~ServerWatcher() override;

    /// Subscribes (or falls back) and starts polling; does nothing when running.
    void start();
    /// Stops polling and cancels the subscription.
    void stop();
    bool isRunning() const;
    /// True while the server holds a subscription for this watcher.
    bool isSubscribed() const;
    /// The server's id of the subscription, 0 without one.
    int subscriptionId() const;

    /// Milliseconds between two Get-Notifications (default 1000).
    void setPollInterval(int msecs);
    /// Milliseconds between two reports of a server without subscriptions (default 5000).
    void setFallbackInterval(int msecs);
    /// Milliseconds before a refused subscription is asked for again (default 60000).
    void setResubscribeInterval(int msecs);
    /// Seconds the server keeps the subscription without a renewal (default 300); renewed at half of it.
    void setLeaseDuration(int seconds);
    /// Milliseconds one of the watcher's requests may wait for the server (default 3000); a shorter Connection timeout stays.
    void setRequestTimeout(int msecs);
    /// Longest interval between two requests to a server that does not answer (default 60000).
    void setMaxBackoffInterval(int msecs);
    /// Milliseconds until the next poll: the poll or fallback interval, or longer while the server does not answer.
    int currentInterval() const;

Q_SIGNALS:
    /// A printer or class was added, removed, changed its state or its settings; at most once per poll.
    void printersChanged();
    /// A job was created, changed its state or progressed; at most once per poll.
    void jobsChanged();

private:
    friend class ServerWatcherPrivate;
    std::unique_ptr<ServerWatcherPrivate> const d;
};
} // namespace CUPS

#endif
