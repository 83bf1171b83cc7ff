#include "packagemanager.h"

#include "veskadminpackagelogging.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <optional>

namespace VeskAdmin
{
namespace
{
const QString DefaultStatusFile = QStringLiteral("/var/lib/dpkg/status");

QString &statusFile()
{
    static QString path = DefaultStatusFile;
    return path;
}

struct PackageName {
    QString name;
    QString architecture; // empty: any
};

// Debian policy names only (lower-case letters, digits, "+", "-", ".", at least two,
// alphanumeric first), optionally with ":arch"; nothing else reaches a file or command line.
std::optional<PackageName> parsePackage(const QString &package)
{
    static const QRegularExpression valid(QStringLiteral("\\A([a-z0-9][a-z0-9+.-]+)(?::([a-z0-9][a-z0-9-]*))?\\z"));
    const QRegularExpressionMatch match = valid.match(package);
    if (!match.hasMatch()) {
        qCWarning(VESKADMIN_PACKAGE) << "Not a Debian package name:" << package;
        return std::nullopt;
    }
    return PackageName{match.captured(1), match.captured(2)};
}

// The two state letters "dpkg -l" shows for a "Status:" value ("install ok installed" -> "ii").
QString stateLetters(const QString &status)
{
    static const QHash<QString, QChar> wanted = {{QStringLiteral("install"), QLatin1Char('i')},
                                                 {QStringLiteral("hold"), QLatin1Char('h')},
                                                 {QStringLiteral("deinstall"), QLatin1Char('r')},
                                                 {QStringLiteral("purge"), QLatin1Char('p')},
                                                 {QStringLiteral("unknown"), QLatin1Char('u')}};
    static const QHash<QString, QChar> current = {{QStringLiteral("not-installed"), QLatin1Char('n')},
                                                  {QStringLiteral("config-files"), QLatin1Char('c')},
                                                  {QStringLiteral("half-installed"), QLatin1Char('H')},
                                                  {QStringLiteral("unpacked"), QLatin1Char('U')},
                                                  {QStringLiteral("half-configured"), QLatin1Char('F')},
                                                  {QStringLiteral("triggers-awaited"), QLatin1Char('W')},
                                                  {QStringLiteral("triggers-pending"), QLatin1Char('t')},
                                                  {QStringLiteral("installed"), QLatin1Char('i')}};
    const QStringList words = status.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 3 || !wanted.contains(words.at(0)) || !current.contains(words.at(2))) {
        return QString();
    }
    return QString(wanted.value(words.at(0))) + current.value(words.at(2));
}

// The state letters of every stanza of the package in the dpkg database (one per
// architecture it is installed for); nothing when the database cannot be read.
QStringList packageStates(const PackageName &package)
{
    QFile file(statusFile());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(VESKADMIN_PACKAGE) << "Cannot read the dpkg database" << file.fileName() << ":" << file.errorString();
        return {};
    }
    QStringList states;
    QString name, architecture, status;
    const auto endStanza = [&] {
        if (name == package.name && (package.architecture.isEmpty() || architecture == package.architecture)) {
            states.append(stateLetters(status));
        }
        name.clear();
        architecture.clear();
        status.clear();
    };
    while (!file.atEnd()) {
        const QString raw = QString::fromUtf8(file.readLine());
        // A continuation line belongs to the field above; it never starts a field.
        if (raw.startsWith(QLatin1Char(' ')) || raw.startsWith(QLatin1Char('\t'))) {
            continue;
        }
        const QString line = raw.trimmed();
        if (line.isEmpty()) {
            endStanza();
        } else if (line.startsWith(QLatin1String("Package:"))) {
            name = line.mid(8).trimmed();
        } else if (line.startsWith(QLatin1String("Architecture:"))) {
            architecture = line.mid(13).trimmed();
        } else if (line.startsWith(QLatin1String("Status:"))) {
            status = line.mid(7).trimmed();
        }
    }
    endStanza();
    return states;
}
} // namespace

bool PackageManager::isPackageInstalled(const QString &package, const QString &pattern)
{
    const std::optional<PackageName> parsed = parsePackage(package);
    if (!parsed) {
        return false;
    }
    const QRegularExpression expression(QString(pattern).replace(QLatin1String("%1"), QRegularExpression::escape(parsed->name)));
    if (!expression.isValid()) {
        qCWarning(VESKADMIN_PACKAGE) << "Invalid package pattern" << pattern << ":" << expression.errorString();
        return false;
    }
    const QStringList states = packageStates(*parsed);
    for (const QString &state : states) {
        if (!state.isEmpty() && expression.match(state + QLatin1Char(' ') + parsed->name).hasMatch()) {
            return true;
        }
    }
    return false;
}

bool PackageManager::runSynapticWithPackageSelected(const QString &package, bool wait)
{
    if (!parsePackage(package)) {
        return false;
    }
    // synaptic-pkexec asks for the administrator's password itself.
    QString program = QStandardPaths::findExecutable(QStringLiteral("synaptic-pkexec"));
    if (program.isEmpty()) {
        program = QStandardPaths::findExecutable(QStringLiteral("synaptic"));
    }
    if (program.isEmpty()) {
        qCWarning(VESKADMIN_PACKAGE) << "Neither synaptic-pkexec nor synaptic is installed";
        return false;
    }
    QTemporaryFile selections(QStringLiteral("%1/veskadmin-selections-XXXXXX").arg(QDir::tempPath()));
    if (!selections.open() || selections.write(QStringLiteral("%1 install\n").arg(package).toUtf8()) < 0 || !selections.flush()) {
        qCWarning(VESKADMIN_PACKAGE) << "Cannot write the package selection:" << selections.errorString();
        return false;
    }
    const QStringList arguments = {QStringLiteral("--set-selections-file"),
                                   selections.fileName(),
                                   QStringLiteral("--non-interactive"),
                                   QStringLiteral("--hide-main-window")};
    if (!wait) {
        if (!QProcess::startDetached(program, arguments)) {
            qCWarning(VESKADMIN_PACKAGE) << "Cannot start" << program;
            return false;
        }
        // The detached program may read the file only after a password prompt, so it stays.
        selections.setAutoRemove(false);
        return true;
    }
    QProcess process;
    process.start(program, arguments);
    // The user works in the package manager for as long as it takes.
    if (!process.waitForStarted() || !process.waitForFinished(-1)) {
        qCWarning(VESKADMIN_PACKAGE) << "Cannot run" << program << ":" << process.errorString();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void PackageManager::setStatusFile(const QString &path)
{
    statusFile() = path.isEmpty() ? DefaultStatusFile : path;
}
} // namespace VeskAdmin
