#include "macippserverprocess.h"

#include <attributes.h>
#include <connection.h>
#include <macattributesdialog.h>
#include <macippactions.h>
#include <utils.h>

#include <KPasswordDialog>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace CUPS;

namespace
{
constexpr int Change = MacJobInfo::ChangeAttributes;
constexpr int Mark = MacJobInfo::Mark;
const QString Marked = QStringLiteral("Marking has been completed<br>Derived Job ID's: 12,13");
const QString Changed = QStringLiteral("Job attributes has been changed successfully");

// Plays the user while it lives, passing over the busy indicator: edit says whether to accept the
// marking dialog; prompts get user (null: cancelled) and the passwords in turn; boxes get OK.
class User : public QObject
{
public:
    explicit User(std::function<bool(MacAttributesDialog *)> edit = {})
        : edit(std::move(edit))
    {
        connect(&m_timer, &QTimer::timeout, this, &User::act);
        m_timer.start(10);
    }

    std::function<bool(MacAttributesDialog *)> edit;
    QString user;
    QStringList passwords;
    QStringList boxes;
    QList<QThread *> prompts; // the thread each prompt ran in

private:
    void act()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append(box->text());
            box->button(QMessageBox::Ok)->click();
        } else if (auto *dialog = qobject_cast<MacAttributesDialog *>(modal); dialog && dialog->isVisible()) {
            !edit || edit(dialog) ? dialog->accept() : dialog->reject();
        } else if (auto *prompt = qobject_cast<KPasswordDialog *>(modal)) {
            prompts.append(prompt->thread());
            prompt->setUsername(user);
            prompt->setPassword(passwords.value(prompts.size() - 1));
            user.isNull() ? prompt->reject() : prompt->accept();
        }
    }

    QTimer m_timer;
};

bool okEnabled(MacAttributesDialog *dialog)
{
    return dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled();
}

// Replaces a line edit's text as typing does, so textEdited is emitted.
void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// An attribute of the job's only journal record; empty without exactly one.
QString journaled(int jobId, QLatin1String attribute)
{
    QList<QHash<QString, QVariant>> records;
    MacIppActions::instance()->getJournal({{Attr::JobId, QString::number(jobId)}}, &records);
    return records.size() == 1 ? Utils::getAttribute(records.first(), attribute).toString() : QString();
}
} // namespace

class MacAttributesDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_server.use();
    }

    void init()
    {
        QVERIFY(m_server.reset());
        m_logStart = m_server.requestLog().size();
    }

    void cleanup()
    {
        QThread *other = QThread::create([] {
            Connection::instance()->lock();
            Connection::instance()->unlock();
        });
        other->start();
        QVERIFY2(other->wait(5000), "the dialog left the connection lock taken");
        delete other;
    }

    void refusalsAreReportedWithoutTheDialog_data()
    {
        QTest::addColumn<bool>("lockedElsewhere");
        QTest::addColumn<QString>("infoError"); // the server fails get-job-info with it
        QTest::addColumn<QList<int>>("permissions");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("unlocks");
        const QList<int> all{Change, Mark};
        // Not the dialog's lock: it must not undo it.
        QTest::newRow("locked elsewhere") << true << QString() << all
            << QStringLiteral("Unable to lock job 1<br>CUPS error: Job #1 is locked by another user") << 0;
        QTest::newRow("unreadable info, not a refusal") << false << QStringLiteral("Labels offline") << all
            << QStringLiteral("Unable to get mandatory attributes of job 1<br>CUPS error: Labels offline") << 1;
        QTest::newRow("neither changing nor marking allowed") << false << QString() << QList<int>{}
            << QStringLiteral("Changing of mandatory attributes and marking are not allowed by current user") << 1;
    }

    void refusalsAreReportedWithoutTheDialog()
    {
        QFETCH(bool, lockedElsewhere);
        QFETCH(QString, infoError);
        QFETCH(QList<int>, permissions);
        QFETCH(QString, box);
        QFETCH(int, unlocks);
        QVERIFY(m_server.setPermissions(permissions));
        QVERIFY(!lockedElsewhere || MacIppActions::instance()->lockJob(1));
        QVERIFY(infoError.isEmpty() || m_server.failOperation(QStringLiteral("get-job-info"), infoError));
        User user; // accepts the dialog, should it come
        MacAttributesDialog().exec(1);
        QCOMPARE(user.boxes, QStringList{box});
        QCOMPARE(requestsOf(MacIppActions::UnlockJob), unlocks);
    }

    void permissionsDecideBetweenChangingAndMarking_data()
    {
        QTest::addColumn<QList<int>>("permissions");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<bool>("marks");
        QTest::newRow("change only") << QList<int>{Change} << true << false;
        QTest::newRow("mark only") << QList<int>{Mark} << false << true;
        QTest::newRow("change and mark") << QList<int>{Change, Mark} << true << true;
    }

    void permissionsDecideBetweenChangingAndMarking()
    {
        QFETCH(QList<int>, permissions);
        QFETCH(bool, editable);
        QFETCH(bool, marks);
        QVERIFY(m_server.setPermissions(permissions));
        QVector<bool> addressesEditable;
        const auto edit = [&](MacAttributesDialog *dialog) {
            for (DistributionEditWidget *row : dialog->findChildren<DistributionEditWidget *>()) {
                addressesEditable.append(!row->isReadOnly() && row->findChild<QToolButton *>()->isEnabled());
            }
            auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum);
            if (!invNum->isReadOnly()) {
                retype(invNum, QStringLiteral("INV-99"));
            }
            QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("page-ranges")), QStringLiteral("2-3"));
            return okEnabled(dialog);
        };
        User user(edit);
        MacAttributesDialog().exec(1);
        QCOMPARE(user.boxes, QStringList{marks ? Marked : Changed});
        QCOMPARE(addressesEditable, QVector<bool>(3, editable));
        QCOMPARE(requestsOf(MacIppActions::UnlockJob), marks ? 0 : 1); // a marked job is the server's to release
        if (marks) {
            QCOMPARE(journaled(1, Attr::MacInvNum), editable ? QStringLiteral("INV-99") : QStringLiteral("INV-7"));
            QCOMPARE(journaled(1, Attr::PageRanges), QStringLiteral("2-3"));
            QCOMPARE(journaled(1, Attr::MacWorkplaceId), QStringLiteral("WS-7")); // hidden, sent back as it was
        }
    }

    void requiredEntriesAndPageRangesGateOk()
    {
        QList<bool> okStates;
        User user([&](MacAttributesDialog *dialog) {
            okStates.append(okEnabled(dialog)); // all required set, the optional phone empty
            auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum);
            retype(invNum, QString());
            okStates.append(okEnabled(dialog));
            QTest::keyClicks(invNum, QStringLiteral("7"));
            auto *pages = dialog->findChild<QLineEdit *>(QStringLiteral("page-ranges"));
            for (const QString &text : {QStringLiteral("1-5,8"), QStringLiteral("1, 2"), QStringLiteral("4-")}) {
                retype(pages, text);
                okStates.append(okEnabled(dialog));
            }
            return false;
        });
        MacAttributesDialog().exec(1);
        QCOMPARE(okStates, (QList<bool>{true, false, true, false, false}));
        QCOMPARE(requestsOf(MacIppActions::UnlockJob), 1); // cancelling unlocks
    }

    void unsetAndEmptiedDistributionListsDiffer_data()
    {
        QTest::addColumn<int>("jobId");
        QTest::addColumn<QString>("sent");
        QTest::newRow("never set, left empty") << 2 << QStringLiteral("Not specified");
        QTest::newRow("set, emptied by the user") << 1 << QString();
    }

    void unsetAndEmptiedDistributionListsDiffer()
    {
        QFETCH(int, jobId);
        QFETCH(QString, sent);
        QString distribution;
        User user([&](MacAttributesDialog *dialog) {
            for (DistributionEditWidget *row : dialog->findChildren<DistributionEditWidget *>()) {
                retype(row->findChild<QLineEdit *>(), QString());
            }
            distribution = dialog->attributes().value(Attr::MacDistribution);
            return false;
        });
        MacAttributesDialog().exec(jobId);
        QCOMPARE(distribution, sent);
    }

    void markingRunsInTheBackgroundAsTheGuiThreadsUser_data()
    {
        QTest::addColumn<QString>("user"); // null: the prompt is cancelled
        QTest::addColumn<QStringList>("passwords"); // none: no prompt; the last is the server's
        QTest::addColumn<QString>("box"); // failures unlock the job
        const QString cancelled = QString::fromUtf8(httpStatus(HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED));
        QTest::newRow("no prompt") << QStringLiteral("marker-9") << QStringList() << Marked;
        const QStringList typo{QStringLiteral("typo"), QStringLiteral("s3cr3t")};
        QTest::newRow("mistyped once") << QStringLiteral("dave") << typo << Marked;
        QTest::newRow("cancelled") << QString() << QStringList{QStringLiteral("n3w")}
                                   << QStringLiteral("Unable to mark job 1<br>CUPS error: ") + cancelled;
    }

    void markingRunsInTheBackgroundAsTheGuiThreadsUser()
    {
        QFETCH(QString, user);
        QFETCH(QStringList, passwords);
        QFETCH(QString, box);
        auto restore = qScopeGuard([before = Connection::instance()->userName()] {
            Connection::instance()->setUser(before);
        });
        if (passwords.isEmpty()) {
            Connection::instance()->setUser(user);
        } else {
            QVERIFY(m_server.requireAuthentication(QStringLiteral("mark-job"), passwords.last()));
        }
        User answering;
        answering.user = user;
        answering.passwords = passwords;
        MacAttributesDialog().exec(1);
        QCOMPARE(answering.boxes, QStringList{box});
        QCOMPARE(answering.prompts.count(qApp->thread()), passwords.size()); // it holds the lock for the task
        QCOMPARE(requestsOf(MacIppActions::UnlockJob), box == Marked ? 0 : 1);
        QCOMPARE(journaled(1, Attr::MacJobUserName), box == Marked ? user : QString());
    }

private:
    // Since the test's set-up.
    int requestsOf(int operation) const
    {
        const QRegularExpression line(QStringLiteral("^%1 ").arg(operation, 0, 16));
        return m_server.requestLog().mid(m_logStart).filter(line).size();
    }

    MacIppServerProcess m_server;
    int m_logStart = 0;
};

QTEST_MAIN(MacAttributesDialogTest)

#include "macattributesdialogtest.moc"
