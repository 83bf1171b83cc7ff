#include "cupssandbox.h"
#include "passwordcbsetter.h"

#include <connection.h>
#include <ipprequest.h>

#include <KPasswordDialog>

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cups/cups.h>

#include <functional>
#include <memory>

using CUPS::Connection;

namespace
{
constexpr char PromptText[] = "Password for the test queue:";

// What a password dialog showed when it was answered.
struct Prompt {
    QString title;
    QString text;
    QString presetUser;
    QThread *thread = nullptr;
};

// Answers the password dialogs that become the active modal widget while it lives, in turn: accepts
// with the next user and the password, or rejects when that user is null or there is none.
class DialogAnswerer : public QObject
{
public:
    explicit DialogAnswerer(const QStringList &users = {}, const QString &password = QString())
    {
        connect(&m_timer, &QTimer::timeout, this, [this, users, password] {
            if (auto *dialog = qobject_cast<KPasswordDialog *>(QApplication::activeModalWidget())) {
                const QString user = users.value(prompts.size());
                const QString preset = dialog->username();
                prompts.append({dialog->windowTitle(), dialog->prompt(), preset, dialog->thread()});
                dialog->setUsername(user);
                dialog->setPassword(password);
                user.isNull() ? dialog->reject() : dialog->accept();
            }
        });
        m_timer.start(10);
    }
    QVector<Prompt> prompts;

private:
    QTimer m_timer;
};

// Runs work in this thread, or in a new one while this (GUI) thread keeps handling events, as a worker
// asking for a password needs; false when it did not finish in time.
bool run(const std::function<void()> &work, bool inWorker)
{
    if (!inWorker) {
        work();
        return true;
    }
    std::unique_ptr<QThread> worker(QThread::create(work));
    worker->start();
    if (!QTest::qWaitFor([&] { return worker->isFinished(); }, 20000)) {
        worker.release(); // still blocked: destroying a running thread would abort
        return false;
    }
    return true;
}

QString cupsUserOfThisThread()
{
    return QString::fromLocal8Bit(cupsUser());
}

// Asks through the callback; the answer, and the user libcups has in the asking thread afterwards.
std::pair<const char *, QString> askForPassword(bool inWorker)
{
    std::pair<const char *, QString> outcome{"(unfinished)", QString()};
    run([&outcome] {
        outcome.first = CUPS::passwordCallback(PromptText, nullptr, "POST", "/", nullptr);
        outcome.second = cupsUserOfThisThread();
    }, inWorker);
    return outcome;
}
} // namespace

class PasswordCallbackTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_loginUser = cupsUserOfThisThread();
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        m_lastUser = QStringLiteral("first-user");
        Connection::instance()->setUser(m_lastUser);
    }

    void acceptingSwitchesTheUserEverywhereCancellingKeepsIt_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<QString>("user"); // empty: the name already in use
        // The first row is offered the user set at the start, later ones the user typed before.
        QTest::newRow("another user, GUI thread") << false << QStringLiteral("alice");
        QTest::newRow("the current user, GUI thread") << false << QString();
        QTest::newRow("another user, worker") << true << QStringLiteral("bob");
        QTest::newRow("the current user, worker") << true << QString();
        // A fresh thread's own libcups user is the login name; typing it must still switch.
        QTest::newRow("back to the login user, worker") << true << m_loginUser;
    }
    void acceptingSwitchesTheUserEverywhereCancellingKeepsIt()
    {
        QFETCH(bool, fromWorker);
        QFETCH(QString, user);
        const QString typed = user.isEmpty() ? Connection::instance()->userName() : user;
        const QByteArray password = "pw of " + typed.toUtf8();
        const QString offered = m_lastUser;
        m_lastUser = typed; // what later prompts should offer, whatever fails below
        DialogAnswerer answerer({typed, QString()}, QString::fromUtf8(password));
        const auto accepted = askForPassword(fromWorker);
        const auto cancelled = askForPassword(fromWorker);
        const QVector<Prompt> &prompts = answerer.prompts;
        // One prompt each, asked in the GUI thread; the second offers the user the first one typed.
        QCOMPARE(prompts.size(), 2);
        QCOMPARE(prompts[0].title, QStringLiteral("CUPS Authentication"));
        QCOMPARE(prompts[0].text, QString::fromLatin1(PromptText));
        QCOMPARE(prompts[0].presetUser, offered);
        QCOMPARE(prompts[1].presetUser, typed);
        QVERIFY(prompts[0].thread == qApp->thread() && prompts[1].thread == qApp->thread());
        // libcups may still hold the pointer it was given for the accepted password.
        QCOMPARE(QByteArray(accepted.first), password);
        QCOMPARE(cancelled.first, nullptr);
        QCOMPARE(accepted.second, typed);
        QCOMPARE(cupsUserOfThisThread(), typed);
        QCOMPARE(Connection::instance()->userName(), typed);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void cancellingAnAuthenticationRequestFailsIt_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<bool>("guiHoldsTheLock");
        QTest::newRow("GUI thread") << false << false;
        QTest::newRow("GUI thread holding the lock") << false << true;
        QTest::newRow("worker") << true << false;
        // The GUI thread holds the lock and waits in an event loop; the worker is admitted to its session.
        QTest::newRow("worker in the GUI thread's session") << true << true;
    }
    void cancellingAnAuthenticationRequestFailsIt()
    {
        QFETCH(bool, fromWorker);
        QFETCH(bool, guiHoldsTheLock);
        Connection::setLastError(IPP_STATUS_OK, QString());
        DialogAnswerer cancelling;
        CUPS::IppResponse response;
        QThread *const guiThread = QThread::currentThread();
        auto held = guiHoldsTheLock ? std::make_unique<CUPS::ConnectionLocker>() : nullptr;
        // The sandbox answers every request to /secure with 401 (Basic).
        const bool finished = run([&response, guiThread] {
            Connection::instance()->lockOnBehalfOf(guiThread);
            CUPS::IppRequest request(CUPS_GET_PRINTERS);
            response = request.doRequest(Connection::instance(), QStringLiteral("/secure"));
            Connection::instance()->unlock();
        }, fromWorker);
        held.reset();
        QVERIFY2(finished, "the request waiting for a password never finished");
        QVERIFY(!Connection::instance()->isLockedByCallingThread());
        QCOMPARE(cancelling.prompts.size(), 1);
        QCOMPARE(cancelling.prompts[0].thread, qApp->thread());
        QVERIFY(!response.isOk());
        QVERIFY2(Connection::lastError() != IPP_STATUS_OK, qPrintable(Connection::lastErrorString()));
    }

private:
    QString m_loginUser;
    QString m_lastUser;
    CupsSandbox m_sandbox;
};

QTEST_MAIN(PasswordCallbackTest)

#include "passwordcallbacktest.moc"
