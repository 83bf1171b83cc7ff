#include "columneditor.h"

#include "dialogbuttons.h"

#include <translation.h>
#include <utils.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QVBoxLayout>

namespace CUPS
{
namespace
{
struct ColumnEditorUi {
    QVBoxLayout *verticalLayout = nullptr;
    QFormLayout *formLayout = nullptr;
    QLabel *label_2 = nullptr;
    QComboBox *titleComboBox = nullptr;
    QLabel *label = nullptr;
    QComboBox *attributeComboBox = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog)
    {
        dialog->setObjectName(QStringLiteral("ColumnEditor"));
        dialog->resize(382, 124);
        dialog->setWindowTitle(translated("Edit Column"));

        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        formLayout = new QFormLayout;
        formLayout->setObjectName(QStringLiteral("formLayout"));
        verticalLayout->addLayout(formLayout);

        label_2 = new QLabel(translated("Title:"), dialog);
        label_2->setObjectName(QStringLiteral("label_2"));
        titleComboBox = editableComboBox(dialog, QStringLiteral("titleComboBox"));
        formLayout->addRow(label_2, titleComboBox);

        label = new QLabel(translated("Attribute:"), dialog);
        label->setObjectName(QStringLiteral("label"));
        attributeComboBox = editableComboBox(dialog, QStringLiteral("attributeComboBox"));
        formLayout->addRow(label, attributeComboBox);

        buttonBox = createButtonBox(dialog, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        verticalLayout->addWidget(buttonBox);
    }

    static QComboBox *editableComboBox(QWidget *parent, const QString &name)
    {
        auto *box = new QComboBox(parent);
        box->setObjectName(name);
        box->setEditable(true);
        // Typed text must not become an item of one list only: the lists are parallel.
        box->setInsertPolicy(QComboBox::NoInsert);
        return box;
    }
};
} // namespace

class ColumnEditorPrivate
{
public:
    explicit ColumnEditorPrivate(ColumnEditor *q)
        : q(q)
    {
    }

    void updateOkButton();
    void attributeChosen(int index);
    void titleChosen(int index);

    ColumnEditor *const q;
    ColumnEditorUi ui;
    QMap<QString, QString> attributeNames;
};

void ColumnEditorPrivate::updateOkButton()
{
    const bool complete = !ui.attributeComboBox->currentText().isEmpty() && !ui.titleComboBox->currentText().isEmpty();
    ui.buttonBox->button(QDialogButtonBox::Ok)->setEnabled(complete);
}

void ColumnEditorPrivate::attributeChosen(int index)
{
    if (index < 0) {
        return;
    }
    const auto it = attributeNames.constFind(ui.attributeComboBox->itemText(index));
    if (it != attributeNames.cend()) {
        ui.titleComboBox->setEditText(*it);
    }
}

void ColumnEditorPrivate::titleChosen(int index)
{
    if (index < 0) {
        return;
    }
    const QString title = ui.titleComboBox->itemText(index);
    for (auto it = attributeNames.cbegin(); it != attributeNames.cend(); ++it) {
        if (it.value() == title) {
            ui.attributeComboBox->setEditText(it.key());
            return;
        }
    }
}

ColumnEditor::ColumnEditor(const QSet<QString> &excluded, QWidget *parent)
    : QDialog(parent)
    , d(new ColumnEditorPrivate(this))
{
    d->ui.setupUi(this);
    for (const auto &pair : Utils::attributeNames()) {
        d->attributeNames.insert(pair.first, pair.second);
    }
    for (auto it = d->attributeNames.cbegin(); it != d->attributeNames.cend(); ++it) {
        if (!excluded.contains(it.key())) {
            d->ui.titleComboBox->addItem(it.value());
            d->ui.attributeComboBox->addItem(it.key());
        }
    }
    for (QComboBox *box : {d->ui.titleComboBox, d->ui.attributeComboBox}) {
        box->setCurrentIndex(-1);
        box->clearEditText();
        connect(box, &QComboBox::editTextChanged, this, [this] {
            d->updateOkButton();
        });
    }
    d->updateOkButton();

    // activated also covers choosing again the item that is still current
    // after the other field was changed.
    for (auto signal : {QOverload<int>::of(&QComboBox::currentIndexChanged), QOverload<int>::of(&QComboBox::activated)}) {
        connect(d->ui.attributeComboBox, signal, this, [this](int index) {
            d->attributeChosen(index);
        });
        connect(d->ui.titleComboBox, signal, this, [this](int index) {
            d->titleChosen(index);
        });
    }
}

ColumnEditor::~ColumnEditor() = default;

void ColumnEditor::setAttribute(const QString &attribute)
{
    d->ui.attributeComboBox->setEditText(attribute);
}

void ColumnEditor::setTitle(const QString &title)
{
    d->ui.titleComboBox->setEditText(title);
}

QString ColumnEditor::attribute() const
{
    return d->ui.attributeComboBox->currentText();
}

QString ColumnEditor::title() const
{
    return d->ui.titleComboBox->currentText();
}
} // namespace CUPS
