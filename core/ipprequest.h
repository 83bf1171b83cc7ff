#ifndef CUPS_IPPREQUEST_H
#define CUPS_IPPREQUEST_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cups/cups.h>

#include <memory>

namespace CUPS
{
class Connection;

struct IppDeleter {
    void operator()(ipp_t *ipp) const
    {
        ippDelete(ipp);
    }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

using AttributeHash = QHash<QString, QVariant>;

/// One value of an IPP attribute.
class NORVIKPRINTCORE_EXPORT IppValue
{
public:
    IppValue(ipp_attribute_t *attribute, int index);

    /// The value as text: numbers in decimal, ranges "a-b", resolutions "XxYdpi".
    QString toString() const;
    /// The value as the closest Qt type (int, bool, QString, QDateTime, QByteArray, QVariantHash).
    QVariant toVariant() const;

private:
    ipp_attribute_t *const m_attribute;
    const int m_index;
};

/// An IPP message owned by this object; the base of requests and responses.
class NORVIKPRINTCORE_EXPORT IppBase
{
public:
    explicit IppBase(ipp_t *ipp = nullptr);
    IppBase(IppBase &&) noexcept = default;
    IppBase &operator=(IppBase &&) noexcept = default;
    virtual ~IppBase();

    ipp_t *handle() const;
    bool isNull() const;

    void addAttribute(ipp_tag_t group, ipp_tag_t valueTag, const char *name, const QString &value);
    void addAttribute(ipp_tag_t group, ipp_tag_t valueTag, const char *name, const QStringList &values);
    void addAttribute(ipp_tag_t group, ipp_tag_t valueTag, const char *name, int value);
    void addAttribute(ipp_tag_t group, const char *name, bool value);

    void addPrinterAttribute(const char *name, const QString &value, ipp_tag_t valueTag = IPP_TAG_TEXT);
    void addPrinterAttribute(const char *name, const QStringList &values, ipp_tag_t valueTag = IPP_TAG_NAME);
    void addPrinterAttribute(const char *name, int value, ipp_tag_t valueTag = IPP_TAG_INTEGER);
    void addPrinterAttribute(const char *name, bool value);
    /// Asks the server to remove the attribute (a delete-attribute value).
    void deletePrinterAttribute(const char *name);

    /// Every attribute of the message (first group wins on repeated names), each as a value list.
    AttributeHash attributes() const;
    /// One hash per group of that tag, in message order (printers, jobs, devices, PPDs ...).
    QList<AttributeHash> attributeGroups(ipp_tag_t group) const;

    /// The values of one attribute as a list, as every attribute hash holds them.
    static QVariantList values(ipp_attribute_t *attribute);

protected:
    IppPtr m_ipp;
};

class NORVIKPRINTCORE_EXPORT IppResponse : public IppBase
{
public:
    explicit IppResponse(ipp_t *ipp = nullptr, ipp_status_t status = IPP_STATUS_ERROR_INTERNAL);

    /// The IPP status of the answer; an error status when there was no answer at all.
    ipp_status_t statusCode() const;
    /// True for a successful answer (status below client-error).
    bool isOk() const;

private:
    ipp_status_t m_status;
};

class NORVIKPRINTCORE_EXPORT IppRequest : public IppBase
{
public:
    /// A new request for op, sent as Connection's current user.
    explicit IppRequest(ipp_op_e op);

    /// Sends the request to resource ("/", "/admin/", "/printers/NAME" ...).
    /// libcups consumes the message: the request is null afterwards.
    /// The outcome is recorded in Connection::lastError().
    IppResponse doRequest(Connection *connection, const QString &resource);
    /// Largest answer read, 128 MiB by default (0 restores it); a larger one fails the request (tests).
    static void setAnswerSizeLimit(qint64 bytes);
    /// The same with a file (a document or a PPD) attached.
    IppResponse doFileRequest(Connection *connection, const QString &resource, const QString &file);

private:
    IppResponse send(Connection *connection, const QString &resource, const QString &file);
};
} // namespace CUPS

#endif
