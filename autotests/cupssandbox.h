#ifndef CUPSSANDBOX_H
#define CUPSSANDBOX_H

#include <QString>
#include <QStringList>

class QProcess;

/**
 * A private cupsd for one test executable, started by scripts/cups-sandbox
 * on a free 127.0.0.1 port in its own temporary folder and stopped with the
 * object. start() points this process' libcups (server, server root, home)
 * at it, so nothing reaches the machine's own CUPS.
 */
class CupsSandbox
{
public:
    CupsSandbox() = default;
    ~CupsSandbox();
    CupsSandbox(const CupsSandbox &) = delete;
    CupsSandbox &operator=(const CupsSandbox &) = delete;

    /// Starts the server (with the sample printers, class and jobs when asked).
    bool start(bool sample = false);
    void stop();
    /// Stops the scheduler but keeps its folder, port, queues and jobs, as a
    /// server that dies under a running client; resume() brings it back.
    bool pause();
    bool resume();
    /// Points this process' libcups and the core connection at the server.
    void use() const;

    bool isRunning() const;
    QString errorString() const;
    /// "127.0.0.1:PORT"
    QString server() const;
    QString directory() const;
    QString home() const;

    /// Runs a CUPS command-line client (lpadmin, cupsdisable, lp ...) against
    /// the sandbox; true when it exits with 0. Output (stdout and stderr) goes to output.
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr) const;
    /// The same, for the output alone (a failing client's says why).
    QString output(const QString &program, const QStringList &arguments) const;
    /// Adds a printer queue printing to /dev/null; extra lpadmin arguments may follow.
    bool addPrinter(const QString &name, const QStringList &extraArguments = {}) const;

private:
    QString m_server;
    QString m_directory;
    QString m_home;
    QString m_error;
};

/**
 * Starts a broken or foreign service on 127.0.0.1 in process: it answers each
 * connection with answer (none: never answers), then hangs up or stays silent.
 * A process of its own, as the test's thread is blocked in the call it serves.
 * Its "127.0.0.1:PORT"; empty when it did not start.
 */
QString startFakeServer(QProcess &process, const QByteArray &answer, bool hangUp);

#endif
