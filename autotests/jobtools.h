#ifndef JOBTOOLS_H
#define JOBTOOLS_H

#include "cupssandbox.h"

#include <QDebug>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryFile>
#include <QTest>

/// Jobs made and read with CUPS's own clients (lp, ipptool): the server's truth, not the code under test's.
namespace JobTools
{
/// Submits the standard test page with lp; the job id, or 0 on failure.
inline int submit(const CupsSandbox &sandbox, const QString &printer, const QString &title, const QStringList &options = {})
{
    QString output;
    const QStringList arguments = QStringList{QStringLiteral("-d"), printer, QStringLiteral("-t"), title} + options
        + QStringList{QStringLiteral("/usr/share/cups/data/testprint")};
    if (!sandbox.run(QStringLiteral("lp"), arguments, &output)) {
        qWarning() << "lp failed:" << output;
        return 0;
    }
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("request id is \\S+-(\\d+)")).match(output);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

inline int submitHeld(const CupsSandbox &sandbox, const QString &printer, const QString &title = QStringLiteral("held"))
{
    return submit(sandbox, printer, title, {QStringLiteral("-H"), QStringLiteral("hold")});
}

/// Splits one line of ipptool's CSV output.
inline QStringList splitCsv(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            fields.append(field);
            field.clear();
        } else {
            field.append(c);
        }
    }
    fields.append(field);
    return fields;
}

/// The named attributes of a job as ipptool shows them (enums as keywords);
/// empty when the server does not know the job.
inline QHash<QString, QString> attributes(const CupsSandbox &sandbox, int jobId, const QStringList &names)
{
    QTemporaryFile file;
    QString test = QStringLiteral(
        "{\n OPERATION Get-Job-Attributes\n GROUP operation-attributes-tag\n"
        " ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n"
        " ATTR uri job-uri $uri\n ATTR name requesting-user-name root\n"
        " ATTR keyword requested-attributes %1\n STATUS successful-ok\n");
    test = test.arg(names.join(QLatin1Char(',')));
    for (const QString &name : names) {
        test += QStringLiteral(" DISPLAY %1\n").arg(name);
    }
    test += QStringLiteral("}\n");
    QString output;
    const QString uri = QStringLiteral("ipp://%1/jobs/%2").arg(sandbox.server()).arg(jobId);
    if (!file.open() || file.write(test.toUtf8()) < 0 || !file.flush()
        || !sandbox.run(QStringLiteral("ipptool"), {QStringLiteral("-c"), uri, file.fileName()}, &output)) {
        return {};
    }
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() < 2) {
        return {};
    }
    const QStringList header = splitCsv(lines.at(0));
    const QStringList values = splitCsv(lines.at(1));
    QHash<QString, QString> result;
    for (int i = 0; i < header.size(); ++i) {
        result.insert(header.at(i), values.value(i));
    }
    return result;
}

inline QString attribute(const CupsSandbox &sandbox, int jobId, const QString &name)
{
    return attributes(sandbox, jobId, {name}).value(name);
}

/// The job's state keyword ("pending", "pending-held", "canceled" ...); empty when it is gone.
inline QString state(const CupsSandbox &sandbox, int jobId)
{
    return attribute(sandbox, jobId, QStringLiteral("job-state"));
}

/// Polls until the job reaches the state, for at most ten seconds.
inline bool waitForState(const CupsSandbox &sandbox, int jobId, const QString &wanted)
{
    return QTest::qWaitFor([&] { return state(sandbox, jobId) == wanted; }, 10000);
}
} // namespace JobTools

#endif
