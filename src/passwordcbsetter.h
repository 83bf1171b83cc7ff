#ifndef CUPS_PASSWORDCBSETTER_H
#define CUPS_PASSWORDCBSETTER_H

#include "norvikprintwidgets_export.h"

#include <cups/cups.h>

namespace CUPS
{
/**
 * The libcups password callback of the whole process, installed when the
 * host creates its application object. It asks in a dialog, in the GUI
 * thread whichever thread the request runs in, and lets the user switch
 * the CUPS user. A worker thread told to stop (QThread::requestInterruption())
 * while it waits gets no password at once and the dialog closes, so an owner
 * may stop and wait for its worker even from within that dialog's event loop.
 */
NORVIKPRINTWIDGETS_EXPORT const char *passwordCallback(const char *prompt, http_t *http, const char *method, const char *resource, void *userData);
} // namespace CUPS

#endif
