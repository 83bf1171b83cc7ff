#include "lpoptions.h"

#include "connection.h"
#include "utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

namespace CUPS::Lpoptions
{
namespace
{
// libcups writes the file below HOME for root as well.
QString userFile()
{
    return QDir::homePath() + QStringLiteral("/.cups/lpoptions");
}

QString systemFile()
{
    return Utils::serverRoot() + QStringLiteral("/lpoptions");
}

QStringList readLines(const QString &path)
{
    QStringList lines;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        in.setCodec("UTF-8");
        while (!in.atEnd()) {
            lines.append(in.readLine());
        }
    }
    return lines;
}

// A "Dest" or "Default" line: "Keyword name[/instance] [options...]".
struct DestLine {
    bool isDest = false;
    bool isDefault = false;
    QString rest; // everything after the keyword
    QString name; // without the instance

    explicit DestLine(const QString &line)
    {
        const QString trimmed = line.trimmed();
        const QString keyword = trimmed.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        isDefault = keyword.compare(QLatin1String("Default"), Qt::CaseInsensitive) == 0;
        isDest = isDefault || keyword.compare(QLatin1String("Dest"), Qt::CaseInsensitive) == 0;
        rest = trimmed.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
        name = rest.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('/'), 0, 0);
    }
};

QString defaultIn(const QString &path)
{
    QString found;
    for (const QString &line : readLines(path)) {
        const DestLine dest(line);
        if (dest.isDefault) {
            found = dest.name; // the last one wins, as in libcups
        }
    }
    return found;
}

// The lines with name alone as the "Default"; an instance of it stays a "Dest".
QStringList withDefault(const QStringList &lines, const QString &name)
{
    QStringList result;
    bool found = false;
    for (const QString &line : lines) {
        const DestLine dest(line);
        if (!dest.isDest) {
            result.append(line); // comments and anything unknown
            continue;
        }
        // CUPS compares destination names without regard to case; the line takes
        // the name as given, which is what the printer lists compare with.
        const QString destination = dest.rest.section(QLatin1Char(' '), 0, 0);
        const bool isTarget = destination.compare(name, Qt::CaseInsensitive) == 0;
        found = found || isTarget;
        const QString rest = isTarget ? name + dest.rest.mid(destination.size()) : dest.rest;
        const QString keyword = isTarget ? QStringLiteral("Default") : QStringLiteral("Dest");
        result.append(rest.isEmpty() ? keyword : keyword + QLatin1Char(' ') + rest);
    }
    if (!found) {
        result.append(QStringLiteral("Default ") + name);
    }
    return result;
}

bool fail(const QString &message)
{
    Connection::setLastError(IPP_STATUS_ERROR_INTERNAL, message);
    return false;
}
} // namespace

QString defaultDestination()
{
    const QString user = defaultIn(userFile());
    return user.isEmpty() ? defaultIn(systemFile()) : user;
}

bool setDefaultDestination(const QString &name)
{
    const QString path = userFile();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return fail(QStringLiteral("Unable to create %1").arg(folder));
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QStringList lines = withDefault(readLines(path), name);
    // Written aside and renamed, so a failure never leaves half a file.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&file);
        out.setCodec("UTF-8");
        for (const QString &line : lines) {
            out << line << '\n';
        }
        out.flush();
        if (file.commit()) {
            return true;
        }
    }
    return fail(QStringLiteral("Unable to write %1: %2").arg(path, file.errorString()));
}
} // namespace CUPS::Lpoptions
