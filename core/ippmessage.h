#ifndef CUPS_IPPMESSAGE_H
#define CUPS_IPPMESSAGE_H

#include "ipprequest.h"

#include <QByteArray>

// How the bytes of an answer arrive and become a message. Internal to the core library.
namespace CUPS
{
/// The IPP message that bytes hold, read by libcups as a whole answer;
/// null when they hold none (cut short, or not IPP at all).
IppPtr readIppMessage(const QByteArray &bytes);

/// Each read on http waits at most msecs, then gives up instead of waiting
/// for ever on a server that stopped answering.
void setReadTimeout(http_t *http, qint64 msecs);
} // namespace CUPS

#endif
