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
// The sandbox answers every request to this location with 401 (Basic).
constexpr char ProtectedResource[] = "/secure";
constexpr char PromptText[] = "Password for the test queue:";
constexpr int WorkerTimeoutMsecs = 20000;

// What a password dialog showed when it was answered.
struct Prompt {
    QString title;
    QString text;
    QString presetUser;
    QThread *thread = nullptr;
};

// Answers every password dialog that becomes the active modal widget while it lives:
// accepts with the given user and password, or rejects when the user is null.
class DialogAnswerer : public QObject
{
public:
    explicit DialogAnswerer(const QString &user = QString(), const QString &password = QString())
        : m_user(user)
        , m_password(password)
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::answer);
        m_timer.start(10);
    }

    QVector<Prompt> prompts;

private:
    void answer()
    {
        auto *dialog = qobject_cast<KPasswordDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            return;
        }
        prompts.append({dialog->windowTitle(), dialog->prompt(), dialog->username(), dialog->thread()});
        if (m_user.isNull()) {
            dialog->reject();
            return;
        }
        dialog->setUsername(m_user);
        dialog->setPassword(m_password);
        dialog->accept();
    }

    const QString m_user;
    const QString m_password;
    QTimer m_timer;
};

// Runs work in a new thread while the GUI thread keeps handling events, as a
// worker asking for a password needs; false when it did not finish in time.
bool runInWorker(const std::function<void()> &work)
{
    std::unique_ptr<QThread> worker(QThread::create(work));
    worker->start();
    if (!QTest::qWaitFor([&] { return worker->isFinished(); }, WorkerTimeoutMsecs)) {
        worker.release(); // still blocked: destroying a running thread would abort
        return false;
    }
    return true;
}

struct Outcome {
    bool finished = false;
    const char *answer = nullptr;
    QByteArray password;
    QString userInCallingThread;
};

Outcome askForPassword(bool fromWorker)
{
    Outcome outcome;
    auto call = [&outcome] {
        outcome.answer = CUPS::passwordCallback(PromptText, nullptr, "POST", "/", nullptr);
        outcome.password = QByteArray(outcome.answer);
        outcome.userInCallingThread = QString::fromLocal8Bit(cupsUser());
    };
    if (fromWorker) {
        outcome.finished = runInWorker(call);
    } else {
        call();
        outcome.finished = true;
    }
    return outcome;
}

QString guiThreadUser()
{
    return QString::fromLocal8Bit(cupsUser());
}
} // namespace

class PasswordCallbackTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Runs first: the callback remembers users for the whole process.
    void firstPromptOffersTheCupsUser();
    void acceptingSwitchesTheUserEverywhereCancellingKeepsIt_data();
    void acceptingSwitchesTheUserEverywhereCancellingKeepsIt();
    void cancellingAnAuthenticationRequestFailsIt_data();
    void cancellingAnAuthenticationRequestFailsIt();

private:
    QString m_loginUser;
    QString m_lastUser;
    CupsSandbox m_sandbox;
};

void PasswordCallbackTest::initTestCase()
{
    m_loginUser = guiThreadUser();
    QVERIFY(!m_loginUser.isEmpty());
    QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
}

void PasswordCallbackTest::firstPromptOffersTheCupsUser()
{
    Connection::instance()->setUser(QStringLiteral("first-user"));
    DialogAnswerer cancelling;
    const Outcome outcome = askForPassword(false);

    QCOMPARE(cancelling.prompts.size(), 1);
    const Prompt &prompt = cancelling.prompts.first();
    QCOMPARE(prompt.title, QStringLiteral("CUPS Authentication"));
    QCOMPARE(prompt.text, QString::fromLatin1(PromptText));
    QCOMPARE(prompt.presetUser, QStringLiteral("first-user"));
    QCOMPARE(outcome.answer, nullptr);
    QCOMPARE(guiThreadUser(), QStringLiteral("first-user"));
    m_lastUser = QStringLiteral("first-user");
}

void PasswordCallbackTest::acceptingSwitchesTheUserEverywhereCancellingKeepsIt_data()
{
    QTest::addColumn<bool>("fromWorker");
    QTest::addColumn<QString>("user"); // empty: the name already in use
    QTest::addColumn<QByteArray>("password");

    QTest::newRow("another user, GUI thread") << false << QStringLiteral("alice") << QByteArrayLiteral("alice's secret");
    QTest::newRow("the current user, GUI thread") << false << QString() << QByteArrayLiteral("same again");
    QTest::newRow("another user, worker") << true << QStringLiteral("bob") << QByteArrayLiteral("b0b:pw");
    QTest::newRow("the current user, worker") << true << QString() << QByteArrayLiteral("once more");
    // A fresh thread's own libcups user is the login name; typing it must still switch.
    QTest::newRow("back to the login user, worker") << true << m_loginUser << QByteArrayLiteral("login pw");
}

void PasswordCallbackTest::acceptingSwitchesTheUserEverywhereCancellingKeepsIt()
{
    QFETCH(bool, fromWorker);
    QFETCH(QString, user);
    QFETCH(QByteArray, password);
    const QString typed = user.isEmpty() ? Connection::instance()->userName() : user;

    const QString offered = m_lastUser;
    m_lastUser = typed; // what later prompts should offer, whatever fails below
    Outcome accepted;
    Outcome cancelled;
    QVector<Prompt> prompts;
    {
        DialogAnswerer accepting(typed, QString::fromLatin1(password));
        accepted = askForPassword(fromWorker);
        prompts += accepting.prompts;
    }
    {
        DialogAnswerer cancelling;
        cancelled = askForPassword(fromWorker);
        prompts += cancelling.prompts;
    }
    QVERIFY(accepted.finished && cancelled.finished);
    // One prompt each, asked in the GUI thread; the second offers the user the first one typed.
    QCOMPARE(prompts.size(), 2);
    QCOMPARE(prompts.at(0).presetUser, offered);
    QCOMPARE(prompts.at(1).presetUser, typed);
    for (const Prompt &prompt : qAsConst(prompts)) {
        QCOMPARE(prompt.thread, qApp->thread());
    }
    QCOMPARE(accepted.password, password);
    QCOMPARE(cancelled.answer, nullptr);
    // libcups may still hold the pointer it was given for the accepted password.
    QCOMPARE(QByteArray(accepted.answer), password);
    QCOMPARE(accepted.userInCallingThread, typed);
    QCOMPARE(guiThreadUser(), typed);
    QCOMPARE(Connection::instance()->userName(), typed);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void PasswordCallbackTest::cancellingAnAuthenticationRequestFailsIt_data()
{
    QTest::addColumn<bool>("fromWorker");
    QTest::addColumn<bool>("guiHoldsTheLock");
    QTest::newRow("GUI thread") << false << false;
    QTest::newRow("GUI thread holding the lock") << false << true;
    QTest::newRow("worker") << true << false;
    // The GUI thread holds the lock and waits in an event loop; the worker is admitted to its session.
    QTest::newRow("worker in the GUI thread's session") << true << true;
}

void PasswordCallbackTest::cancellingAnAuthenticationRequestFailsIt()
{
    QFETCH(bool, fromWorker);
    QFETCH(bool, guiHoldsTheLock);
    Connection::setLastError(IPP_STATUS_OK, QString());
    DialogAnswerer cancelling;
    CUPS::IppResponse response;
    QThread *const guiThread = QThread::currentThread();
    auto send = [&response, guiThread] {
        Connection::instance()->lockOnBehalfOf(guiThread);
        CUPS::IppRequest request(CUPS_GET_PRINTERS);
        response = request.doRequest(Connection::instance(), QString::fromLatin1(ProtectedResource));
        Connection::instance()->unlock();
    };
    if (guiHoldsTheLock) {
        Connection::instance()->lock();
    }
    const bool finished = fromWorker ? runInWorker(send) : (send(), true);
    if (guiHoldsTheLock) {
        Connection::instance()->unlock();
    }
    QVERIFY2(finished, "the request waiting for a password never finished");
    QVERIFY(!Connection::instance()->isLockedByCallingThread());

    QCOMPARE(cancelling.prompts.size(), 1);
    QCOMPARE(cancelling.prompts.first().thread, qApp->thread());
    QVERIFY(!response.isOk());
    QVERIFY2(Connection::lastError() != IPP_STATUS_OK, qPrintable(Connection::lastErrorString()));
}

QTEST_MAIN(PasswordCallbackTest)

#include "passwordcallbacktest.moc"
