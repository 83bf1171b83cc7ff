#ifndef CUPS_MACATTRIBUTESDIALOG_H
#define CUPS_MACATTRIBUTESDIALOG_H

#include "norvikprintwidgets_export.h"

#include <QDialog>
#include <QFrame>
#include <QHash>
#include <QString>
#include <QWidget>

#include <memory>

namespace CUPS
{
class MacAttributesDialogPrivate;
class DistributionEditWidgetPrivate;
class BusyWidgetPrivate;

/**
 * Fills in the mandatory attributes of a held job and then stores them on
 * the job or marks its document, as the user's permissions allow. Construct
 * one dialog per job and call exec(jobId): it locks the job, asks, acts and
 * reports, all in one call.
 */
class NORVIKPRINTWIDGETS_EXPORT MacAttributesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MacAttributesDialog(QWidget *parent = nullptr);
    ~MacAttributesDialog() override;

    /// Runs the whole interaction for the job; a negative ID does nothing.
    void exec(int jobId);
    /// The attribute values to send, hidden ones included, and the marker font.
    QHash<QString, QString> attributes() const;
    /// The pages to print as typed ("1-5,8"), or empty for all.
    QString pageRanges() const;

private:
    friend class MacAttributesDialogPrivate;
    std::unique_ptr<MacAttributesDialogPrivate> const d;
};

/// One address of a distribution list, with a button that asks for a further address row.
class NORVIKPRINTWIDGETS_EXPORT DistributionEditWidget : public QWidget
{
    Q_OBJECT

public:
    explicit DistributionEditWidget(QWidget *parent = nullptr);
    explicit DistributionEditWidget(const QString &text, QWidget *parent = nullptr);
    ~DistributionEditWidget() override;

    QString text() const;
    bool isReadOnly() const;
    void setReadOnly(bool readOnly);
    /// Allows or forbids adding rows; the button is also off while read-only or empty.
    void setAddButtonEnabled(bool enabled);

Q_SIGNALS:
    /// The user changed the text (not emitted by setText()).
    void textEdited(const QString &text);
    /// The add button was clicked.
    void clicked();

public Q_SLOTS:
    void setText(const QString &text);

private:
    std::unique_ptr<DistributionEditWidgetPrivate> const d;
};

/// A modal busy indicator with a text, shown while the GUI waits for longer
/// work; its top-left corner starts at the parent's centre.
class NORVIKPRINTWIDGETS_EXPORT BusyWidget : public QFrame
{
    Q_OBJECT

public:
    explicit BusyWidget(const QString &text, QWidget *parent = nullptr);
    ~BusyWidget() override;

private:
    std::unique_ptr<BusyWidgetPrivate> const d;
};
} // namespace CUPS

#endif
