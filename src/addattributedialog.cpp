#include "addattributedialog.h"

#include "dialogbuttons.h"

#include <translation.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace CUPS
{
namespace
{
// IPP attribute names: lower-case letters, digits, hyphens (and commas, as
// the name field has always allowed).
const QRegularExpression &attributeNamePattern()
{
    static const QRegularExpression pattern(QStringLiteral("[a-z,0-9,-]+"));
    return pattern;
}
} // namespace

class AddAttributeDialogPrivate
{
public:
    void setupUi(QDialog *dialog);
    void updateOkButton();

    QFormLayout *formLayout = nullptr;
    QLabel *label = nullptr;
    QLineEdit *attributeLineEdit = nullptr;
    QLabel *label_2 = nullptr;
    QLineEdit *valueLineEdit = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
};

void AddAttributeDialogPrivate::setupUi(QDialog *dialog)
{
    dialog->setObjectName(QStringLiteral("AddAttributeDialog"));
    dialog->resize(357, 125);
    dialog->setWindowTitle(translated("Add Attribute"));

    formLayout = new QFormLayout(dialog);
    formLayout->setObjectName(QStringLiteral("formLayout"));

    label = new QLabel(translated("Attribute:"), dialog);
    label->setObjectName(QStringLiteral("label"));
    attributeLineEdit = new QLineEdit(dialog);
    attributeLineEdit->setObjectName(QStringLiteral("attributeLineEdit"));
    formLayout->addRow(label, attributeLineEdit);

    label_2 = new QLabel(translated("Value:"), dialog);
    label_2->setObjectName(QStringLiteral("label_2"));
    valueLineEdit = new QLineEdit(dialog);
    valueLineEdit->setObjectName(QStringLiteral("valueLineEdit"));
    formLayout->addRow(label_2, valueLineEdit);

    buttonBox = createButtonBox(dialog, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    formLayout->addRow(buttonBox);
}

void AddAttributeDialogPrivate::updateOkButton()
{
    const bool complete = attributeLineEdit->hasAcceptableInput() && !valueLineEdit->text().isEmpty();
    buttonBox->button(QDialogButtonBox::Ok)->setEnabled(complete);
}

AddAttributeDialog::AddAttributeDialog(QWidget *parent)
    : QDialog(parent)
    , d(new AddAttributeDialogPrivate)
{
    d->setupUi(this);
    d->attributeLineEdit->setValidator(new QRegularExpressionValidator(attributeNamePattern(), d->attributeLineEdit));
    d->updateOkButton();
    for (QLineEdit *edit : {d->attributeLineEdit, d->valueLineEdit}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            d->updateOkButton();
        });
    }
}

AddAttributeDialog::~AddAttributeDialog() = default;

QString AddAttributeDialog::attribute() const
{
    return d->attributeLineEdit->text();
}

QString AddAttributeDialog::value() const
{
    return d->valueLineEdit->text();
}

QWidget *AttributeNameDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(parent)
    Q_UNUSED(option)
    Q_UNUSED(index)
    return nullptr;
}
} // namespace CUPS
