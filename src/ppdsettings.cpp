#include "ppdsettings.h"

#include "widgetslogging.h"

#include <cresource.h>
#include <translation.h>

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QSaveFile>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/pwg.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

// libcups still ships the PPD API; it is marked deprecated in favour of IPP Everywhere.
QT_WARNING_DISABLE_DEPRECATED

namespace CUPS
{
namespace
{
// Called here, where the PPD API's deprecation warnings are off.
void closePpd(ppd_file_t *ppd)
{
    ppdClose(ppd);
}

using PpdPtr = CResource<ppd_file_t, closePpd>;
using CupsFilePtr = CResource<cups_file_t, cupsFileClose>;

const QString PageSizeFamily[] = {QStringLiteral("PageRegion"), QStringLiteral("PageSize"), QStringLiteral("PaperDimension"), QStringLiteral("ImageableArea")};

// The Duplex choices cupsd maps the sides keywords to.
const QHash<QString, QByteArray> &duplexChoices()
{
    static const QHash<QString, QByteArray> choices{{QStringLiteral("one-sided"), "None"},
                                                     {QStringLiteral("two-sided-long-edge"), "DuplexNoTumble"},
                                                     {QStringLiteral("two-sided-short-edge"), "DuplexTumble"}};
    return choices;
}

// The PWG media name of a PageSize choice: by the PPD's name for the paper, else by its size.
QString pwgMediaOf(ppd_file_t *ppd, const char *choice)
{
    const pwg_media_t *media = pwgMediaForPPD(choice);
    if (!media) {
        if (const ppd_size_t *size = ppdPageSize(ppd, choice)) {
            media = pwgMediaForSize(PWG_FROM_POINTS(size->width), PWG_FROM_POINTS(size->length));
        }
    }
    return media ? QString::fromLatin1(media->pwg) : QString();
}
} // namespace

/// One PPD option as a row: its text and the choice marked now.
class PpdOptionItem : public QTreeWidgetItem
{
public:
    PpdOptionItem(ppd_file_t *ppd, ppd_option_t *option)
        : option(option)
        , ppd(ppd)
    {
        for (int i = 0; i < option->num_choices; ++i) {
            const ppd_choice_t &choice = option->choices[i];
            const QString keyword = QString::fromLocal8Bit(choice.choice);
            const QString text = QString::fromLocal8Bit(choice.text);
            choiceTexts.insert(keyword, text.isEmpty() ? keyword : text);
        }
    }

    QVariant data(int column, int role) const override
    {
        if (role != Qt::DisplayRole || column > 1) {
            return QTreeWidgetItem::data(column, role);
        }
        if (column == 0) {
            return QString::fromLocal8Bit(option->text);
        }
        if (option->ui == PPD_UI_PICKMANY) {
            QStringList marked;
            for (int i = 0; i < option->num_choices; ++i) {
                if (option->choices[i].marked) {
                    marked.append(choiceTexts.value(QString::fromLocal8Bit(option->choices[i].choice)));
                }
            }
            return marked.isEmpty() ? QString::fromLocal8Bit(option->defchoice) : marked.join(QLatin1Char(','));
        }
        return choiceTexts.value(markedKeyword());
    }

    /// The first marked choice, or the PPD's default when none is marked.
    QString markedKeyword() const
    {
        for (int i = 0; i < option->num_choices; ++i) {
            if (option->choices[i].marked) {
                return QString::fromLocal8Bit(option->choices[i].choice);
            }
        }
        return QString::fromLocal8Bit(option->defchoice);
    }

    ppd_option_t *const option;
    QHash<QString, QString> choiceTexts;
    ppd_file_t *const ppd;
};

class PpdSettingsPrivate
{
public:
    explicit PpdSettingsPrivate(PpdSettings *q)
        : q(q)
    {
    }

    void close();
    void addRows(ppd_group_t *group, QList<QTreeWidgetItem *> &rows) const;
    void installEditor(PpdOptionItem *row);
    void announce(const char *keyword, const QByteArray &choice);
    /// A "*Default" line carrying the choice marked now, with its own line ending; empty when the line stays.
    QByteArray rewrittenDefault(const QByteArray &line) const;
    QByteArray markedChoice(const QByteArray &keyword) const;
    bool mark(const char *keyword, const QByteArray &choice);

    PpdSettings *const q;
    PpdPtr ppd;
    QString fileName;
};

void PpdSettingsPrivate::close()
{
    // The rows point into the open file.
    q->clear();
    if (ppd) {
        ppd.reset();
        ::unlink(fileName.toLocal8Bit().constData());
    }
    fileName.clear();
}

void PpdSettingsPrivate::addRows(ppd_group_t *group, QList<QTreeWidgetItem *> &rows) const
{
    for (int i = 0; i < group->num_options; ++i) {
        ppd_option_t *option = &group->options[i];
        if (qstrcmp(option->keyword, "PageRegion") != 0) {
            rows.append(new PpdOptionItem(ppd.get(), option));
        }
    }
    for (int i = 0; i < group->num_subgroups; ++i) {
        addRows(&group->subgroups[i], rows);
    }
}

void PpdSettingsPrivate::installEditor(PpdOptionItem *row)
{
    ppd_option_t *option = row->option;
    if (option->ui == PPD_UI_PICKMANY) {
        return;
    }
    auto *combo = new QComboBox(q);
    combo->setObjectName(QString::fromLatin1(option->keyword));
    for (int i = 0; i < option->num_choices; ++i) {
        const QString keyword = QString::fromLocal8Bit(option->choices[i].choice);
        combo->addItem(row->choiceTexts.value(keyword), keyword);
    }
    QString current;
    for (int i = 0; i < option->num_choices && current.isEmpty(); ++i) {
        if (option->choices[i].marked) {
            current = QString::fromLocal8Bit(option->choices[i].choice);
        }
    }
    if (current.isEmpty()) {
        current = QString::fromLocal8Bit(option->defchoice).section(QLatin1Char(','), 0, 0);
    }
    combo->setCurrentIndex(combo->findData(current, Qt::UserRole, Qt::MatchFixedString));
    ppd_file_t *file = ppd.get();
    QObject::connect(
        combo,
        QOverload<int>::of(&QComboBox::currentIndexChanged),
        combo,
        [this, file, option, combo] {
            const QByteArray choice = combo->currentData().toString().toLocal8Bit();
            ppdMarkOption(file, option->keyword, choice.constData());
            announce(option->keyword, choice);
        },
        Qt::DirectConnection);
    q->setItemWidget(row, 1, combo);
}

// The dialog shows page size and duplex on its general tab as well.
void PpdSettingsPrivate::announce(const char *keyword, const QByteArray &choice)
{
    if (qstrcmp(keyword, "PageSize") == 0) {
        const QString media = pwgMediaOf(ppd.get(), choice.constData());
        if (!media.isEmpty()) {
            Q_EMIT q->pageSizeChanged(media);
        }
    } else if (qstrcmp(keyword, "Duplex") == 0) {
        const QString sides = duplexChoices().key(choice);
        if (!sides.isEmpty()) {
            Q_EMIT q->sidesChanged(sides);
        }
    }
}

QByteArray PpdSettingsPrivate::rewrittenDefault(const QByteArray &line) const
{
    const QByteArray prefix("*Default");
    if (!line.startsWith(prefix)) {
        return {};
    }
    int end = line.size();
    while (end > 0 && (line.at(end - 1) == '\n' || line.at(end - 1) == '\r')) {
        --end;
    }
    const QByteArray ending = line.mid(end);
    const QByteArray rest = line.mid(prefix.size(), end - prefix.size());
    int cut = 0;
    while (cut < rest.size() && rest.at(cut) != ':' && !isspace(static_cast<unsigned char>(rest.at(cut)))) {
        ++cut;
    }
    const QByteArray keyword = rest.left(cut);
    int start = cut + 1;
    while (start < rest.size() && isspace(static_cast<unsigned char>(rest.at(start)))) {
        ++start;
    }
    const QByteArray value = rest.mid(start);
    const QByteArray choice = markedChoice(keyword);
    if (choice.isEmpty() || choice == value || choice == "Custom") {
        return {};
    }
    return prefix + keyword + ": " + choice + ending;
}

QByteArray PpdSettingsPrivate::markedChoice(const QByteArray &keyword) const
{
    // libcups reads a keyword up to its first NUL byte: such a line names no option of its own.
    if (keyword.isEmpty() || keyword.contains('\0')) {
        return {};
    }
    ppd_choice_t *choice = nullptr;
    bool pageSizeFamily = false;
    for (const QString &name : PageSizeFamily) {
        pageSizeFamily = pageSizeFamily || keyword == name.toLatin1();
    }
    if (pageSizeFamily) {
        // The four describe one paper: all follow the marked page size.
        choice = ppdFindMarkedChoice(ppd.get(), "PageSize");
        if (!choice) {
            choice = ppdFindMarkedChoice(ppd.get(), "PageRegion");
        }
    } else {
        choice = ppdFindMarkedChoice(ppd.get(), keyword.constData());
    }
    return choice ? QByteArray(choice->choice) : QByteArray();
}

bool PpdSettingsPrivate::mark(const char *keyword, const QByteArray &choice)
{
    ppdMarkOption(ppd.get(), keyword, choice.constData());
    for (int i = 0; i < q->topLevelItemCount(); ++i) {
        auto *row = static_cast<PpdOptionItem *>(q->topLevelItem(i));
        auto *combo = qobject_cast<QComboBox *>(q->itemWidget(row, 1));
        if (combo && qstrcmp(row->option->keyword, keyword) == 0) {
            const QSignalBlocker blocker(combo);
            combo->setCurrentIndex(combo->findData(QString::fromLocal8Bit(choice)));
        }
    }
    return true;
}

PpdSettings::PpdSettings(QWidget *parent)
    : QTreeWidget(parent)
    , d(new PpdSettingsPrivate(this))
{
    setObjectName(QStringLiteral("PpdSettings"));
    setColumnCount(2);
    setHeaderLabels({translated("Option"), translated("Value")});
    setRootIsDecorated(false);
    header()->setStretchLastSection(false);
}

PpdSettings::~PpdSettings()
{
    d->close();
}

bool PpdSettings::load(const QString &ppdFile)
{
    d->close();
    d->ppd.reset(ppdOpenFile(ppdFile.toLatin1().constData()));
    if (!d->ppd) {
        qCWarning(CUPS_WIDGETS, "No PPD for %s was found", qPrintable(ppdFile));
        ::unlink(ppdFile.toLocal8Bit().constData());
        return false;
    }
    d->fileName = ppdFile;
    ppdLocalize(d->ppd.get());
    ppdMarkDefaults(d->ppd.get());

    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < d->ppd->num_groups; ++i) {
        d->addRows(&d->ppd->groups[i], rows);
    }
    addTopLevelItems(rows);
    for (QTreeWidgetItem *row : qAsConst(rows)) {
        d->installEditor(static_cast<PpdOptionItem *>(row));
    }
    expandAll();
    resizeColumnToContents(0);
    resizeColumnToContents(1);
    return true;
}

QString PpdSettings::save()
{
    if (!d->ppd) {
        return QString();
    }
    char tempName[1024];
    CupsFilePtr temp(cupsTempFile2(tempName, sizeof(tempName)));
    if (!temp) {
        qCWarning(CUPS_WIDGETS, "PpdSettings: Unable to create temporary file");
        return QString();
    }
    CupsFilePtr in(cupsFileOpen(d->fileName.toLocal8Bit().constData(), "r"));
    if (!in) {
        qCWarning(CUPS_WIDGETS, "PpdSettings: Unable to open PPD file \"%s\" - %s", qPrintable(d->fileName), strerror(errno));
        temp.reset();
        ::unlink(tempName);
        return QString();
    }

    bool changed = false;
    const auto copy = [&](const QByteArray &line) {
        const QByteArray rewritten = d->rewrittenDefault(line);
        const QByteArray &out = rewritten.isEmpty() ? line : rewritten;
        changed = changed || !rewritten.isEmpty();
        cupsFileWrite(temp.get(), out.constData(), size_t(out.size()));
    };
    // Lines as bytes, whatever they hold (a NUL byte too): every line but a changed default goes out as it came.
    QByteArray line;
    char buffer[4096];
    size_t bytes = 0;
    while ((bytes = cupsFileGetLine(in.get(), buffer, sizeof(buffer))) > 0) {
        line.append(buffer, int(bytes));
        if (line.endsWith('\n') || line.endsWith('\r')) {
            copy(line);
            line.clear();
        }
    }
    if (!line.isEmpty()) {
        copy(line); // the last line, without an ending
    }
    in.reset();
    temp.reset();
    if (!changed) {
        ::unlink(tempName);
        return QString();
    }
    return QString::fromLocal8Bit(tempName);
}

bool PpdSettings::selectMedia(const QString &pwgMedia)
{
    if (!d->ppd) {
        return false;
    }
    pwg_media_t *media = pwgMediaForPWG(pwgMedia.toLatin1().constData());
    if (!media) {
        return false;
    }
    // By the PPD's own name for the paper, else by its dimensions (within a point).
    QByteArray choice;
    if (media->ppd && ppdFindChoice(ppdFindOption(d->ppd.get(), "PageSize"), media->ppd)) {
        choice = media->ppd;
    }
    for (int i = 0; choice.isEmpty() && i < d->ppd->num_sizes; ++i) {
        const ppd_size_t &size = d->ppd->sizes[i];
        if (qAbs(size.width - PWG_TO_POINTS(media->width)) < 1 && qAbs(size.length - PWG_TO_POINTS(media->length)) < 1) {
            choice = size.name;
        }
    }
    if (choice.isEmpty()) {
        return false;
    }
    return d->mark("PageSize", choice);
}

bool PpdSettings::selectSides(const QString &sides)
{
    const QByteArray choice = duplexChoices().value(sides);
    if (!d->ppd || choice.isEmpty() || !ppdFindChoice(ppdFindOption(d->ppd.get(), "Duplex"), choice.constData())) {
        return false;
    }
    return d->mark("Duplex", choice);
}

void PpdSettings::commit(const QString &uploadedFile)
{
    if (uploadedFile.isEmpty()) {
        return;
    }
    // The open PPD already carries these choices; only the copy they are judged against changes.
    QFile uploaded(uploadedFile);
    QSaveFile copy(d->fileName);
    const bool kept = d->ppd && uploaded.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly) && copy.write(uploaded.readAll()) == uploaded.size()
        && copy.commit();
    if (!kept) {
        qCWarning(CUPS_WIDGETS) << "PpdSettings: could not keep" << uploadedFile << "as" << d->fileName;
    }
    uploaded.remove();
}
} // namespace CUPS
