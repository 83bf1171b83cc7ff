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
 * interval instead, and asked again for a subscription now and then.
 *
 * It runs in the thread it lives in (the GUI thread of a host) and never
 * waits for Connection's lock: while another thread or a locked section of
 * its own thread (a password prompt, a dialog's worker) has the connection,
 * a poll is skipped and tried again at the next tick. Signals are emitted
 * while this thread holds the lock, so a directly connected reload gets the
 * server at once.
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
