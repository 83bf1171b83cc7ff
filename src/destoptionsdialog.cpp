#include "destoptionsdialog.h"

#include "messagebox.h"
#include "optionsdata.h"
#include "ppdsettings.h"
#include "widgetslogging.h"

#include <attributes.h>
#include <busyindicator.h>
#include <connection.h>
#include <cresource.h>
#include <destination.h>
#include <ipprequest.h>
#include <printerippactions.h>
#include <translation.h>
#include <utils.h>

#include <KLocalizedString>
#include <KMessageWidget>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include <cups/cups.h>
#include <cups/pwg.h>

#include <type_traits>
#include <unistd.h>

namespace Ui
{
using CUPS::translated;

/// The dialog's form, built in code with the object names the host and tests rely on.
class DestOptionsDialog
{
public:
    QGridLayout *gridLayout = nullptr;
    QStackedWidget *stackedWidget = nullptr;
    QWidget *loadingPage = nullptr;
    Tolva::BusyIndicator *busyIndicator = nullptr;
    QLabel *label_18 = nullptr;
    QProgressBar *progressBar = nullptr;
    QWidget *optionsPage = nullptr;
    KMessageWidget *loadErrorMessage = nullptr;
    QTabWidget *tabWidget = nullptr;
    QWidget *tab = nullptr;
    QComboBox *pageSizeComboBox = nullptr;
    QComboBox *pagesPerSheetComboBox = nullptr;
    QComboBox *duplexComboBox = nullptr;
    QComboBox *orientationComboBox = nullptr;
    QSpinBox *topMarginSpinBox = nullptr;
    QSpinBox *bottomMarginSpinBox = nullptr;
    QSpinBox *leftMarginSpinBox = nullptr;
    QSpinBox *rightMarginSpinBox = nullptr;
    QCheckBox *fitToPageCheckBox = nullptr;
    QLabel *pdfToPsLabel = nullptr;
    QComboBox *pdfToPsRendererComboBox = nullptr;
    QGroupBox *groupBox_2 = nullptr;
    QRadioButton *allowedUsersRadioButton = nullptr;
    QRadioButton *deniedUsersRadioButton = nullptr;
    QLineEdit *userListLineEdit = nullptr;
    QWidget *tab_3 = nullptr;
    QSpinBox *prioritySpinBox = nullptr;
    QSpinBox *copiesSpinBox = nullptr;
    QComboBox *holdUntilComboBox = nullptr;
    QComboBox *errorPolicyComboBox = nullptr;
    QComboBox *opPolicyComboBox = nullptr;
    QComboBox *finishingsComboBox = nullptr;
    QComboBox *authComboBox = nullptr;
    QGroupBox *groupBox = nullptr;
    QComboBox *startBannerComboBox = nullptr;
    QComboBox *endBannerComboBox = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog);

private:
    template<typename Field>
    static Field *addRow(QFormLayout *form, QWidget *page, const char *labelName, const QString &text, const char *fieldName)
    {
        auto *label = new QLabel(text, page);
        label->setObjectName(QLatin1String(labelName));
        auto *field = new Field(page);
        field->setObjectName(QLatin1String(fieldName));
        label->setBuddy(field);
        form->addRow(label, field);
        return field;
    }
    static QSpinBox *margin(QFormLayout *form, QWidget *page, const char *labelName, const QString &text, const char *fieldName)
    {
        auto *spin = addRow<QSpinBox>(form, page, labelName, text, fieldName);
        spin->setRange(0, 500);
        spin->setSuffix(translated(" points"));
        return spin;
    }
    static QFormLayout *formOf(QWidget *page)
    {
        auto *form = new QFormLayout(page);
        form->setHorizontalSpacing(10);
        return form;
    }
};

void DestOptionsDialog::setupUi(QDialog *dialog)
{
    dialog->setObjectName(QStringLiteral("DestOptionsDialog"));
    // The General tab's rows need this height; wider only stretches the fields.
    dialog->resize(720, 640);
    dialog->setWindowTitle(translated("Printer/class options"));
    gridLayout = new QGridLayout(dialog);

    stackedWidget = new QStackedWidget(dialog);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));

    loadingPage = new QWidget(stackedWidget);
    loadingPage->setObjectName(QStringLiteral("loadingPage"));
    auto *loadingLayout = new QVBoxLayout(loadingPage);
    auto *busyRow = new QHBoxLayout;
    busyIndicator = new Tolva::BusyIndicator(loadingPage);
    busyIndicator->setObjectName(QStringLiteral("busyIndicator"));
    label_18 = new QLabel(translated("Loading data, please, wait ..."), loadingPage);
    label_18->setObjectName(QStringLiteral("label_18"));
    busyRow->addStretch();
    busyRow->addWidget(busyIndicator);
    busyRow->addWidget(label_18);
    busyRow->addStretch();
    progressBar = new QProgressBar(loadingPage);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    loadingLayout->addStretch();
    loadingLayout->addLayout(busyRow);
    loadingLayout->addWidget(progressBar);
    loadingLayout->addStretch();
    stackedWidget->addWidget(loadingPage);

    optionsPage = new QWidget(stackedWidget);
    optionsPage->setObjectName(QStringLiteral("optionsPage"));
    auto *optionsLayout = new QVBoxLayout(optionsPage);
    loadErrorMessage = new KMessageWidget(optionsPage);
    loadErrorMessage->setObjectName(QStringLiteral("loadErrorMessage"));
    loadErrorMessage->setMessageType(KMessageWidget::Error);
    loadErrorMessage->setCloseButtonVisible(false);
    loadErrorMessage->setWordWrap(true);
    loadErrorMessage->hide();
    optionsLayout->addWidget(loadErrorMessage);
    tabWidget = new QTabWidget(optionsPage);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));
    optionsLayout->addWidget(tabWidget);
    stackedWidget->addWidget(optionsPage);

    tab = new QWidget(tabWidget);
    tab->setObjectName(QStringLiteral("tab"));
    QFormLayout *general = formOf(tab);
    pageSizeComboBox = addRow<QComboBox>(general, tab, "label", translated("Page size:"), "pageSizeComboBox");
    pagesPerSheetComboBox = addRow<QComboBox>(general, tab, "label_4", translated("Pages per sheet:"), "pagesPerSheetComboBox");
    duplexComboBox = addRow<QComboBox>(general, tab, "label_5", translated("Duplex printing:"), "duplexComboBox");
    orientationComboBox = addRow<QComboBox>(general, tab, "label_6", translated("Orientation:"), "orientationComboBox");
    topMarginSpinBox = margin(general, tab, "label_2", translated("Top margin:"), "topMarginSpinBox");
    bottomMarginSpinBox = margin(general, tab, "label_3", translated("Bottom margin:"), "bottomMarginSpinBox");
    leftMarginSpinBox = margin(general, tab, "label_15", translated("Left margin:"), "leftMarginSpinBox");
    rightMarginSpinBox = margin(general, tab, "label_16", translated("Right margin:"), "rightMarginSpinBox");
    fitToPageCheckBox = new QCheckBox(translated("Fit to page"), tab);
    fitToPageCheckBox->setObjectName(QStringLiteral("fitToPageCheckBox"));
    general->addRow(fitToPageCheckBox);
    pdfToPsRendererComboBox = addRow<QComboBox>(general, tab, "pdfToPsLabel", translated("PDF to PostsScript converter:"), "pdfToPsRendererComboBox");
    pdfToPsLabel = qobject_cast<QLabel *>(general->labelForField(pdfToPsRendererComboBox));
    groupBox_2 = new QGroupBox(translated("Allowed Users and Groups"), tab);
    groupBox_2->setObjectName(QStringLiteral("groupBox_2"));
    auto *usersLayout = new QVBoxLayout(groupBox_2);
    allowedUsersRadioButton = new QRadioButton(translated("Allow these users and groups to print"), groupBox_2);
    allowedUsersRadioButton->setObjectName(QStringLiteral("allowedUsersRadioButton"));
    deniedUsersRadioButton = new QRadioButton(translated("Prevent these users and groups from printing"), groupBox_2);
    deniedUsersRadioButton->setObjectName(QStringLiteral("deniedUsersRadioButton"));
    userListLineEdit = new QLineEdit(groupBox_2);
    userListLineEdit->setObjectName(QStringLiteral("userListLineEdit"));
    userListLineEdit->setToolTip(translated("A list of users and groups separated by comma. Group name should start with \"@\"."));
    usersLayout->addWidget(allowedUsersRadioButton);
    usersLayout->addWidget(deniedUsersRadioButton);
    usersLayout->addWidget(userListLineEdit);
    general->addRow(groupBox_2);
    tabWidget->addTab(tab, translated("General"));

    tab_3 = new QWidget(tabWidget);
    tab_3->setObjectName(QStringLiteral("tab_3"));
    QFormLayout *jobs = formOf(tab_3);
    prioritySpinBox = addRow<QSpinBox>(jobs, tab_3, "label_7", translated("Priority:"), "prioritySpinBox");
    copiesSpinBox = addRow<QSpinBox>(jobs, tab_3, "label_8", translated("Copies:"), "copiesSpinBox");
    holdUntilComboBox = addRow<QComboBox>(jobs, tab_3, "label_9", translated("Hold until:"), "holdUntilComboBox");
    errorPolicyComboBox = addRow<QComboBox>(jobs, tab_3, "label_10", translated("Error policy:"), "errorPolicyComboBox");
    opPolicyComboBox = addRow<QComboBox>(jobs, tab_3, "label_14", translated("Operation policy:"), "opPolicyComboBox");
    finishingsComboBox = addRow<QComboBox>(jobs, tab_3, "label_13", translated("Finishings after print:"), "finishingsComboBox");
    authComboBox = addRow<QComboBox>(jobs, tab_3, "label_17", translated("Authentication:"), "authComboBox");
    groupBox = new QGroupBox(translated("Banners"), tab_3);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    QFormLayout *banners = formOf(groupBox);
    startBannerComboBox = addRow<QComboBox>(banners, groupBox, "label_11", translated("Start:"), "startBannerComboBox");
    endBannerComboBox = addRow<QComboBox>(banners, groupBox, "label_12", translated("End:"), "endBannerComboBox");
    jobs->addRow(groupBox);
    tabWidget->addTab(tab_3, translated("Jobs"));

    buttonBox = new QDialogButtonBox(Qt::Horizontal, dialog);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply);

    gridLayout->addWidget(stackedWidget, 0, 0);
    gridLayout->addWidget(buttonBox, 1, 0);
    stackedWidget->setCurrentWidget(optionsPage);
    tabWidget->setCurrentIndex(0);
}
} // namespace Ui

namespace CUPS
{
namespace
{
void freeDest(cups_dest_t *dest)
{
    cupsFreeDests(1, dest);
}

using DestPtr = CResource<cups_dest_t, freeDest>;
using DestInfoPtr = CResource<cups_dinfo_t, cupsFreeDestInfo>;

constexpr int MediaProgress = 50;

using IntPair = QPair<int, int>;

// A value without a label shows as itself rather than vanishing under a shared empty label.
QString labelOf(const QMap<int, QString> &labels, int value)
{
    return labels.value(value, QString::number(value));
}

QString labelOf(const QMap<QString, QString> &labels, const QString &keyword)
{
    return labels.value(keyword, keyword);
}

// One value of a supported or default attribute, as a number or as a keyword.
template<typename Value>
Value valueAt(ipp_attribute_t *attr, int index)
{
    if constexpr (std::is_same_v<Value, int>) {
        return ippGetInteger(attr, index);
    } else {
        return IppValue(attr, index).toString();
    }
}

// Every value of a supported attribute under its label: a QVariantMap lists
// them in label order, a QVariantHash in no particular one.
template<typename Choices, typename Value>
Choices labelledChoices(ipp_attribute_t *attr, const QMap<Value, QString> &labels)
{
    Choices choices;
    for (int i = 0; i < ippGetCount(attr); ++i) {
        const Value value = valueAt<Value>(attr, i);
        choices.insert(labelOf(labels, value), value);
    }
    return choices;
}

void selectByData(QComboBox *combo, const QVariant &value)
{
    const int index = combo->findData(value, Qt::UserRole, Qt::MatchFixedString);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}

// One item per (label, value) entry of a QVariantMap or QVariantHash, in its
// order; then the current value is selected.
template<typename Entries>
void fillByData(QComboBox *combo, const Entries &entries, const QVariant &current)
{
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        combo->addItem(it.key(), it.value());
    }
    selectByData(combo, current);
}

// The paper of that PWG name, else the one of the same size: the driver and
// the server may name one paper differently.
void selectMedia(QComboBox *combo, const QString &pwgMedia)
{
    int index = combo->findData(pwgMedia);
    const pwg_media_t *wanted = pwgMediaForPWG(pwgMedia.toLatin1().constData());
    // Copied: the next look-up may reuse the buffer of a size that has no standard name.
    const int width = wanted ? wanted->width : 0;
    const int length = wanted ? wanted->length : 0;
    for (int i = 0; index < 0 && wanted && i < combo->count(); ++i) {
        const pwg_media_t *media = pwgMediaForPWG(combo->itemData(i).toString().toLatin1().constData());
        // Within a millimetre: PPD sizes are in points, PWG sizes in hundredths of one.
        if (media && qAbs(media->width - width) < 100 && qAbs(media->length - length) < 100) {
            index = i;
        }
    }
    if (index >= 0) {
        combo->setCurrentIndex(index);
    }
}

void selectByText(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text, Qt::MatchFixedString);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}

QStringList textsOf(const QVariant &value)
{
    QStringList texts;
    const QVariantList list = value.toList();
    for (const QVariant &item : list) {
        texts.append(item.toString());
    }
    return texts;
}
} // namespace

class DestOptionsDialogPrivate : public QObject, public Ui::DestOptionsDialog
{
    Q_OBJECT
public:
    explicit DestOptionsDialogPrivate(CUPS::DestOptionsDialog *dialog);
    ~DestOptionsDialogPrivate() override;

    bool loadOptions();
    void setOptions();
    bool save();

    QString name;
    bool isClass = false;
    PpdSettings *ppdSettings = nullptr;
    QString uri;
    CUPS::DestOptionsDialog *const q;
    OptionsData options;
    DestPtr dest;
    DestInfoPtr dinfo;
    QPointer<QThread> worker;
    QMap<int, QString> orientationLabels;
    QMap<QString, QString> errorPolicyLabels;
    QMap<int, QString> finishingsLabels;
    QMap<QString, QString> sidesLabels;
    QMap<QString, QString> holdUntilLabels;

    // Only what a finished load filled in may be written back.
    enum class LoadState { Idle, Loading, Loaded, Failed };
    void abandonLoad();
    LoadState loadState = LoadState::Idle;
    bool holdsLock = false;

Q_SIGNALS:
    void loadingProgressChanged(int delta);
    void loadingOptionsDone();

public Q_SLOTS:
    void setLoadingProgress(int delta);
    void processOptions();
    void showErrorMessage(const QString &message);
    void optionsChanged();
    void buttonClicked(QAbstractButton *button);

private:
    void buildLabelTables();
    void fillFixedCombos();
    bool failLoading(const QString &message);
    void releaseLock();
    void stopWorker();
    void resetForm();
    void resetDriverTab();
    void showLoadFailure();
    void linkDriverSettings();
    void work(QThread *guiThread);
    bool loadMedia();
    void loadSupportedAndDefaults();
    // False when the destination's attributes could not be read.
    bool processAttributes();
    // A warning titled like the dialog, %1 the server's last error.
    void showCupsError(const KLocalizedString &message);
    void connectChangeSignals();
    QStringList userList() const;
    // Raw libcups look-ups, each under the connection's io lock.
    ipp_attribute_t *supported(const char *attribute) const;
    ipp_attribute_t *defaultOf(const char *attribute) const;
};

DestOptionsDialogPrivate::DestOptionsDialogPrivate(CUPS::DestOptionsDialog *dialog)
    : QObject(dialog)
    , q(dialog)
{
    setupUi(dialog);
    connect(buttonBox, &QDialogButtonBox::accepted, q, &CUPS::DestOptionsDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, q, &CUPS::DestOptionsDialog::reject);
    connect(buttonBox, &QDialogButtonBox::clicked, this, &DestOptionsDialogPrivate::buttonClicked);
    connect(this, &DestOptionsDialogPrivate::loadingProgressChanged, this, &DestOptionsDialogPrivate::setLoadingProgress);
    connect(this, &DestOptionsDialogPrivate::loadingOptionsDone, this, &DestOptionsDialogPrivate::processOptions);
    qRegisterMetaType<OptionsData>("OptionsData");
    buildLabelTables();
    fillFixedCombos();
    buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
}

DestOptionsDialogPrivate::~DestOptionsDialogPrivate()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    stopWorker();
    releaseLock();
    dinfo.reset();
    dest.reset();
    QApplication::restoreOverrideCursor();
}

void DestOptionsDialogPrivate::buildLabelTables()
{
    orientationLabels = {{3, translated("Portrait")},
                         {4, translated("Landscape")},
                         {5, translated("Reverse landscape")},
                         {6, translated("Reverse portrait")},
                         {7, translated("No rotation")}};
    errorPolicyLabels = {{QStringLiteral("stop-printer"), translated("Stop the printer and keep the job for future printing")},
                         {QStringLiteral("abort-job"), translated("Abort the job and proceed with the next job in the queue")},
                         {QStringLiteral("retry-current-job"), translated("Retry the job immediately")},
                         {QStringLiteral("retry-job"), translated("Retry the job at a later time")}};
    finishingsLabels = {{3, translated("None")},
                        {4, translated("Staple")},
                        {5, translated("Punch")},
                        {6, translated("Cover")},
                        {7, translated("Bind")},
                        {8, translated("Saddle stitch")},
                        {9, translated("Edge stitch")},
                        {10, translated("Fold (any type)")},
                        {11, translated("Trim (any type)")},
                        {12, translated("Bale (any type)")},
                        {13, translated("Fold to make booklet")},
                        {14, translated("Offset for binding (any type)")},
                        {20, translated("Staple top left")},
                        {21, translated("Staple bottom left")},
                        {22, translated("Staple top right")},
                        {23, translated("Staple bottom right")},
                        {24, translated("Edge stitch left")},
                        {25, translated("Edge stitch top")},
                        {26, translated("Edge stitch right")},
                        {27, translated("Edge stitch bottom")},
                        {28, translated("Staple dual left")},
                        {29, translated("Staple dual top")},
                        {30, translated("Staple dual right")},
                        {31, translated("Staple dual bottom")},
                        {50, translated("Bind on left")},
                        {51, translated("Bind on top")},
                        {52, translated("Bind on right")},
                        {53, translated("Bind on Bottom")}};
    sidesLabels = {{QStringLiteral("one-sided"), translated("One sided")},
                   {QStringLiteral("two-sided-long-edge"), translated("Two sided, Long edge")},
                   {QStringLiteral("two-sided-short-edge"), translated("Two sided, Short edge")}};
    holdUntilLabels = {{QStringLiteral("no-hold"), translated("No hold")},
                       {QStringLiteral("indefinite"), translated("Indefinite")},
                       {QStringLiteral("day-time"), translated("Day Time")},
                       {QStringLiteral("night"), translated("Night")},
                       {QStringLiteral("second-shift"), translated("Second Shift")},
                       {QStringLiteral("third-shift"), translated("Third Shift")},
                       {QStringLiteral("weekend"), translated("Weekend")}};
}

void DestOptionsDialogPrivate::fillFixedCombos()
{
    authComboBox->addItem(translated("None"), QStringLiteral("none"));
    authComboBox->addItem(translated("Username,password"), QStringLiteral("username,password"));
    authComboBox->addItem(translated("Domain,username,password"), QStringLiteral("domain,username,password"));
    authComboBox->addItem(translated("Kerberos"), QStringLiteral("negotiate"));
    pdfToPsRendererComboBox->addItem(translated("hybrid (Poppler or GhostScript)"), QStringLiteral("hybrid"));
    pdfToPsRendererComboBox->addItem(translated("gs (GhostScript)"), QStringLiteral("gs"));
    pdfToPsRendererComboBox->addItem(translated("pdftops (Poppler)"), QStringLiteral("pdftops"));
    pdfToPsRendererComboBox->addItem(translated("mupdf (MuPDF)"), QStringLiteral("mupdf"));
    pdfToPsRendererComboBox->addItem(translated("pdftocairo (Cairo)"), QStringLiteral("pdftocairo"));
}

// ---------------------------------------------------------------- loading

bool DestOptionsDialogPrivate::loadOptions()
{
    // A running worker reads the handles and options about to be replaced: it goes first.
    stopWorker();
    loadState = LoadState::Loading;
    resetForm();
    progressBar->reset();
    progressBar->setValue(0);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    stackedWidget->setCurrentWidget(loadingPage);
    busyIndicator->start();

    Connection *connection = Connection::instance();
    if (!holdsLock) {
        // Held until the loaded attributes are processed, so nothing changes the destination meanwhile.
        connection->lock();
        holdsLock = true;
    }
    const QByteArray destName = name.toLocal8Bit();
    QString namedDestError;
    {
        Connection::IoLocker io(connection);
        dest.reset(cupsGetNamedDest(io.handle(), destName.constData(), nullptr));
        namedDestError = QString::fromUtf8(cupsLastErrorString());
    }
    if (!dest) {
        // libcups calls a server it cannot reach a missing printer: asking again tells which it is.
        if (PrinterIppActions::instance()->destAttrs(name, {Attr::PrinterName}).isEmpty()) {
            namedDestError = Connection::lastErrorString();
        }
        return failLoading(QStringLiteral("cupsGetNamedDest failed: %1").arg(namedDestError));
    }
    {
        Connection::IoLocker io(connection);
        dinfo.reset(cupsCopyDestInfo(io.handle(), dest.get()));
        if (!dinfo) {
            const QString error = QString::fromUtf8(cupsLastErrorString());
            dest.reset();
            return failLoading(QStringLiteral("cupsCopyDestInfo failed: %1").arg(error));
        }
    }
    if (worker) {
        return true;
    }
    QThread *const guiThread = QThread::currentThread();
    QThread *thread = QThread::create([this, guiThread] {
        work(guiThread);
    });
    thread->setParent(this);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    worker = thread;
    thread->start(QThread::InheritPriority);
    return true;
}

bool DestOptionsDialogPrivate::failLoading(const QString &message)
{
    loadState = LoadState::Failed;
    busyIndicator->stop();
    // Nothing of this load will be processed: let other work reach the server again.
    releaseLock();
    showLoadFailure();
    showErrorMessage(message);
    return false;
}

void DestOptionsDialogPrivate::releaseLock()
{
    if (holdsLock) {
        holdsLock = false;
        Connection::instance()->unlock();
    }
}

// Every load starts from nothing: no value, widget or tab of a destination
// loaded before may show, or be sent, for this one.
void DestOptionsDialogPrivate::resetForm()
{
    options = OptionsData();
    uri.clear();
    // Filled from the loaded data only; the two fixed combos keep their items.
    for (QComboBox *combo : {pageSizeComboBox,
                             pagesPerSheetComboBox,
                             duplexComboBox,
                             orientationComboBox,
                             holdUntilComboBox,
                             errorPolicyComboBox,
                             opPolicyComboBox,
                             finishingsComboBox,
                             startBannerComboBox,
                             endBannerComboBox}) {
        combo->clear();
    }
    authComboBox->setCurrentIndex(0);
    pdfToPsRendererComboBox->setCurrentIndex(0);
    for (QSpinBox *spin : {topMarginSpinBox, bottomMarginSpinBox, leftMarginSpinBox, rightMarginSpinBox, prioritySpinBox, copiesSpinBox}) {
        spin->setValue(spin->minimum());
    }
    fitToPageCheckBox->setChecked(false);
    // The checked one of exclusive radio buttons can only be unchecked outside the group.
    for (QRadioButton *radio : {allowedUsersRadioButton, deniedUsersRadioButton}) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
        radio->setAutoExclusive(true);
    }
    userListLineEdit->clear();
    resetDriverTab();

    loadErrorMessage->hide();
    tabWidget->setEnabled(true);
    buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
}

// A fresh tab for a printer (its PPD arrives with the loaded values), none for a class.
void DestOptionsDialogPrivate::resetDriverTab()
{
    if (ppdSettings) {
        tabWidget->removeTab(tabWidget->indexOf(ppdSettings));
        delete ppdSettings;
        ppdSettings = nullptr;
    }
    if (!isClass) {
        ppdSettings = new PpdSettings(q);
        tabWidget->addTab(ppdSettings, translated("Driver Settings"));
    }
}

// Nothing that was not loaded may be written: Ok and Apply stay off and the
// dialog says why until it is closed or loaded again.
void DestOptionsDialogPrivate::showLoadFailure()
{
    tabWidget->setEnabled(false);
    buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
    // Rich text, so that a name like "<b>" shows as the text it is.
    const KLocalizedString text = ki18nd("libnorvik-print", "The options of %1 could not be loaded, so they cannot be changed here.");
    loadErrorMessage->setText(QStringLiteral("<qt>%1</qt>").arg(MessageBox::escapedSubs(text, {name})));
    loadErrorMessage->show();
}

// A load nobody will see: its worker stops (a password prompt it raised answers cancel)
// and the destination is free for other work again.
void DestOptionsDialogPrivate::abandonLoad()
{
    if (loadState != LoadState::Loading) {
        return;
    }
    stopWorker();
    loadState = LoadState::Failed;
    busyIndicator->stop();
    releaseLock();
}

void DestOptionsDialogPrivate::stopWorker()
{
    if (!worker) {
        return;
    }
    worker->requestInterruption();
    worker->quit();
    worker->wait();
    delete worker.data();
    // Progress the stopped worker queued belongs to a load that no longer counts.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

ipp_attribute_t *DestOptionsDialogPrivate::supported(const char *attribute) const
{
    Connection::IoLocker io;
    return cupsFindDestSupported(io.handle(), dest.get(), dinfo.get(), attribute);
}

ipp_attribute_t *DestOptionsDialogPrivate::defaultOf(const char *attribute) const
{
    Connection::IoLocker io;
    return cupsFindDestDefault(io.handle(), dest.get(), dinfo.get(), attribute);
}

void DestOptionsDialogPrivate::work(QThread *guiThread)
{
    {
        // Join the dialog's session: the GUI thread's server, user and password prompt.
        Connection *connection = Connection::instance();
        connection->lockOnBehalfOf(guiThread);
        const bool finished = loadMedia();
        if (finished) {
            loadSupportedAndDefaults();
        }
        connection->unlock();
        if (!finished) {
            return;
        }
    }
    Q_EMIT loadingProgressChanged(MediaProgress);
    Q_EMIT loadingOptionsDone();
}

bool DestOptionsDialogPrivate::loadMedia()
{
    int count = 0;
    {
        Connection::IoLocker io;
        count = cupsGetDestMediaCount(io.handle(), dest.get(), dinfo.get(), 0);
    }
    if (count <= 0) {
        Q_EMIT loadingProgressChanged(MediaProgress);
        return true;
    }
    int step = MediaProgress / count;
    if (step == 0) {
        step = MediaProgress;
    }
    int sum = step;
    QVariantMap media;
    for (int index = 0; index < count; ++index) {
        if (QThread::currentThread()->isInterruptionRequested()) {
            return false;
        }
        cups_size_t size;
        bool read = false;
        bool custom = false;
        QString label;
        QString mediaName;
        {
            Connection::IoLocker io;
            read = cupsGetDestMediaByIndex(io.handle(), dest.get(), dinfo.get(), index, 0, &size);
            custom = read && qstrncmp(size.media, "custom", 6) == 0;
            if (read && !custom) {
                label = QString::fromLocal8Bit(cupsLocalizeDestMedia(io.handle(), dest.get(), dinfo.get(), 0, &size));
                mediaName = QString::fromLatin1(size.media);
            }
        }
        if (custom) {
            continue; // a custom size, not a paper to choose
        }
        if (read) {
            if (label.isEmpty()) {
                label = mediaName; // shown as itself rather than under a shared empty label
            } else if (media.contains(label) && media.value(label).toString() != mediaName) {
                // Two papers with one localized name must both stay choosable.
                label = QStringLiteral("%1 (%2)").arg(label, mediaName);
            }
            media.insert(label, mediaName);
        }
        Q_EMIT loadingProgressChanged(step);
        sum += step;
    }
    options.setAvailableData(OptionsData::pageSizePropertyName(), media);
    if (ipp_attribute_t *def = defaultOf(Attr::Media.data())) {
        options.setCurrentData(OptionsData::pageSizePropertyName(), IppValue(def, 0).toString());
    }
    Q_EMIT loadingProgressChanged(qMax(0, MediaProgress - sum));
    return true;
}

void DestOptionsDialogPrivate::loadSupportedAndDefaults()
{
    // Numbers without a label table show as themselves.
    if (ipp_attribute_t *attr = supported(Attr::NumberUp.data())) {
        options.setAvailableData(OptionsData::pagesPerSheetPropertyName(), labelledChoices<QVariantMap>(attr, QMap<int, QString>()));
    }
    if (ipp_attribute_t *def = defaultOf(Attr::NumberUp.data())) {
        options.setCurrentData(OptionsData::pagesPerSheetPropertyName(), valueAt<int>(def, 0));
    }

    if (ipp_attribute_t *attr = supported(Attr::Sides.data())) {
        options.setAvailableData(OptionsData::duplexPropertyName(), labelledChoices<QVariantMap>(attr, sidesLabels));
    }
    if (ipp_attribute_t *def = defaultOf(Attr::Sides.data())) {
        options.setCurrentData(OptionsData::duplexPropertyName(), valueAt<QString>(def, 0));
    }

    if (ipp_attribute_t *attr = supported(Attr::OrientationRequested.data())) {
        QVariantMap orientations = labelledChoices<QVariantMap>(attr, orientationLabels);
        orientations.insert(translated("Automatic rotation"), 0);
        options.setAvailableData(OptionsData::orientationPropertyName(), orientations);
    }
    if (ipp_attribute_t *def = defaultOf(Attr::OrientationRequested.data())) {
        options.setCurrentData(OptionsData::orientationPropertyName(), valueAt<int>(def, 0));
    }

    ipp_attribute_t *priority = supported(Attr::JobPriority.data());
    options.setAvailableData(OptionsData::jobPriorityPropertyName(), QVariant::fromValue(IntPair(0, priority ? ippGetInteger(priority, 0) : 100)));

    if (ipp_attribute_t *attr = supported(Attr::Copies.data())) {
        int upper = 0;
        const int lower = ippGetRange(attr, 0, &upper);
        options.setAvailableData(OptionsData::copiesPropertyName(), QVariant::fromValue(IntPair(lower, upper)));
    } else {
        options.setAvailableData(OptionsData::copiesPropertyName(), QVariant::fromValue(IntPair(1, 999)));
    }
    ipp_attribute_t *copies = defaultOf(Attr::Copies.data());
    options.setCurrentData(OptionsData::copiesPropertyName(), copies ? valueAt<int>(copies, 0) : 1);

    if (ipp_attribute_t *attr = supported(Attr::JobHoldUntil.data())) {
        QVariantHash holds;
        for (int i = 0; i < ippGetCount(attr); ++i) {
            QString keyword = IppValue(attr, i).toString();
            if (keyword == QLatin1String("evening")) {
                keyword = QStringLiteral("night"); // the same time, as cupsd names it
            }
            holds.insert(labelOf(holdUntilLabels, keyword), keyword);
        }
        options.setAvailableData(OptionsData::jobHoldUntilPropertyName(), holds);
    }
    if (ipp_attribute_t *def = defaultOf(Attr::JobHoldUntil.data())) {
        options.setCurrentData(OptionsData::jobHoldUntilPropertyName(), valueAt<QString>(def, 0));
    }

    QVariantList sheets;
    if (ipp_attribute_t *attr = supported(Attr::JobSheets.data())) {
        for (int i = 0; i < ippGetCount(attr); ++i) {
            sheets.append(IppValue(attr, i).toString());
        }
    }
    options.setAvailableData(OptionsData::jobSheetsPropertyName(), sheets);
    ipp_attribute_t *sheetsDefault = defaultOf(Attr::JobSheets.data());
    if (sheetsDefault && ippGetCount(sheetsDefault) == 2) {
        options.setCurrentData(OptionsData::jobSheetsStartPropertyName(), IppValue(sheetsDefault, 0).toString());
        options.setCurrentData(OptionsData::jobSheetsEndPropertyName(), IppValue(sheetsDefault, 1).toString());
    }

    if (ipp_attribute_t *attr = supported(Attr::Finishings.data())) {
        options.setAvailableData(OptionsData::finishingsPropertyName(), labelledChoices<QVariantHash>(attr, finishingsLabels));
    }
    if (ipp_attribute_t *def = defaultOf(Attr::Finishings.data())) {
        options.setCurrentData(OptionsData::finishingsPropertyName(), valueAt<int>(def, 0));
    }
}

void DestOptionsDialogPrivate::setLoadingProgress(int delta)
{
    progressBar->setValue(progressBar->value() + delta);
}

void DestOptionsDialogPrivate::processOptions()
{
    const bool attributesRead = processAttributes();
    releaseLock();
    setOptions();
    busyIndicator->stop();
    if (attributesRead) {
        loadState = LoadState::Loaded;
        buttonBox->button(QDialogButtonBox::Ok)->setEnabled(true);
        return;
    }
    // Margins, users and policies were not read: saving would replace the
    // printer's real ones with empty values, so this load counts as failed.
    loadState = LoadState::Failed;
    showLoadFailure();
    showCupsError(ki18nd("libnorvik-print", "Unable to get printer attributes.<br>CUPS error: %1"));
}

void DestOptionsDialogPrivate::showCupsError(const KLocalizedString &message)
{
    QMessageBox::warning(q, q->windowTitle(), message.subs(Connection::lastErrorString().toHtmlEscaped()).toString(), QMessageBox::Ok);
}

bool DestOptionsDialogPrivate::processAttributes()
{
    uri = QStringLiteral("ipp://localhost:%1/%2/%3")
              .arg(ippPort())
              .arg(isClass ? QStringLiteral("classes") : QStringLiteral("printers"), name);
    options.setCurrentData(OptionsData::uriSupportedAttributeName(), uri);

    const QHash<QString, QVariant> attrs = PrinterIppActions::instance()->destAttrs(uri, {});
    if (attrs.isEmpty()) {
        return false;
    }
    const auto value = [&attrs](const QString &attribute) {
        return Utils::getAttribute(attrs, attribute, QVariant());
    };
    for (const QString &margin : {OptionsData::pageTopDefaultAttributeName(),
                                  OptionsData::pageBottomDefaultAttributeName(),
                                  OptionsData::pageLeftDefaultAttributeName(),
                                  OptionsData::pageRightDefaultAttributeName()}) {
        options.setCurrentData(margin, value(margin).toInt());
    }
    options.setCurrentData(OptionsData::fitToPageDefaultAttributeName(), value(OptionsData::fitToPageDefaultAttributeName()).toBool());

    for (const QString &users : {OptionsData::userNameAllowedAttributeName(), OptionsData::userNameDeniedAttributeName()}) {
        if (attrs.contains(users)) {
            options.setCurrentData(users, textsOf(attrs.value(users)).join(QLatin1Char(',')));
            break;
        }
    }
    if (attrs.contains(OptionsData::jobPriorityAttributeName())) {
        options.setCurrentData(OptionsData::jobPriorityAttributeName(), value(OptionsData::jobPriorityAttributeName()).toInt());
    }
    if (attrs.contains(OptionsData::jobPriorityDefaultAttributeName())) {
        options.setCurrentData(OptionsData::jobPriorityDefaultAttributeName(), value(OptionsData::jobPriorityDefaultAttributeName()).toInt());
    }

    QVariantHash errorPolicies;
    for (const QString &keyword : textsOf(attrs.value(OptionsData::errorPolicySupportedAttributeName()))) {
        errorPolicies.insert(labelOf(errorPolicyLabels, keyword), keyword);
    }
    options.setCurrentData(OptionsData::errorPolicySupportedAttributeName(), errorPolicies);
    options.setCurrentData(OptionsData::errorPolicyAttributeName(), value(OptionsData::errorPolicyAttributeName()).toString());

    QVariantList opPolicies;
    for (const QString &policy : textsOf(attrs.value(OptionsData::opPolicySupportedAttributeName()))) {
        opPolicies.append(policy);
    }
    options.setCurrentData(OptionsData::opPolicySupportedAttributeName(), opPolicies);
    options.setCurrentData(OptionsData::opPolicyAttributeName(), value(OptionsData::opPolicyAttributeName()).toString());

    uri = value(OptionsData::uriSupportedAttributeName()).toString();
    options.setCurrentData(OptionsData::uriSupportedAttributeName(), uri);
    options.setCurrentData(OptionsData::authInfoRequiredAttributeName(),
                           textsOf(attrs.value(OptionsData::authInfoRequiredAttributeName())).join(QLatin1Char(',')));
    options.setCurrentData(OptionsData::pdfTopsRendererDefaultAttributeName(), value(OptionsData::pdfTopsRendererDefaultAttributeName()).toString());

    if (!isClass) {
        const QString file = PrinterIppActions::instance()->getPPD(name);
        if (!file.isEmpty()) {
            options.setCurrentData(OptionsData::kvtFilenamePropertyName(), file);
        }
    }
    return true;
}

void DestOptionsDialogPrivate::showErrorMessage(const QString &message)
{
    qCWarning(CUPS_WIDGETS) << "ERROR: " << message;
    stackedWidget->setCurrentWidget(optionsPage);
    QMessageBox::warning(q, q->windowTitle(), message, QMessageBox::Ok);
}

// ---------------------------------------------------------------- form

void DestOptionsDialogPrivate::setOptions()
{
    fillByData(pageSizeComboBox, options.availableData(OptionsData::pageSizePropertyName()).toMap(), options.currentData(OptionsData::pageSizePropertyName()));
    fillByData(pagesPerSheetComboBox, options.availableData(OptionsData::pagesPerSheetPropertyName()).toMap(), options.currentData(OptionsData::pagesPerSheetPropertyName()));
    fillByData(duplexComboBox, options.availableData(OptionsData::duplexPropertyName()).toMap(), options.currentData(OptionsData::duplexPropertyName()));
    fillByData(orientationComboBox, options.availableData(OptionsData::orientationPropertyName()).toMap(), options.currentData(OptionsData::orientationPropertyName()));

    const QVariant priorityRange = options.availableData(OptionsData::jobPriorityPropertyName());
    if (priorityRange.canConvert<IntPair>()) {
        const IntPair range = priorityRange.value<IntPair>();
        prioritySpinBox->setRange(range.first, range.second);
        prioritySpinBox->setValue(50);
    } else {
        qCDebug(CUPS_WIDGETS) << "[priority]: variantValue.canConvert<QPair<int,int>>() FAIL !";
    }
    const QVariant copiesRange = options.availableData(OptionsData::copiesPropertyName());
    if (copiesRange.canConvert<IntPair>()) {
        const IntPair range = copiesRange.value<IntPair>();
        copiesSpinBox->setRange(range.first, range.second);
        copiesSpinBox->setValue(options.currentData(OptionsData::copiesPropertyName()).toInt());
    } else {
        qCDebug(CUPS_WIDGETS) << "[copies]: variantValue.canConvert<QPair<int,int>>() FAIL !";
    }

    fillByData(holdUntilComboBox, options.availableData(OptionsData::jobHoldUntilPropertyName()).toHash(), options.currentData(OptionsData::jobHoldUntilPropertyName()));

    const QVariantList sheets = options.availableData(OptionsData::jobSheetsPropertyName()).toList();
    for (const QVariant &sheet : sheets) {
        startBannerComboBox->addItem(sheet.toString(), sheet);
        endBannerComboBox->addItem(sheet.toString(), sheet);
    }
    selectByText(startBannerComboBox, options.currentData(OptionsData::jobSheetsStartPropertyName()).toString());
    selectByText(endBannerComboBox, options.currentData(OptionsData::jobSheetsEndPropertyName()).toString());

    fillByData(finishingsComboBox, options.availableData(OptionsData::finishingsPropertyName()).toHash(), options.currentData(OptionsData::finishingsPropertyName()));

    uri = options.currentData(OptionsData::uriSupportedAttributeName()).toString();
    topMarginSpinBox->setValue(options.currentData(OptionsData::pageTopDefaultAttributeName()).toInt());
    bottomMarginSpinBox->setValue(options.currentData(OptionsData::pageBottomDefaultAttributeName()).toInt());
    leftMarginSpinBox->setValue(options.currentData(OptionsData::pageLeftDefaultAttributeName()).toInt());
    rightMarginSpinBox->setValue(options.currentData(OptionsData::pageRightDefaultAttributeName()).toInt());

    const QVariant priority = options.currentData(OptionsData::jobPriorityAttributeName());
    if (priority.isValid()) {
        prioritySpinBox->setValue(priority.toInt());
    }
    const QVariant priorityDefault = options.currentData(OptionsData::jobPriorityDefaultAttributeName());
    if (priorityDefault.isValid()) {
        prioritySpinBox->setValue(priorityDefault.toInt());
    }
    fitToPageCheckBox->setChecked(options.currentData(OptionsData::fitToPageDefaultAttributeName()).toBool());

    const QString allowed = options.currentData(OptionsData::userNameAllowedAttributeName()).toString();
    if (!allowed.isEmpty()) {
        allowedUsersRadioButton->setChecked(true);
        userListLineEdit->setText(allowed);
    }
    const QString denied = options.currentData(OptionsData::userNameDeniedAttributeName()).toString();
    if (!denied.isEmpty()) {
        deniedUsersRadioButton->setChecked(true);
        userListLineEdit->setText(denied);
    }

    fillByData(errorPolicyComboBox, options.currentData(OptionsData::errorPolicySupportedAttributeName()).toHash(), options.currentData(OptionsData::errorPolicyAttributeName()));

    const QVariantList opPolicies = options.currentData(OptionsData::opPolicySupportedAttributeName()).toList();
    for (const QVariant &policy : opPolicies) {
        opPolicyComboBox->addItem(policy.toString());
    }
    selectByText(opPolicyComboBox, options.currentData(OptionsData::opPolicyAttributeName()).toString());

    selectByData(authComboBox, options.currentData(OptionsData::authInfoRequiredAttributeName()));
    selectByData(pdfToPsRendererComboBox, options.currentData(OptionsData::pdfTopsRendererDefaultAttributeName()));

    const QString ppdFile = options.currentData(OptionsData::kvtFilenamePropertyName()).toString();
    if (!isClass && !ppdFile.isEmpty() && ppdSettings && ppdSettings->load(ppdFile)) {
        linkDriverSettings();
    }

    connectChangeSignals();
    stackedWidget->setCurrentWidget(optionsPage);
    buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
}

// Paper and duplex show on both tabs and are one setting: a choice on either
// side shows on the other at once, so the IPP defaults and the uploaded PPD
// always agree and the last choice wins. (cupsd reports a PPD queue's
// defaults from its PPD; an IPP default beside a PPD that says otherwise
// leaves the printer reporting both.)
void DestOptionsDialogPrivate::linkDriverSettings()
{
    const auto activated = QOverload<int>::of(&QComboBox::activated);
    connect(pageSizeComboBox, activated, ppdSettings, [this] {
        ppdSettings->selectMedia(pageSizeComboBox->currentData().toString());
    });
    connect(duplexComboBox, activated, ppdSettings, [this] {
        ppdSettings->selectSides(duplexComboBox->currentData().toString());
    });
    connect(ppdSettings, &PpdSettings::pageSizeChanged, this, [this](const QString &media) {
        selectMedia(pageSizeComboBox, media);
    });
    connect(ppdSettings, &PpdSettings::sidesChanged, this, [this](const QString &sides) {
        const int index = duplexComboBox->findData(sides);
        if (index >= 0) {
            duplexComboBox->setCurrentIndex(index);
        }
    });
}

void DestOptionsDialogPrivate::connectChangeSignals()
{
    const auto changed = &DestOptionsDialogPrivate::optionsChanged;
    for (int i = 0; i < tabWidget->count(); ++i) {
        QWidget *page = tabWidget->widget(i);
        for (QComboBox *w : page->findChildren<QComboBox *>()) {
            connect(w, QOverload<int>::of(&QComboBox::activated), this, changed, Qt::UniqueConnection);
        }
        for (QSpinBox *w : page->findChildren<QSpinBox *>()) {
            connect(w, QOverload<int>::of(&QSpinBox::valueChanged), this, changed, Qt::UniqueConnection);
        }
        for (QDoubleSpinBox *w : page->findChildren<QDoubleSpinBox *>()) {
            connect(w, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, changed, Qt::UniqueConnection);
        }
        for (QCheckBox *w : page->findChildren<QCheckBox *>()) {
            connect(w, &QCheckBox::stateChanged, this, changed, Qt::UniqueConnection);
        }
        for (QRadioButton *w : page->findChildren<QRadioButton *>()) {
            connect(w, &QRadioButton::clicked, this, changed, Qt::UniqueConnection);
        }
        for (QLineEdit *w : page->findChildren<QLineEdit *>()) {
            connect(w, &QLineEdit::textChanged, this, changed, Qt::UniqueConnection);
        }
    }
}

void DestOptionsDialogPrivate::optionsChanged()
{
    QPushButton *apply = buttonBox->button(QDialogButtonBox::Apply);
    // Resetting the form for a load changes widgets too; only edits of loaded values count.
    if (loadState == LoadState::Loaded && !apply->isEnabled()) {
        apply->setEnabled(true);
    }
}

void DestOptionsDialogPrivate::buttonClicked(QAbstractButton *button)
{
    if (button && buttonBox->buttonRole(button) == QDialogButtonBox::ApplyRole && save()) {
        buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
    }
}

// ---------------------------------------------------------------- saving

QStringList DestOptionsDialogPrivate::userList() const
{
    QStringList users;
    const QStringList parts = userListLineEdit->text().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        // A part of blanks names nobody; writing it would add an empty name to the server's list.
        if (!part.trimmed().isEmpty()) {
            users.append(part.trimmed());
        }
    }
    return users;
}

bool DestOptionsDialogPrivate::save()
{
    if (loadState != LoadState::Loaded) {
        // The form holds nothing the server said: writing it would overwrite the real defaults.
        qCDebug(CUPS_WIDGETS) << "not saving options of" << name << ": they were not loaded";
        return false;
    }
    IppRequest request(isClass ? IPP_OP_CUPS_ADD_MODIFY_CLASS : IPP_OP_CUPS_ADD_MODIFY_PRINTER);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), uri);

    // A combo the server gave no choices for has nothing loaded to write back.
    const auto keyword = [&request](const QLatin1String &attribute, QComboBox *combo, ipp_tag_t tag) {
        if (combo->currentIndex() >= 0) {
            request.addPrinterAttribute(attribute.data(), combo->currentData().toString(), tag);
        }
    };
    const auto integer = [&request](const QLatin1String &attribute, QComboBox *combo) {
        if (combo->currentIndex() >= 0) {
            request.addPrinterAttribute(attribute.data(), combo->currentData().toInt());
        }
    };
    keyword(Attr::MediaDefault, pageSizeComboBox, IPP_TAG_KEYWORD);
    integer(Attr::NumberUpDefault, pagesPerSheetComboBox);
    keyword(Attr::SidesDefault, duplexComboBox, IPP_TAG_KEYWORD);
    if (orientationComboBox->currentIndex() >= 0) {
        const int orientation = orientationComboBox->currentData().toInt();
        if (orientation > 0) {
            request.addPrinterAttribute(Attr::OrientationRequestedDefault.data(), orientation);
        } else {
            request.deletePrinterAttribute(Attr::OrientationRequestedDefault.data());
        }
    }
    request.addPrinterAttribute(Attr::JobPriorityDefault.data(), prioritySpinBox->value());
    request.addPrinterAttribute(Attr::CopiesDefault.data(), copiesSpinBox->value());
    keyword(Attr::JobHoldUntilDefault, holdUntilComboBox, IPP_TAG_KEYWORD);
    keyword(Attr::PrinterErrorPolicy, errorPolicyComboBox, IPP_TAG_NAME);
    if (opPolicyComboBox->currentIndex() >= 0) {
        request.addPrinterAttribute(Attr::PrinterOpPolicy.data(), opPolicyComboBox->currentText(), IPP_TAG_NAME);
    }
    integer(Attr::FinishingsDefault, finishingsComboBox);
    if (startBannerComboBox->currentIndex() >= 0 && endBannerComboBox->currentIndex() >= 0) {
        request.addPrinterAttribute(Attr::JobSheetsDefault.data(),
                                    QStringList{startBannerComboBox->currentText(), endBannerComboBox->currentText()},
                                    IPP_TAG_NAME);
    }
    request.addPrinterAttribute(Attr::PageTopDefault.data(), topMarginSpinBox->value());
    request.addPrinterAttribute(Attr::PageBottomDefault.data(), bottomMarginSpinBox->value());
    request.addPrinterAttribute(Attr::PageRightDefault.data(), rightMarginSpinBox->value());
    request.addPrinterAttribute(Attr::PageLeftDefault.data(), leftMarginSpinBox->value());
    request.addPrinterAttribute(Attr::FitToPageDefault.data(), fitToPageCheckBox->isChecked());
    request.addPrinterAttribute(Attr::AuthInfoRequired.data(), authComboBox->currentData().toString().split(QLatin1Char(',')), IPP_TAG_KEYWORD);
    request.addPrinterAttribute(Attr::PdftopsRendererDefault.data(), pdfToPsRendererComboBox->currentData().toString(), IPP_TAG_NAME);

    const QStringList users = userList();
    if (users.isEmpty()) {
        request.addPrinterAttribute(Attr::RequestingUserNameAllowed.data(), QStringList{QStringLiteral("all")}, IPP_TAG_NAME);
    } else if (allowedUsersRadioButton->isChecked()) {
        request.addPrinterAttribute(Attr::RequestingUserNameAllowed.data(), users, IPP_TAG_NAME);
    } else if (deniedUsersRadioButton->isChecked()) {
        request.addPrinterAttribute(Attr::RequestingUserNameDenied.data(), users, IPP_TAG_NAME);
    }

    // Paper and duplex went into the PPD as they were chosen (linkDriverSettings).
    const QString ppdFile = (!isClass && ppdSettings) ? ppdSettings->save() : QString();
    const IppResponse response = ppdFile.isEmpty() ? request.doRequest(Connection::instance(), QStringLiteral("/"))
                                                   : request.doFileRequest(Connection::instance(), QStringLiteral("/"), ppdFile);
    // Only a successful status counts: a client error (0x04xx) means nothing was changed.
    if (!response.isNull() && response.isOk()) {
        qCDebug(CUPS_WIDGETS) << "response attributes: " << response.attributes();
        qCDebug(CUPS_WIDGETS, "status=%d", int(response.statusCode()));
        if (!ppdFile.isEmpty()) {
            // What went up is what the next save is judged against.
            ppdSettings->commit(ppdFile);
        }
        return true;
    }
    if (!ppdFile.isEmpty()) {
        ::unlink(ppdFile.toLocal8Bit().constData());
    }
    showCupsError(ki18nd("libnorvik-print", "Unable to set printer attributes.<br>CUPS error: %1"));
    return false;
}

// ---------------------------------------------------------------- dialog

DestOptionsDialog::DestOptionsDialog(QWidget *parent)
    : QDialog(parent)
    , d(new DestOptionsDialogPrivate(this))
{
    QSettings settings;
    const QVariant width = settings.value(QStringLiteral("Dialog/Options/Width"));
    const QVariant height = settings.value(QStringLiteral("Dialog/Options/Height"));
    if (width.isValid() && height.isValid()) {
        resize(width.toInt(), height.toInt());
    }
}

DestOptionsDialog::~DestOptionsDialog()
{
    QSettings settings;
    settings.setValue(QStringLiteral("Dialog/Options/Width"), width());
    settings.setValue(QStringLiteral("Dialog/Options/Height"), height());
}

bool DestOptionsDialog::load(const QString &name, bool isClass)
{
    d->name = name;
    d->isClass = isClass;
    setWindowTitle(ki18nd("libnorvik-print", "Options for %1").subs(name).toString());
    return d->loadOptions();
}

bool DestOptionsDialog::load(const CUPS::Destination &destination)
{
    return load(destination.name(), destination.isClass());
}

bool DestOptionsDialog::save()
{
    return d->save();
}

void DestOptionsDialog::accept()
{
    if (save()) {
        QDialog::accept();
    }
}

void DestOptionsDialog::reject()
{
    d->abandonLoad();
    QDialog::reject();
}
} // namespace CUPS

#include "destoptionsdialog.moc"
