#include "macippserverprocess.h"

#include <attributes.h>
#include <connection.h>
#include <macattributesdialog.h>
#include <macippactions.h>
#include <utils.h>

#include <KPasswordDialog>

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace CUPS;

namespace
{
constexpr int Change = MacJobInfo::ChangeAttributes;
constexpr int Mark = MacJobInfo::Mark;

// What a message box said when the test answered it.
struct Box {
    QString title;
    QString text;
};

/**
 * Plays the user while it lives: hands the marking dialog to a handler that
 * looks at it, edits it and says whether to accept, and answers every message
 * box with OK, remembering what it said.
 */
class User : public QObject
{
public:
    using Handler = std::function<bool(MacAttributesDialog *)>;

    explicit User(Handler handler = {})
        : m_handler(std::move(handler))
    {
        connect(&m_timer, &QTimer::timeout, this, &User::act);
        m_timer.start(10);
    }

    /// Answers password prompts with this user and the passwords in turn (the last one
    /// again when they run out); a null user cancels them.
    void answerPrompts(const QString &user, const QStringList &passwords)
    {
        m_promptUser = user;
        m_promptPasswords = passwords;
    }

    int dialogsSeen = 0;
    QList<Box> boxes;
    // The thread each password prompt ran in.
    QList<QThread *> prompts;

private:
    void act()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append({box->windowTitle(), box->text()});
            box->button(QMessageBox::Ok)->click();
        } else if (auto *dialog = qobject_cast<MacAttributesDialog *>(modal); dialog && dialog->isVisible()) {
            ++dialogsSeen;
            const bool accept = m_handler && m_handler(dialog);
            accept ? dialog->accept() : dialog->reject();
        } else if (auto *prompt = qobject_cast<KPasswordDialog *>(modal)) {
            prompts.append(prompt->thread());
            if (m_promptUser.isNull()) {
                prompt->reject();
                return;
            }
            prompt->setUsername(m_promptUser);
            prompt->setPassword(m_promptPasswords.value(prompts.size() - 1, m_promptPasswords.value(m_promptPasswords.size() - 1)));
            prompt->accept();
        }
    }

    Handler m_handler;
    QString m_promptUser;
    QStringList m_promptPasswords;
    QTimer m_timer;
};

QPushButton *okButton(MacAttributesDialog *dialog)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
}

// Replaces a line edit's text as typing does, so textEdited is emitted.
void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// The address rows from the first one down, in form order.
QList<DistributionEditWidget *> addressRows(MacAttributesDialog *dialog)
{
    auto *form = dialog->findChild<QFormLayout *>(QStringLiteral("formLayout"));
    auto *first = dialog->findChild<DistributionEditWidget *>(Attr::MacDistribution);
    QList<DistributionEditWidget *> rows;
    int row = -1;
    QFormLayout::ItemRole role;
    form->getWidgetPosition(first, &row, &role);
    for (; row >= 0 && row < form->rowCount(); ++row) {
        QLayoutItem *item = form->itemAt(row, QFormLayout::FieldRole);
        auto *address = qobject_cast<DistributionEditWidget *>(item ? item->widget() : nullptr);
        if (!address) {
            break;
        }
        rows.append(address);
    }
    return rows;
}

QStringList texts(const QList<DistributionEditWidget *> &rows)
{
    QStringList result;
    for (const DistributionEditWidget *row : rows) {
        result.append(row->text());
    }
    return result;
}

int requestsOf(const QStringList &log, int operation)
{
    const QString code = QString::number(operation, 16) + QLatin1Char(' ');
    return int(std::count_if(log.cbegin(), log.cend(), [&code](const QString &line) {
        return line.startsWith(code);
    }));
}

// True when another thread can take the connection lock: nothing was left
// holding it.
bool connectionLockIsFree()
{
    std::atomic<bool> taken{false};
    std::unique_ptr<QThread> other(QThread::create([&taken] {
        Connection::instance()->lock();
        taken = true;
        Connection::instance()->unlock();
    }));
    other->start();
    if (!other->wait(QDeadlineTimer(5000))) {
        other.release(); // blocked for good: leaking it beats aborting
        return false;
    }
    return taken;
}

enum class Outcome { ChangedAttributes, Marked, Refused };
} // namespace
Q_DECLARE_METATYPE(Outcome)

class MacAttributesDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void aNegativeJobIdDoesNothing();
    void aJobLockedElsewhereIsReportedAndNotOpened();
    void unreadableJobInfoIsReportedNotTakenForARefusal();
    void permissionsDecideBetweenChangingAndMarking_data();
    void permissionsDecideBetweenChangingAndMarking();
    void requiredEntriesGateOkButOptionalAndHiddenOnesDoNot();
    void pageRangesGateOk_data();
    void pageRangesGateOk();
    void storedDistributionListFillsRowsAndTravelsBack();
    void theSixthAddressRowDisablesAdding();
    void readOnlyAddressRowsOfferNoAdding();
    void unsetAndEmptiedDistributionListsDiffer_data();
    void unsetAndEmptiedDistributionListsDiffer();
    void markingFailureShowsTheServersErrorAndUnlocks();
    void markingRunsAsTheGuiThreadsUser();
    void markingMayAskForAPasswordWhileTheGuiWaits_data();
    void markingMayAskForAPasswordWhileTheGuiWaits();
    void addButtonNeedsTextEditabilityAndRoom_data();
    void addButtonNeedsTextEditabilityAndRoom();
    void onlyTheUserEditingATextSignalsIt();

private:
    // The server's requests since the current test started.
    QStringList newRequests() const
    {
        return m_server.requestLog().mid(m_logStart);
    }

    MacIppServerProcess m_server;
    int m_logStart = 0;
};

void MacAttributesDialogTest::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    m_server.use();
}

void MacAttributesDialogTest::init()
{
    QVERIFY(m_server.reset());
    m_logStart = m_server.requestLog().size();
}

void MacAttributesDialogTest::cleanup()
{
    QVERIFY2(connectionLockIsFree(), "the dialog left the connection lock taken");
}

void MacAttributesDialogTest::aNegativeJobIdDoesNothing()
{
    const int requests = m_server.requestLog().size();
    User user;
    MacAttributesDialog dialog;
    dialog.exec(-1);
    QCOMPARE(user.dialogsSeen, 0);
    QVERIFY(user.boxes.isEmpty());
    QCOMPARE(m_server.requestLog().size(), requests);
}

void MacAttributesDialogTest::aJobLockedElsewhereIsReportedAndNotOpened()
{
    QVERIFY(MacIppActions::instance()->lockJob(1));
    User user([](MacAttributesDialog *) {
        return true;
    });
    MacAttributesDialog dialog;
    dialog.exec(1);
    QCOMPARE(user.dialogsSeen, 0);
    QCOMPARE(user.boxes.size(), 1);
    QCOMPARE(user.boxes.first().title, QStringLiteral("Error"));
    QCOMPARE(user.boxes.first().text,
             QStringLiteral("Unable to lock job 1<br>CUPS error: Job #1 is "
                            "locked by another user"));
    // Not the dialog's lock: it must not have undone it.
    QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), 0);
}

void MacAttributesDialogTest::unreadableJobInfoIsReportedNotTakenForARefusal()
{
    QVERIFY(m_server.failOperation(QStringLiteral("get-job-info"), QStringLiteral("Label database offline")));
    User user([](MacAttributesDialog *) {
        return true;
    });
    MacAttributesDialog dialog;
    dialog.exec(1);
    QCOMPARE(user.dialogsSeen, 0);
    QCOMPARE(user.boxes.size(), 1);
    QCOMPARE(user.boxes.first().title, QStringLiteral("Error"));
    QCOMPARE(user.boxes.first().text, QStringLiteral("Unable to get mandatory attributes of job 1<br>CUPS error: Label database offline"));
    QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), 1);
}

void MacAttributesDialogTest::permissionsDecideBetweenChangingAndMarking_data()
{
    QTest::addColumn<QList<int>>("permissions");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("boxTitle");
    QTest::addColumn<QString>("boxText");

    const QString marked = QStringLiteral("Marking has been completed<br>Derived Job ID's: 12,13");
    QTest::newRow("change only") << QList<int>{Change} << true << Outcome::ChangedAttributes << QStringLiteral("Information")
                                 << QStringLiteral("Job attributes has been changed successfully");
    QTest::newRow("mark only") << QList<int>{Mark} << false << Outcome::Marked << QStringLiteral("Information") << marked;
    QTest::newRow("change and mark") << QList<int>{Change, Mark} << true << Outcome::Marked << QStringLiteral("Information") << marked;
    QTest::newRow("neither") << QList<int>{} << false << Outcome::Refused << QStringLiteral("Error")
                             << QStringLiteral("Changing of mandatory attributes and "
                                               "marking are not allowed by current user");
}

void MacAttributesDialogTest::permissionsDecideBetweenChangingAndMarking()
{
    QFETCH(QList<int>, permissions);
    QFETCH(bool, editable);
    QFETCH(Outcome, outcome);
    QFETCH(QString, boxTitle);
    QFETCH(QString, boxText);
    QVERIFY(m_server.setPermissions(permissions));

    bool invNumReadOnly = false;
    bool distributionReadOnly = false;
    bool pagesReadOnly = true;
    bool fontEnabled = false;
    User user([&](MacAttributesDialog *dialog) {
        auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum);
        auto *pages = dialog->findChild<QLineEdit *>(QStringLiteral("page-ranges"));
        auto *font = dialog->findChild<QComboBox *>(QStringLiteral("font"));
        invNumReadOnly = invNum->isReadOnly();
        distributionReadOnly = dialog->findChild<DistributionEditWidget *>(Attr::MacDistribution)->isReadOnly();
        pagesReadOnly = pages->isReadOnly();
        fontEnabled = font->isEnabled();
        if (!invNum->isReadOnly()) {
            retype(invNum, QStringLiteral("INV-99"));
        }
        font->setCurrentText(QStringLiteral("DejaVu Sans"));
        QTest::keyClicks(pages, QStringLiteral("2-3"));
        return okButton(dialog)->isEnabled();
    });
    MacAttributesDialog dialog;
    dialog.exec(1);

    QCOMPARE(user.dialogsSeen, outcome == Outcome::Refused ? 0 : 1);
    QCOMPARE(user.boxes.size(), 1);
    QCOMPARE(user.boxes.first().title, boxTitle);
    QCOMPARE(user.boxes.first().text, boxText);
    if (outcome != Outcome::Refused) {
        QCOMPARE(invNumReadOnly, !editable);
        QCOMPARE(distributionReadOnly, !editable);
        QVERIFY(!pagesReadOnly);
        QVERIFY(fontEnabled);
    }

    const QStringList log = newRequests();
    QCOMPARE(requestsOf(log, MacIppActions::SetJobAttributes), outcome == Outcome::ChangedAttributes ? 1 : 0);
    QCOMPARE(requestsOf(log, MacIppActions::MarkJob), outcome == Outcome::Marked ? 1 : 0);
    // Unlocked after changing or refusing; a marked job is the server's to
    // release.
    QCOMPARE(requestsOf(log, MacIppActions::UnlockJob), outcome == Outcome::Marked ? 0 : 1);

    const QString expectedInvNum = editable ? QStringLiteral("INV-99") : QStringLiteral("INV-7");
    if (outcome == Outcome::ChangedAttributes) {
        const MacJobInfo info = MacIppActions::instance()->getMacInfo(1);
        QCOMPARE(info.entries.at(1).value, expectedInvNum);
        QCOMPARE(info.markerFont, QStringLiteral("DejaVu Sans"));
        QVERIFY2(MacIppActions::instance()->lockJob(1), "the job was left locked");
    } else if (outcome == Outcome::Marked) {
        QList<QHash<QString, QVariant>> records;
        QVERIFY(MacIppActions::instance()->getJournal({{Attr::JobId, QStringLiteral("1")}}, &records));
        QCOMPARE(records.size(), 1);
        QCOMPARE(Utils::getAttribute(records.first(), Attr::MacInvNum).toString(), expectedInvNum);
        QCOMPARE(Utils::getAttribute(records.first(), Attr::MacMarkerFont).toString(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(Utils::getAttribute(records.first(), Attr::PageRanges).toString(), QStringLiteral("2-3"));
        QCOMPARE(Utils::getAttribute(records.first(), Attr::MacWorkplaceId).toString(), QStringLiteral("WS-7"));
    } else {
        QVERIFY2(MacIppActions::instance()->lockJob(1), "the refused job was left locked");
    }
}

void MacAttributesDialogTest::requiredEntriesGateOkButOptionalAndHiddenOnesDoNot()
{
    QList<bool> okStates;
    bool hiddenShown = true;
    bool optionalShown = false;
    QHash<QString, QString> sent;
    {
        User user([&](MacAttributesDialog *dialog) {
            okStates.append(okButton(dialog)->isEnabled()); // all required set, the optional phone empty
            hiddenShown = dialog->findChild<QLineEdit *>(Attr::MacWorkplaceId) != nullptr;
            optionalShown = dialog->findChild<QLineEdit *>(Attr::MacOwnerPhone) != nullptr;
            auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum);
            retype(invNum, QString());
            okStates.append(okButton(dialog)->isEnabled());
            QTest::keyClicks(invNum, QStringLiteral("7"));
            okStates.append(okButton(dialog)->isEnabled());
            auto *firstAddress = dialog->findChild<DistributionEditWidget *>(Attr::MacDistribution)->findChild<QLineEdit *>();
            retype(firstAddress, QString());
            okStates.append(okButton(dialog)->isEnabled()); // the first address row is what counts
            QTest::keyClicks(firstAddress, QStringLiteral("Office 9"));
            okStates.append(okButton(dialog)->isEnabled());
            sent = dialog->attributes();
            return false;
        });
        MacAttributesDialog dialog;
        dialog.exec(1);
        QCOMPARE(user.dialogsSeen, 1);
    }
    QCOMPARE(okStates, (QList<bool>{true, false, true, false, true}));
    QVERIFY(!hiddenShown);
    QVERIFY(optionalShown);
    QCOMPARE(sent.value(Attr::MacWorkplaceId), QStringLiteral("WS-7"));
    QCOMPARE(sent.value(Attr::MacInvNum), QStringLiteral("7"));
    QCOMPARE(sent.value(Attr::MacOwnerPhone), QString());
    QCOMPARE(sent.value(Attr::MacMarkerFont), QStringLiteral("Liberation Serif"));
    QCOMPARE(sent.size(), 6);
    // Cancel unlocks.
    QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), 1);
    QVERIFY(MacIppActions::instance()->lockJob(1));

    // Job 2: a required entry the server left empty keeps OK off from the start;
    // no font row without a current font.
    bool okAtStart = true;
    bool fontShown = true;
    User second([&](MacAttributesDialog *dialog) {
        okAtStart = okButton(dialog)->isEnabled();
        fontShown = dialog->findChild<QComboBox *>(QStringLiteral("font")) != nullptr;
        return false;
    });
    MacAttributesDialog other;
    other.exec(2);
    QVERIFY(!okAtStart);
    QVERIFY(!fontShown);
}

void MacAttributesDialogTest::pageRangesGateOk_data()
{
    QTest::addColumn<QString>("pages");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("sent");
    QTest::newRow("the label's example") << QStringLiteral("1-5,8") << true << QStringLiteral("1-5,8");
    QTest::newRow("all pages") << QString() << true << QString();
    QTest::newRow("one page") << QStringLiteral("3") << true << QStringLiteral("3");
    QTest::newRow("blank before a number") << QStringLiteral("1, 2") << false << QStringLiteral("1, 2");
    QTest::newRow("empty part") << QStringLiteral("1,,2") << false << QStringLiteral("1,,2");
    QTest::newRow("trailing comma") << QStringLiteral("1,2,") << false << QStringLiteral("1,2,");
    QTest::newRow("dangling dash") << QStringLiteral("4-") << false << QStringLiteral("4-");
    QTest::newRow("two dashes") << QStringLiteral("1-2-3") << false << QStringLiteral("1-2-3");
    QTest::newRow("a word") << QStringLiteral("all") << false << QStringLiteral("all");
}

void MacAttributesDialogTest::pageRangesGateOk()
{
    QFETCH(QString, pages);
    QFETCH(bool, ok);
    QFETCH(QString, sent);
    bool okEnabled = !ok;
    QString pageRanges = QStringLiteral("unset");
    User user([&](MacAttributesDialog *dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("page-ranges")), pages);
        okEnabled = okButton(dialog)->isEnabled();
        pageRanges = dialog->pageRanges();
        return false;
    });
    MacAttributesDialog dialog;
    dialog.exec(1);
    QCOMPARE(okEnabled, ok);
    QCOMPARE(pageRanges, sent);
}

void MacAttributesDialogTest::storedDistributionListFillsRowsAndTravelsBack()
{
    QStringList rows;
    QStringList names;
    QString sent;
    User user([&](MacAttributesDialog *dialog) {
        const QList<DistributionEditWidget *> addresses = addressRows(dialog);
        rows = texts(addresses);
        for (const DistributionEditWidget *address : addresses) {
            names.append(address->objectName());
        }
        sent = dialog->attributes().value(Attr::MacDistribution);
        return false;
    });
    MacAttributesDialog dialog;
    dialog.exec(1); // the server holds "Office 1^Office 2^^Archive"
    QCOMPARE(rows, (QStringList{QStringLiteral("Office 1"), QStringLiteral("Office 2"), QStringLiteral("Archive")}));
    QCOMPARE(names, (QStringList{Attr::MacDistribution, QString(), QString()}));
    QCOMPARE(sent, QStringLiteral("Office 1^Office 2^Archive"));
}

void MacAttributesDialogTest::theSixthAddressRowDisablesAdding()
{
    QList<int> rowCounts;
    QList<bool> enabledAtSix;
    QString sent;
    User user([&](MacAttributesDialog *dialog) {
        // Add below the last row, fill it, and again, up to six rows.
        while (addressRows(dialog).size() < 6) {
            DistributionEditWidget *last = addressRows(dialog).last();
            auto *add = last->findChild<QToolButton *>();
            if (!add->isEnabled()) {
                break;
            }
            add->click();
            rowCounts.append(addressRows(dialog).size());
            QTest::keyClicks(addressRows(dialog).last()->findChild<QLineEdit *>(), QStringLiteral("Desk %1").arg(rowCounts.size()));
        }
        for (DistributionEditWidget *row : addressRows(dialog)) {
            enabledAtSix.append(row->findChild<QToolButton *>()->isEnabled());
        }
        // An emptied row in the middle drops out of the list.
        retype(addressRows(dialog).at(1)->findChild<QLineEdit *>(), QString());
        sent = dialog->attributes().value(Attr::MacDistribution);
        return false;
    });
    MacAttributesDialog dialog;
    dialog.exec(1);
    QCOMPARE(rowCounts, (QList<int>{4, 5, 6}));
    QCOMPARE(enabledAtSix, (QList<bool>{false, false, false, false, false, false}));
    QCOMPARE(sent, QStringLiteral("Office 1^Archive^Desk 1^Desk 2^Desk 3"));
}

void MacAttributesDialogTest::readOnlyAddressRowsOfferNoAdding()
{
    QVERIFY(m_server.setPermissions({Mark}));
    QList<bool> readOnly;
    QList<bool> addEnabled;
    User user([&](MacAttributesDialog *dialog) {
        for (DistributionEditWidget *row : addressRows(dialog)) {
            readOnly.append(row->isReadOnly());
            addEnabled.append(row->findChild<QToolButton *>()->isEnabled());
        }
        return false;
    });
    MacAttributesDialog dialog;
    dialog.exec(1);
    QCOMPARE(readOnly, (QList<bool>{true, true, true}));
    QCOMPARE(addEnabled, (QList<bool>{false, false, false}));
}

void MacAttributesDialogTest::unsetAndEmptiedDistributionListsDiffer_data()
{
    QTest::addColumn<int>("jobId");
    QTest::addColumn<QString>("sent");
    QTest::newRow("never set, left empty") << 2 << QStringLiteral("Not specified");
    QTest::newRow("set, emptied by the user") << 1 << QString();
}

void MacAttributesDialogTest::unsetAndEmptiedDistributionListsDiffer()
{
    QFETCH(int, jobId);
    QFETCH(QString, sent);
    QVERIFY(m_server.setPermissions({Change}));
    User user([&](MacAttributesDialog *dialog) {
        for (DistributionEditWidget *row : addressRows(dialog)) {
            retype(row->findChild<QLineEdit *>(), QString());
        }
        if (auto *invNum = dialog->findChild<QLineEdit *>(Attr::MacInvNum); invNum->text().isEmpty()) {
            QTest::keyClicks(invNum, QStringLiteral("INV-2"));
        }
        return true;
    });
    MacAttributesDialog dialog;
    dialog.exec(jobId);
    QCOMPARE(user.boxes.size(), 1);
    QCOMPARE(user.boxes.first().text, QStringLiteral("Job attributes has been changed successfully"));
    const MacJobInfo info = MacIppActions::instance()->getMacInfo(jobId);
    const auto distribution = std::find_if(info.entries.cbegin(), info.entries.cend(), [](const MacAttributeEntry &entry) {
        return entry.name == Attr::MacDistribution;
    });
    QVERIFY(distribution != info.entries.cend());
    QCOMPARE(distribution->value, sent);
}

void MacAttributesDialogTest::markingFailureShowsTheServersErrorAndUnlocks()
{
    QVERIFY(m_server.failOperation(QStringLiteral("mark-job"), QStringLiteral("Marker out of toner")));
    User user([](MacAttributesDialog *) {
        return true;
    });
    QWidget parent;
    parent.resize(400, 300);
    MacAttributesDialog dialog(&parent);
    dialog.exec(1);
    QCOMPARE(user.boxes.size(), 1);
    QCOMPARE(user.boxes.first().title, QStringLiteral("Error"));
    QCOMPARE(user.boxes.first().text, QStringLiteral("Unable to mark job 1<br>CUPS error: Marker out of toner"));
    QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), 1);
    QVERIFY2(MacIppActions::instance()->lockJob(1), "the job was left locked");
    // The busy widget is gone with the marking.
    const QList<BusyWidget *> busy = parent.findChildren<BusyWidget *>();
    QVERIFY(busy.isEmpty());
}

void MacAttributesDialogTest::markingRunsAsTheGuiThreadsUser()
{
    const QString before = Connection::instance()->userName();
    auto restore = qScopeGuard([before] {
        Connection::instance()->setUser(before);
    });
    Connection::instance()->setUser(QStringLiteral("marker-9"));
    User user([](MacAttributesDialog *) {
        return true;
    });
    MacAttributesDialog dialog;
    dialog.exec(3);
    QCOMPARE(user.boxes.size(), 1);
    QCOMPARE(user.boxes.first().text, QStringLiteral("Marking has been completed<br>Derived Job ID's: 12,13"));
    QList<QHash<QString, QVariant>> records;
    QVERIFY(MacIppActions::instance()->getJournal({{Attr::JobId, QStringLiteral("3")}}, &records));
    QCOMPARE(records.size(), 1);
    QCOMPARE(Utils::getAttribute(records.first(), Attr::MacJobUserName).toString(), QStringLiteral("marker-9"));
    // The busy widget had no parent here: it must not stay behind as a window.
    const QWidgetList windows = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(windows.cbegin(), windows.cend(), [](QWidget *w) {
        return qobject_cast<BusyWidget *>(w);
    }));
}

void MacAttributesDialogTest::markingMayAskForAPasswordWhileTheGuiWaits_data()
{
    QTest::addColumn<QString>("user"); // null: the prompt is cancelled
    // The last one is the server's; a new one each row, as libcups keeps what worked on its connection.
    QTest::addColumn<QStringList>("passwords");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<int>("unlocks");
    const QString marked = QStringLiteral("Marking has been completed<br>Derived Job ID's: 12,13");
    QTest::newRow("answered") << QStringLiteral("carol") << QStringList{QStringLiteral("s3cret")} << marked << 0;
    QTest::newRow("mistyped once") << QStringLiteral("dave") << QStringList{QStringLiteral("typo"), QStringLiteral("s3cr3t")} << marked << 0;
    QTest::newRow("cancelled") << QString() << QStringList{QStringLiteral("n3w")}
                               << QStringLiteral("Unable to mark job 1<br>CUPS error: ")
            + QString::fromUtf8(httpStatus(HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED))
                               << 1;
}

void MacAttributesDialogTest::markingMayAskForAPasswordWhileTheGuiWaits()
{
    QFETCH(QString, user);
    QFETCH(QStringList, passwords);
    QFETCH(QString, boxText);
    QFETCH(int, unlocks);
    const QString before = Connection::instance()->userName();
    auto restore = qScopeGuard([before] {
        Connection::instance()->setUser(before);
    });
    QVERIFY(m_server.requireAuthentication(QStringLiteral("mark-job"), passwords.last()));

    User answering([](MacAttributesDialog *) {
        return true;
    });
    answering.answerPrompts(user, passwords);
    MacAttributesDialog dialog;
    dialog.exec(1);
    // The prompt came up in the GUI thread, which held the lock while the task asked: no deadlock.
    QCOMPARE(answering.prompts.size(), user.isNull() ? 1 : passwords.size());
    QCOMPARE(answering.prompts.count(qApp->thread()), answering.prompts.size());
    QCOMPARE(answering.boxes.size(), 1);
    QCOMPARE(answering.boxes.first().text, boxText);
    QCOMPARE(requestsOf(newRequests(), MacIppActions::UnlockJob), unlocks);
    if (!user.isNull()) {
        QList<QHash<QString, QVariant>> records;
        QVERIFY(MacIppActions::instance()->getJournal({{Attr::JobId, QStringLiteral("1")}}, &records));
        QCOMPARE(records.size(), 1);
        QCOMPARE(Utils::getAttribute(records.first(), Attr::MacJobUserName).toString(), user);
    }
}

void MacAttributesDialogTest::addButtonNeedsTextEditabilityAndRoom_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("addAllowed");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("text, editable, room") << QStringLiteral("Office 1") << false << true << true;
    QTest::newRow("empty") << QString() << false << true << false;
    QTest::newRow("read-only") << QStringLiteral("Office 1") << true << true << false;
    QTest::newRow("no room") << QStringLiteral("Office 1") << false << false << false;
}

void MacAttributesDialogTest::addButtonNeedsTextEditabilityAndRoom()
{
    QFETCH(QString, text);
    QFETCH(bool, readOnly);
    QFETCH(bool, addAllowed);
    QFETCH(bool, enabled);
    DistributionEditWidget typed;
    auto *add = typed.findChild<QToolButton *>();
    QVERIFY(!add->isEnabled());
    typed.setAddButtonEnabled(addAllowed);
    typed.setReadOnly(readOnly);
    QTest::keyClicks(typed.findChild<QLineEdit *>(), text);
    QCOMPARE(add->isEnabled(), enabled && !readOnly);

    // The same state reached in the other order, text first.
    DistributionEditWidget preset(text);
    preset.setReadOnly(readOnly);
    preset.setAddButtonEnabled(addAllowed);
    QCOMPARE(preset.findChild<QToolButton *>()->isEnabled(), enabled);
    QCOMPARE(preset.isReadOnly(), readOnly);
    QCOMPARE(preset.text(), text);
}

void MacAttributesDialogTest::onlyTheUserEditingATextSignalsIt()
{
    DistributionEditWidget address;
    QSignalSpy edited(&address, &DistributionEditWidget::textEdited);
    QSignalSpy clicked(&address, &DistributionEditWidget::clicked);
    address.setText(QStringLiteral("Archive"));
    QCOMPARE(edited.count(), 0);
    QTest::keyClicks(address.findChild<QLineEdit *>(), QStringLiteral("s"));
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.first().first().toString(), QStringLiteral("Archives"));
    address.findChild<QToolButton *>()->click();
    QCOMPARE(clicked.count(), 1);
}

QTEST_MAIN(MacAttributesDialogTest)

#include "macattributesdialogtest.moc"
