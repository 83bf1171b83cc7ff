#ifndef CUPS_IPPMESSAGE_H
#define CUPS_IPPMESSAGE_H

#include "ipprequest.h"

#include <QByteArray>

// How the bytes of an answer become a message. Internal to the core library.
namespace CUPS
{
/// The IPP message that bytes hold, read by libcups as a whole answer;
/// null when they hold none (cut short, or not IPP at all).
IppPtr readIppMessage(const QByteArray &bytes);
} // namespace CUPS

#endif
