#include "macconfig.h"
#include "telmarmac.h"
#include "telmarmaclogging.h"

#include <KLazyLocalizedString>
#include <KLocalizedString>

#include <QFile>
#include <QSet>

#include <optional>

namespace TelmarQt5
{
namespace MacConfig
{
namespace
{
const char s_systemFile[] = "/etc/telmar/mac.conf";

// Translated when shown, so a language switch reaches the next rebuild.
struct Builtin {
    quint64 value;
    KLazyLocalizedString name;
};

const Builtin s_builtinLevels[] = {
    {0, kli18n("Unclassified")},
    {1, kli18n("Confidential")},
    {2, kli18n("Secret")},
    {3, kli18n("Top secret")},
};

const Builtin s_builtinIntegrity[] = {
    {0, kli18n("Low")},
    {1, kli18n("Medium")},
    {2, kli18n("High")},
};

const Builtin s_builtinCategories[] = {
    {0, kli18n("Category 0")},
    {1, kli18n("Category 1")},
    {2, kli18n("Category 2")},
    {3, kli18n("Category 3")},
    {4, kli18n("Category 4")},
    {5, kli18n("Category 5")},
    {6, kli18n("Category 6")},
    {7, kli18n("Category 7")},
};

quint64 highest(Kind kind)
{
    switch (kind) {
    case Kind::Level:
        return 0xFF;
    case Kind::Integrity:
        return 0xFFFFFFFF;
    case Kind::Category:
        return 63;
    }
    return 0;
}

struct FileContents {
    bool enabled = false;
    QMap<Kind, QMap<quint64, QString>> sections;
};

std::optional<bool> parseSwitch(const QString &text)
{
    const QString word = text.toLower();
    if (word == QLatin1String("yes") || word == QLatin1String("true") || word == QLatin1String("on") || word == QLatin1String("1")) {
        return true;
    }
    if (word == QLatin1String("no") || word == QLatin1String("false") || word == QLatin1String("off") || word == QLatin1String("0")) {
        return false;
    }
    return std::nullopt;
}

std::optional<Kind> sectionKind(const QString &name)
{
    if (name == QLatin1String("levels")) {
        return Kind::Level;
    }
    if (name == QLatin1String("integrity")) {
        return Kind::Integrity;
    }
    if (name == QLatin1String("categories")) {
        return Kind::Category;
    }
    return std::nullopt;
}

// Plain digits only: a sign, a space or a leading zero is more likely a
// typo than a number, and a name must not land on the wrong value.
std::optional<quint64> parseValue(const QString &text, quint64 limit)
{
    if (text.isEmpty() || text.size() > 10 || (text.size() > 1 && text.startsWith(QLatin1Char('0')))) {
        return std::nullopt;
    }
    quint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<quint64>(c.unicode() - '0');
    }
    if (value > limit) {
        return std::nullopt;
    }
    return value;
}

// Returns nothing when a line breaks the format: half a file is no safer
// a basis for a security setting than none.
std::optional<FileContents> parse(const QByteArray &data, const QString &path)
{
    FileContents contents;
    std::optional<Kind> section;
    bool enabledSeen = false;
    const QList<QByteArray> lines = data.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const QString line = QString::fromUtf8(lines.at(index)).trimmed();
        const auto malformed = [&]() {
            qCWarning(TELMAR_MAC) << "Ignoring malformed MAC configuration" << path << "at line" << index + 1 << ":" << line;
            return std::nullopt;
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = sectionKind(line.mid(1, line.size() - 2).trimmed());
            if (!section || contents.sections.contains(*section)) {
                return malformed();
            }
            contents.sections.insert(*section, {});
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            return malformed();
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (!section) {
            const std::optional<bool> enabled = parseSwitch(value);
            if (key != QLatin1String("enabled") || !enabled || enabledSeen) {
                return malformed();
            }
            contents.enabled = *enabled;
            enabledSeen = true;
            continue;
        }
        QMap<quint64, QString> &names = contents.sections[*section];
        const std::optional<quint64> number = parseValue(key, highest(*section));
        if (!number || value.isEmpty() || names.contains(*number)) {
            return malformed();
        }
        names.insert(*number, value);
    }
    return contents;
}

std::optional<FileContents> readFile()
{
    const QString path = filePath();
    QFile file(path);
    if (!file.exists()) {
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(TELMAR_MAC) << "Cannot read MAC configuration" << path << ":" << file.errorString();
        return std::nullopt;
    }
    return parse(file.readAll(), path);
}

QMap<quint64, QString> builtinNames(Kind kind)
{
    QMap<quint64, QString> names;
    const auto add = [&names](const auto &table) {
        for (const Builtin &entry : table) {
            names.insert(entry.value, KLocalizedString(entry.name).toString());
        }
    };
    switch (kind) {
    case Kind::Level:
        add(s_builtinLevels);
        break;
    case Kind::Integrity:
        add(s_builtinIntegrity);
        break;
    case Kind::Category:
        add(s_builtinCategories);
        break;
    }
    return names;
}
} // namespace

QString filePath()
{
    const QString fromEnvironment = qEnvironmentVariable("TELMAR_MAC_CONFIG");
    return fromEnvironment.isEmpty() ? QString::fromLatin1(s_systemFile) : fromEnvironment;
}

bool fileEnablesMac()
{
    const std::optional<FileContents> contents = readFile();
    return contents && contents->enabled;
}

QMap<quint64, QString> names(Kind kind)
{
    const std::optional<FileContents> contents = readFile();
    if (contents && contents->sections.contains(kind)) {
        return contents->sections.value(kind);
    }
    return builtinNames(kind);
}

QString unnamed(Kind kind, quint64 value)
{
    switch (kind) {
    case Kind::Level:
        return i18nd(TRANSLATION_DOMAIN, "Level %1", QString::number(value));
    case Kind::Integrity:
        return i18nd(TRANSLATION_DOMAIN, "Integrity level %1", QString::number(value));
    case Kind::Category:
        return i18nd(TRANSLATION_DOMAIN, "Category %1", QString::number(value));
    }
    return QString::number(value);
}
} // namespace MacConfig
} // namespace TelmarQt5

bool telmar_mac_enabled()
{
    const QByteArray override = qgetenv("TELMAR_MAC_ENABLED");
    if (!override.isEmpty()) {
        const std::optional<bool> enabled = TelmarQt5::MacConfig::parseSwitch(QString::fromLatin1(override));
        if (!enabled) {
            qCWarning(TELMAR_MAC) << "TELMAR_MAC_ENABLED is neither on nor off, taking it as off:" << override;
        }
        return enabled.value_or(false);
    }
    return TelmarQt5::MacConfig::fileEnablesMac();
}
