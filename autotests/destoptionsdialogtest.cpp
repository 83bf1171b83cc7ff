#include "cupssandbox.h"
#include "modalanswerer.h"
#include "testppd.h"

#include <connection.h>
#include <destoptionsdialog.h>
#include <ppdsettings.h>
#include <printerlistmodel.h>
#include <printerswidget.h>

#include <QAction>

#include <busyindicator.h>

#include <QComboBox>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cups/pwg.h>

#include <functional>

using CUPS::DestOptionsDialog;
using Dialog = std::unique_ptr<DestOptionsDialog>;

namespace
{
const QString TenSizes = QStringLiteral("Ten_Sizes");
const QString ManySizes = QStringLiteral("Many_Sizes");
const QString Stapler = QStringLiteral("Stapler");

QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts) {
        list << QLatin1String(text);
    }
    return list;
}

template<typename T>
T *child(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

QStringList itemData(QComboBox *combo)
{
    QStringList data;
    for (int i = 0; i < combo->count(); ++i) {
        data << combo->itemData(i).toString();
    }
    return data;
}

QStringList itemTexts(QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        texts << combo->itemText(i);
    }
    return texts;
}

void choose(QComboBox *combo, const QVariant &data)
{
    const int index = combo->findData(data);
    QVERIFY2(index >= 0, qPrintable(data.toString()));
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}

// Whether another thread can take the connection lock within a few seconds.
bool lockIsFree()
{
    bool taken = false;
    QThread *probe = QThread::create([&taken] {
        CUPS::Connection::instance()->lock();
        taken = true;
        CUPS::Connection::instance()->unlock();
    });
    probe->start();
    const bool finished = probe->wait(5000);
    delete probe;
    return finished && taken;
}
} // namespace

/**
 * The options dialog against the private cupsd: what it loads from real PPD
 * printers and a class, what it writes back (read again with ipptool and
 * from the scheduler's own PPD files), and what it refuses to write.
 */
class DestOptionsDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void pageSizesAreTheServersMediaWithoutCustomSizes_data();
    void pageSizesAreTheServersMediaWithoutCustomSizes();
    void jobOptionsFollowTheServer();
    void valuesWithoutALabelShowThemselves();
    void progressSplitsTheMediaHalf_data();
    void progressSplitsTheMediaHalf();
    void okWritesWhatTheDialogShows();
    void automaticRotationDeletesTheOrientationDefault();
    void driverSettingsUploadOnlyWhenChanged();
    void userListRules_data();
    void userListRules();
    void classHasNoDriverTabAndSendsNoPpd();
    void refusedSaveKeepsTheDialogOpen();
    void failedLoadWritesNothingAndFreesTheLock();
    void nothingIsWrittenWhileLoading();
    void closingDuringLoadStopsTheWorker();
    void loadingAgainReplacesTheFirstLoad();
    void reopeningRestoresTheSize();
    void printOptionsOpensTheDialogForTheCurrentRow_data();
    void printOptionsOpensTheDialogForTheCurrentRow();

private:
    Dialog open(const QString &name, bool isClass = false);
    static bool waitLoaded(DestOptionsDialog *dialog);
    QHash<QString, QString> serverAttributes(const QString &name, bool isClass = false) const;
    QString serverPpdDefault(const QString &printer, const QString &keyword) const;
    bool addTestPrinter(const QString &name, const TestPpd &ppd);

    CupsSandbox m_sandbox;
    QTemporaryDir m_files;
};

void DestOptionsDialogTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
    QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    // "all" leaves out cupsd's own policies, so they are named too.
    QFile test(m_files.filePath(QStringLiteral("attributes.test")));
    QVERIFY(test.open(QIODevice::WriteOnly));
    test.write("{\n NAME \"Get-Printer-Attributes\"\n OPERATION Get-Printer-Attributes\n GROUP operation-attributes-tag\n"
               " ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n"
               " ATTR uri printer-uri $uri\n ATTR name requesting-user-name $user\n"
               " ATTR keyword requested-attributes all,printer-error-policy,printer-op-policy,requesting-user-name-allowed,"
               "requesting-user-name-denied,job-sheets-default,media-default,job-priority-default\n STATUS successful-ok\n}\n");
    test.close();
    TestPpd ten;
    ten.sizeCount = 10;
    QVERIFY(addTestPrinter(TenSizes, ten));
    TestPpd many;
    many.sizeCount = TestPpd::MaxSizes;
    QVERIFY(addTestPrinter(ManySizes, many));
    TestPpd stapler;
    stapler.finishings = true;
    stapler.customSize = true;
    QVERIFY(addTestPrinter(Stapler, stapler));
}

bool DestOptionsDialogTest::addTestPrinter(const QString &name, const TestPpd &ppd)
{
    const QString file = m_files.filePath(name + QStringLiteral(".ppd"));
    return ppd.write(file) && m_sandbox.addPrinter(name, {QStringLiteral("-P"), file});
}

Dialog DestOptionsDialogTest::open(const QString &name, bool isClass)
{
    Dialog dialog(new DestOptionsDialog);
    if (!dialog->load(name, isClass) || !waitLoaded(dialog.get())) {
        return nullptr;
    }
    return dialog;
}

bool DestOptionsDialogTest::waitLoaded(DestOptionsDialog *dialog)
{
    auto *busy = child<Tolva::BusyIndicator>(dialog, "busyIndicator");
    auto *pages = child<QStackedWidget>(dialog, "stackedWidget");
    return QTest::qWaitFor(
        [&] {
            return !busy->isRunning() && pages->currentWidget()->objectName() == QLatin1String("optionsPage");
        },
        30000);
}

QHash<QString, QString> DestOptionsDialogTest::serverAttributes(const QString &name, bool isClass) const
{
    const QString uri = QStringLiteral("ipp://%1/%2/%3").arg(m_sandbox.server(), isClass ? QStringLiteral("classes") : QStringLiteral("printers"), name);
    QString output;
    m_sandbox.run(QStringLiteral("ipptool"), {QStringLiteral("-tv"), uri, m_files.filePath(QStringLiteral("attributes.test"))}, &output);
    QHash<QString, QString> attributes;
    static const QRegularExpression line(QStringLiteral("^\\s+([a-z0-9-]+) \\([^)]*\\) = (.*)$"), QRegularExpression::MultilineOption);
    auto it = line.globalMatch(output);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        attributes.insert(match.captured(1), match.captured(2));
    }
    return attributes;
}

QString DestOptionsDialogTest::serverPpdDefault(const QString &printer, const QString &keyword) const
{
    QFile ppd(m_sandbox.directory() + QStringLiteral("/ppd/") + printer + QStringLiteral(".ppd"));
    if (!ppd.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QRegularExpression line(QStringLiteral("^\\*Default%1: *(\\S*)").arg(keyword), QRegularExpression::MultilineOption);
    return line.match(QString::fromLatin1(ppd.readAll())).captured(1);
}

void DestOptionsDialogTest::pageSizesAreTheServersMediaWithoutCustomSizes_data()
{
    QTest::addColumn<QString>("printer");
    QTest::newRow("generic PostScript") << QStringLiteral("Office_PS");
    QTest::newRow("HP driver") << QStringLiteral("HP_LaserJet");
}

void DestOptionsDialogTest::pageSizesAreTheServersMediaWithoutCustomSizes()
{
    QFETCH(QString, printer);
    const QHash<QString, QString> server = serverAttributes(printer);
    QStringList expected = server.value(QStringLiteral("media-supported")).split(QLatin1Char(','));
    expected.erase(std::remove_if(expected.begin(), expected.end(), [](const QString &media) {
        return media.startsWith(QLatin1String("custom"));
    }), expected.end());
    QVERIFY(!expected.isEmpty());

    const Dialog dialog = open(printer);
    QVERIFY(dialog);
    auto *pageSize = child<QComboBox>(dialog.get(), "pageSizeComboBox");
    // libcups lists one paper per size: of two names for the same size (B5 envelope, ISO B5) one is shown.
    const QStringList shown = itemData(pageSize);
    QSet<QPair<int, int>> shownSizes;
    for (const QString &media : shown) {
        QVERIFY2(expected.contains(media), qPrintable(media));
        const pwg_media_t *size = pwgMediaForPWG(media.toLatin1().constData());
        QVERIFY(size);
        shownSizes.insert({size->width / 100, size->length / 100});
    }
    for (const QString &media : qAsConst(expected)) {
        const pwg_media_t *size = pwgMediaForPWG(media.toLatin1().constData());
        QVERIFY2(size && shownSizes.contains({size->width / 100, size->length / 100}), qPrintable(media));
    }
    QVERIFY(shown.size() >= expected.size() - 1);
    QCOMPARE(pageSize->currentData().toString(), server.value(QStringLiteral("media-default")));
    QVERIFY(!itemTexts(pageSize).contains(QString()));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Options for %1").arg(printer));
    auto *tabs = child<QTabWidget>(dialog.get(), "tabWidget");
    QCOMPARE(tabs->count(), 3);
    QVERIFY(qobject_cast<CUPS::PpdSettings *>(tabs->widget(2))->topLevelItemCount() > 0);
}

void DestOptionsDialogTest::jobOptionsFollowTheServer()
{
    const Dialog dialog = open(QStringLiteral("HP_LaserJet"));
    QVERIFY(dialog);
    QWidget *d = dialog.get();

    // Keys in text order, so 16 comes before 2.
    QCOMPARE(itemTexts(child<QComboBox>(d, "pagesPerSheetComboBox")), strings({"1", "16", "2", "4", "6", "9"}));
    QCOMPARE(child<QComboBox>(d, "pagesPerSheetComboBox")->currentData().toInt(), 1);
    QCOMPARE(itemData(child<QComboBox>(d, "duplexComboBox")), strings({"one-sided", "two-sided-long-edge", "two-sided-short-edge"}));
    QCOMPARE(itemTexts(child<QComboBox>(d, "duplexComboBox")), strings({"One sided", "Two sided, Long edge", "Two sided, Short edge"}));

    auto *orientation = child<QComboBox>(d, "orientationComboBox");
    QCOMPARE(itemTexts(orientation), strings({"Automatic rotation", "Landscape", "Portrait", "Reverse landscape", "Reverse portrait"}));
    QCOMPARE(orientation->currentText(), QStringLiteral("Automatic rotation")); // the server has no default
    QCOMPARE(orientation->currentData().toInt(), 0);

    auto *copies = child<QSpinBox>(d, "copiesSpinBox");
    QCOMPARE(copies->minimum(), 1);
    QCOMPARE(copies->maximum(), 9999);
    QCOMPARE(copies->value(), 1);
    QCOMPARE(child<QSpinBox>(d, "prioritySpinBox")->maximum(), 100);
    QCOMPARE(child<QSpinBox>(d, "prioritySpinBox")->value(), 50);

    // "evening" is the server's other name for the night shift.
    auto *hold = child<QComboBox>(d, "holdUntilComboBox");
    QStringList holds = itemData(hold);
    holds.sort();
    QCOMPARE(holds, strings({"day-time", "indefinite", "night", "no-hold", "second-shift", "third-shift", "weekend"}));
    QCOMPARE(hold->itemText(hold->findData(QStringLiteral("night"))), QStringLiteral("Night"));
    QCOMPARE(hold->currentData().toString(), QStringLiteral("no-hold"));

    const QStringList sheets = serverAttributes(QStringLiteral("HP_LaserJet")).value(QStringLiteral("job-sheets-supported")).split(QLatin1Char(','));
    QCOMPARE(itemTexts(child<QComboBox>(d, "startBannerComboBox")), sheets);
    QCOMPARE(itemTexts(child<QComboBox>(d, "endBannerComboBox")), sheets);
    QCOMPARE(child<QComboBox>(d, "startBannerComboBox")->currentText(), QStringLiteral("none"));
    QCOMPARE(child<QComboBox>(d, "endBannerComboBox")->currentText(), QStringLiteral("none"));

    QCOMPARE(itemTexts(child<QComboBox>(d, "finishingsComboBox")), strings({"None"}));
    QCOMPARE(child<QComboBox>(d, "finishingsComboBox")->currentData().toInt(), 3);
    QCOMPARE(child<QComboBox>(d, "errorPolicyComboBox")->currentData().toString(),
             serverAttributes(QStringLiteral("HP_LaserJet")).value(QStringLiteral("printer-error-policy")));
    QCOMPARE(child<QComboBox>(d, "errorPolicyComboBox")->count(), 4);
    QCOMPARE(child<QComboBox>(d, "opPolicyComboBox")->currentText(), QStringLiteral("default"));
    QCOMPARE(child<QComboBox>(d, "authComboBox")->currentData().toString(), QStringLiteral("none"));
    QVERIFY(!child<QPushButton>(d, "buttonBox")); // the buttons are the box's, not the form's
    QVERIFY(!child<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Apply)->isEnabled());
}

void DestOptionsDialogTest::valuesWithoutALabelShowThemselves()
{
    const Dialog dialog = open(Stapler);
    QVERIFY(dialog);
    auto *finishings = child<QComboBox>(dialog.get(), "finishingsComboBox");
    QHash<QString, int> shown;
    for (int i = 0; i < finishings->count(); ++i) {
        shown.insert(finishings->itemText(i), finishings->itemData(i).toInt());
    }
    // 71 and 74 (punching) have no label of their own; both stay, each under its number.
    const QHash<QString, int> expected{{QStringLiteral("None"), 3}, {QStringLiteral("Staple"), 4}, {QStringLiteral("71"), 71}, {QStringLiteral("74"), 74}};
    QCOMPARE(shown, expected);
}

void DestOptionsDialogTest::progressSplitsTheMediaHalf_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("no media") << QStringLiteral("Raw_Queue") << QList<int>{50, 100};
    // 50 / 10 = 5 a medium; the closing step (50 - 55) is clipped to nothing.
    QTest::newRow("10 media") << TenSizes << QList<int>{5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 100};
    // More than 50 media: 50 each, so the bar is full after the first and Qt ignores the rest.
    QTest::newRow("more than 50 media") << ManySizes << QList<int>{50, 100};
}

void DestOptionsDialogTest::progressSplitsTheMediaHalf()
{
    QFETCH(QString, printer);
    QFETCH(QList<int>, values);
    DestOptionsDialog dialog;
    auto *bar = child<QProgressBar>(&dialog, "progressBar");
    QVERIFY(dialog.load(printer, false));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentWidget()->objectName(), QStringLiteral("loadingPage"));
    QSignalSpy spy(bar, &QProgressBar::valueChanged);
    QVERIFY(waitLoaded(&dialog));
    QList<int> seen;
    for (const QList<QVariant> &arguments : qAsConst(spy)) {
        seen << arguments.first().toInt();
    }
    QCOMPARE(seen, values);
}

void DestOptionsDialogTest::okWritesWhatTheDialogShows()
{
    const QString printer = QStringLiteral("HP_LaserJet");
    {
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        QWidget *d = dialog.get();
        choose(child<QComboBox>(d, "pageSizeComboBox"), QStringLiteral("iso_a4_210x297mm"));
        choose(child<QComboBox>(d, "pagesPerSheetComboBox"), 2);
        choose(child<QComboBox>(d, "duplexComboBox"), QStringLiteral("two-sided-long-edge"));
        choose(child<QComboBox>(d, "orientationComboBox"), 4);
        choose(child<QComboBox>(d, "holdUntilComboBox"), QStringLiteral("night"));
        choose(child<QComboBox>(d, "errorPolicyComboBox"), QStringLiteral("abort-job"));
        choose(child<QComboBox>(d, "startBannerComboBox"), QStringLiteral("classified"));
        child<QSpinBox>(d, "copiesSpinBox")->setValue(3);
        child<QSpinBox>(d, "prioritySpinBox")->setValue(70);
        child<QSpinBox>(d, "topMarginSpinBox")->setValue(36);
        child<QCheckBox>(d, "fitToPageCheckBox")->setChecked(true);
        QVERIFY(child<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Apply)->isEnabled());
        dialog->show();
        child<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }
    const QHash<QString, QString> server = serverAttributes(printer);
    QCOMPARE(server.value(QStringLiteral("media-default")), QStringLiteral("iso_a4_210x297mm"));
    QCOMPARE(server.value(QStringLiteral("number-up-default")), QStringLiteral("2"));
    QCOMPARE(server.value(QStringLiteral("sides-default")), QStringLiteral("two-sided-long-edge"));
    QCOMPARE(server.value(QStringLiteral("orientation-requested-default")), QStringLiteral("landscape"));
    QCOMPARE(server.value(QStringLiteral("copies-default")), QStringLiteral("3"));
    QCOMPARE(server.value(QStringLiteral("job-priority-default")), QStringLiteral("70"));
    QCOMPARE(server.value(QStringLiteral("job-hold-until-default")), QStringLiteral("night"));
    QCOMPARE(server.value(QStringLiteral("printer-error-policy")), QStringLiteral("abort-job"));
    QCOMPARE(server.value(QStringLiteral("job-sheets-default")), QStringLiteral("classified,none"));
    QString lpoptions;
    QVERIFY(m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), printer}, &lpoptions));
    QVERIFY2(lpoptions.contains(QLatin1String("page-top=36")) || lpoptions.contains(QLatin1String("page-top-default=36")), qPrintable(lpoptions));
    QVERIFY2(lpoptions.contains(QLatin1String("fit-to-page=true")) || lpoptions.contains(QLatin1String("fit-to-page-default=true")), qPrintable(lpoptions));

    // Reopened, the dialog shows what was written.
    const Dialog again = open(printer);
    QVERIFY(again);
    QWidget *d = again.get();
    QCOMPARE(child<QComboBox>(d, "pageSizeComboBox")->currentData().toString(), QStringLiteral("iso_a4_210x297mm"));
    QCOMPARE(child<QComboBox>(d, "pagesPerSheetComboBox")->currentData().toInt(), 2);
    QCOMPARE(child<QComboBox>(d, "orientationComboBox")->currentText(), QStringLiteral("Landscape"));
    QCOMPARE(child<QComboBox>(d, "holdUntilComboBox")->currentText(), QStringLiteral("Night"));
    QCOMPARE(child<QComboBox>(d, "startBannerComboBox")->currentText(), QStringLiteral("classified"));
    QCOMPARE(child<QSpinBox>(d, "copiesSpinBox")->value(), 3);
    QCOMPARE(child<QSpinBox>(d, "prioritySpinBox")->value(), 70);
    QCOMPARE(child<QSpinBox>(d, "topMarginSpinBox")->value(), 36);
    QVERIFY(child<QCheckBox>(d, "fitToPageCheckBox")->isChecked());
}

void DestOptionsDialogTest::automaticRotationDeletesTheOrientationDefault()
{
    const QString printer = QStringLiteral("Office_PS");
    {
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        choose(child<QComboBox>(dialog.get(), "orientationComboBox"), 6);
        QVERIFY(dialog->save());
    }
    QCOMPARE(serverAttributes(printer).value(QStringLiteral("orientation-requested-default")), QStringLiteral("reverse-portrait"));

    const Dialog dialog = open(printer);
    QVERIFY(dialog);
    auto *apply = child<QDialogButtonBox>(dialog.get(), "buttonBox")->button(QDialogButtonBox::Apply);
    choose(child<QComboBox>(dialog.get(), "orientationComboBox"), 0);
    QVERIFY(apply->isEnabled());
    apply->click();
    QVERIFY(!apply->isEnabled()); // saved
    QCOMPARE(serverAttributes(printer).value(QStringLiteral("orientation-requested-default")), QStringLiteral("no-value"));
}

void DestOptionsDialogTest::driverSettingsUploadOnlyWhenChanged()
{
    const QString printer = QStringLiteral("Lobby_Printer");
    const QString ppdPath = m_sandbox.directory() + QStringLiteral("/ppd/") + printer + QStringLiteral(".ppd");
    const QDateTime before = QFileInfo(ppdPath).lastModified();
    {
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        QVERIFY(dialog->save());
    }
    QCOMPARE(QFileInfo(ppdPath).lastModified(), before); // no PPD went up
    QCOMPARE(serverPpdDefault(printer, QStringLiteral("Duplex")), QStringLiteral("None"));

    {
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        auto *driver = qobject_cast<CUPS::PpdSettings *>(child<QTabWidget>(dialog.get(), "tabWidget")->widget(2));
        QVERIFY(driver);
        const QList<QTreeWidgetItem *> rows = driver->findItems(QStringLiteral("2-Sided Printing"), Qt::MatchExactly);
        QCOMPARE(rows.size(), 1);
        auto *duplex = qobject_cast<QComboBox *>(driver->itemWidget(rows.first(), 1));
        QVERIFY(duplex);
        choose(duplex, QStringLiteral("DuplexNoTumble"));
        choose(child<QComboBox>(dialog.get(), "duplexComboBox"), QStringLiteral("one-sided"));
        auto *apply = child<QDialogButtonBox>(dialog.get(), "buttonBox")->button(QDialogButtonBox::Apply);
        QVERIFY(apply->isEnabled()); // the driver tab's editors count as edits too
        apply->click();
        QVERIFY(!apply->isEnabled());
    }
    QCOMPARE(serverPpdDefault(printer, QStringLiteral("Duplex")), QStringLiteral("DuplexNoTumble"));
    QCOMPARE(serverPpdDefault(printer, QStringLiteral("PageSize")), QStringLiteral("Letter"));
}

void DestOptionsDialogTest::userListRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("denied");
    QTest::newRow("allowed, trimmed") << QStringLiteral(" carol , dave") << QStringLiteral("allowedUsersRadioButton") << QStringLiteral("carol,dave") << QString();
    QTest::newRow("denied, doubled comma and trailing blank") << QStringLiteral("alice,,bob ") << QStringLiteral("deniedUsersRadioButton") << QString()
                                                              << QStringLiteral("alice,bob");
    QTest::newRow("a blank part names nobody") << QStringLiteral("erin, ,@staff") << QStringLiteral("allowedUsersRadioButton") << QStringLiteral("@staff,erin")
                                               << QString();
    QTest::newRow("empty list allows all") << QString() << QStringLiteral("deniedUsersRadioButton") << QString() << QString();
}

void DestOptionsDialogTest::userListRules()
{
    QFETCH(QString, text);
    QFETCH(QString, radio);
    QFETCH(QString, allowed);
    QFETCH(QString, denied);
    const QString printer = QStringLiteral("Private_Printer");
    QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), printer, QStringLiteral("-u"), QStringLiteral("allow:frank")}));
    {
        const Dialog dialog = open(printer);
        QVERIFY(dialog);
        QCOMPARE(child<QLineEdit>(dialog.get(), "userListLineEdit")->text(), QStringLiteral("frank"));
        QVERIFY(child<QRadioButton>(dialog.get(), "allowedUsersRadioButton")->isChecked());
        child<QRadioButton>(dialog.get(), radio.toLatin1().constData())->click();
        child<QLineEdit>(dialog.get(), "userListLineEdit")->setText(text);
        QVERIFY(dialog->save());
    }
    const QHash<QString, QString> server = serverAttributes(printer);
    QCOMPARE(server.value(QStringLiteral("requesting-user-name-allowed")), allowed);
    QCOMPARE(server.value(QStringLiteral("requesting-user-name-denied")), denied);
}

void DestOptionsDialogTest::classHasNoDriverTabAndSendsNoPpd()
{
    const QString name = QStringLiteral("Office_Class");
    DestOptionsDialog dialog;
    // A printer first, then the class: the driver tab goes again.
    QVERIFY(dialog.load(QStringLiteral("Raw_Queue"), false));
    QVERIFY(waitLoaded(&dialog));
    QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->count(), 3);
    Dialog classDialog = open(name, true);
    QVERIFY(classDialog);
    QCOMPARE(child<QTabWidget>(classDialog.get(), "tabWidget")->count(), 2);
    QVERIFY(!classDialog->findChild<CUPS::PpdSettings *>());
    choose(child<QComboBox>(classDialog.get(), "startBannerComboBox"), QStringLiteral("standard"));
    QVERIFY(classDialog->save());
    QCOMPARE(serverAttributes(name, true).value(QStringLiteral("job-sheets-default")), QStringLiteral("standard,none"));
    QVERIFY(!QFile::exists(m_sandbox.directory() + QStringLiteral("/ppd/") + name + QStringLiteral(".ppd")));
}

void DestOptionsDialogTest::refusedSaveKeepsTheDialogOpen()
{
    const QString printer = QStringLiteral("Stopped_Printer");
    const QString before = serverAttributes(printer).value(QStringLiteral("printer-error-policy"));
    const Dialog dialog = open(printer);
    QVERIFY(dialog);
    // cupsd refuses an unknown policy with a client error (0x04xx): nothing changed, so it is no success.
    auto *policy = child<QComboBox>(dialog.get(), "errorPolicyComboBox");
    policy->addItem(QStringLiteral("Bogus"), QStringLiteral("bogus-policy"));
    choose(policy, QStringLiteral("bogus-policy"));
    auto *buttons = child<QDialogButtonBox>(dialog.get(), "buttonBox");
    QVERIFY(buttons->button(QDialogButtonBox::Apply)->isEnabled());

    QList<SeenBox> seen;
    ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok, QMessageBox::Ok}, &seen));
    dialog->show();
    buttons->button(QDialogButtonBox::Apply)->click();
    QVERIFY(buttons->button(QDialogButtonBox::Apply)->isEnabled());
    buttons->button(QDialogButtonBox::Ok)->click();
    QVERIFY(dialog->isVisible());
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.first().title, QStringLiteral("Options for Stopped_Printer"));
    QVERIFY2(seen.first().text.startsWith(QLatin1String("Unable to set printer attributes.<br>CUPS error: ")) && seen.first().text.size() > 50,
             qPrintable(seen.first().text));
    QCOMPARE(serverAttributes(printer).value(QStringLiteral("printer-error-policy")), before);
}

void DestOptionsDialogTest::failedLoadWritesNothingAndFreesTheLock()
{
    QList<SeenBox> seen;
    ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
    DestOptionsDialog dialog;
    QVERIFY(!dialog.load(QStringLiteral("No_Such_Printer"), false));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().icon, QMessageBox::Warning);
    QCOMPARE(seen.first().title, QStringLiteral("Options for No_Such_Printer"));
    QVERIFY2(seen.first().text.startsWith(QLatin1String("cupsGetNamedDest failed: ")), qPrintable(seen.first().text));
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentWidget()->objectName(), QStringLiteral("optionsPage"));
    QVERIFY(!CUPS::Connection::instance()->isLockedByCallingThread());
    QVERIFY(lockIsFree());

    // Ok sends nothing (no error box either) and keeps the dialog; Cancel closes it.
    dialog.show();
    QVERIFY(!dialog.save());
    auto *buttons = child<QDialogButtonBox>(&dialog, "buttonBox");
    buttons->button(QDialogButtonBox::Ok)->click();
    QVERIFY(dialog.isVisible());
    buttons->button(QDialogButtonBox::Cancel)->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(answerer.unexpected(), 0);
}

void DestOptionsDialogTest::nothingIsWrittenWhileLoading()
{
    const QString printer = ManySizes;
    const QString before = serverAttributes(printer).value(QStringLiteral("job-sheets-default"));
    QVERIFY(!before.isEmpty());
    DestOptionsDialog dialog;
    QVERIFY(dialog.load(printer, false));
    QVERIFY(!dialog.save());
    QVERIFY(waitLoaded(&dialog));
    QVERIFY(dialog.save());
    QCOMPARE(serverAttributes(printer).value(QStringLiteral("job-sheets-default")), before);
}

void DestOptionsDialogTest::closingDuringLoadStopsTheWorker()
{
    auto *dialog = new DestOptionsDialog;
    QVERIFY(dialog->load(ManySizes, false));
    QList<QThread *> threads = dialog->findChildren<QThread *>();
    QCOMPARE(threads.size(), 1);
    QPointer<QThread> worker = threads.first();
    QSignalSpy finished(worker.data(), &QThread::finished);
    delete dialog;
    QVERIFY(worker.isNull());
    QCOMPARE(finished.size(), 1);
    QVERIFY(!CUPS::Connection::instance()->isLockedByCallingThread());
    QVERIFY(lockIsFree());
}

void DestOptionsDialogTest::loadingAgainReplacesTheFirstLoad()
{
    DestOptionsDialog dialog;
    QVERIFY(dialog.load(ManySizes, false));
    // Still loading the first printer's media.
    QVERIFY(dialog.load(TenSizes, false));
    QVERIFY(waitLoaded(&dialog));
    QTRY_COMPARE(dialog.findChildren<QThread *>().size(), 0);
    auto *pageSize = child<QComboBox>(&dialog, "pageSizeComboBox");
    QCOMPARE(pageSize->count(), 10);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options for %1").arg(TenSizes));
    QVERIFY(lockIsFree());
}

void DestOptionsDialogTest::reopeningRestoresTheSize()
{
    {
        DestOptionsDialog dialog;
        dialog.resize(640, 480);
    }
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("Dialog/Options/Width")).toInt(), 640);
    QCOMPARE(settings.value(QStringLiteral("Dialog/Options/Height")).toInt(), 480);
    DestOptionsDialog dialog;
    QCOMPARE(dialog.size(), QSize(640, 480));
}

void DestOptionsDialogTest::printOptionsOpensTheDialogForTheCurrentRow_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("reloads");
    QTest::newRow("Ok reloads the list") << int(QDialogButtonBox::Ok) << 1;
    QTest::newRow("Cancel does not") << int(QDialogButtonBox::Cancel) << 0;
}

void DestOptionsDialogTest::printOptionsOpensTheDialogForTheCurrentRow()
{
    QFETCH(int, button);
    QFETCH(int, reloads);
    CUPS::PrintersWidget widget;
    QVERIFY(widget.model()->load());
    widget.setCurrentIndex(widget.model()->indexOf(QStringLiteral("Office_PS")));
    QCOMPARE(widget.currentDestination().name(), QStringLiteral("Office_PS"));
    QSignalSpy loaded(widget.model(), &CUPS::PrinterListModel::loaded);

    QString title;
    int tabs = 0;
    ModalAnswerer answerer({[&](QWidget *modal) {
        auto *dialog = qobject_cast<DestOptionsDialog *>(modal);
        if (!dialog || !waitLoaded(dialog)) {
            modal->close();
            return;
        }
        title = dialog->windowTitle();
        tabs = child<QTabWidget>(dialog, "tabWidget")->count();
        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::StandardButton(button))->click();
    }});
    widget.action(CUPS::PrintersWidget::EditDestination)->trigger();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(title, QStringLiteral("Options for Office_PS"));
    QCOMPARE(tabs, 3);
    QCOMPARE(loaded.size(), reloads);
}

QTEST_MAIN(DestOptionsDialogTest)

#include "destoptionsdialogtest.moc"
