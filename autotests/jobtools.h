#ifndef JOBTOOLS_H
#define JOBTOOLS_H

#include "cupssandbox.h"

#include <QDebug>
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

/// One attribute of a job as ipptool shows it (enums as keywords); empty when the server does not know the job.
inline QString attribute(const CupsSandbox &sandbox, int jobId, const QString &name)
{
    QTemporaryFile file;
    const QString test = QStringLiteral(
        "{\n OPERATION Get-Job-Attributes\n GROUP operation-attributes-tag\n"
        " ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n"
        " ATTR uri job-uri $uri\n ATTR name requesting-user-name root\n"
        " ATTR keyword requested-attributes %1\n STATUS successful-ok\n DISPLAY %1\n}\n").arg(name);
    QString output;
    const QString uri = QStringLiteral("ipp://%1/jobs/%2").arg(sandbox.server()).arg(jobId);
    if (!file.open() || file.write(test.toUtf8()) < 0 || !file.flush()
        || !sandbox.run(QStringLiteral("ipptool"), {QStringLiteral("-c"), uri, file.fileName()}, &output)) {
        return {};
    }
    // CSV: the attribute's name, then its value, quoted when it holds a comma.
    QString value = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(1);
    if (value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) {
        value = value.mid(1, value.size() - 2);
    }
    return value;
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
