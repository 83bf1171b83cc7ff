#include "jobauthdialog.h"

#include "dialogbuttons.h"

#include <translation.h>

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace CUPS
{
namespace
{
const QString DomainKey = QStringLiteral("domain");
const QString UserKey = QStringLiteral("username");
const QString PasswordKey = QStringLiteral("password");
} // namespace

struct JobAuthDialogUi {
    QVBoxLayout *verticalLayout = nullptr;
    QFormLayout *formLayout = nullptr;
    QLabel *domainLabel = nullptr;
    QLineEdit *domainLineEdit = nullptr;
    QLabel *userLabel = nullptr;
    QLineEdit *userLineEdit = nullptr;
    QLabel *passwordLabel = nullptr;
    QLineEdit *passwordLineEdit = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog)
    {
        dialog->setObjectName(QStringLiteral("JobAuthDialog"));
        dialog->resize(387, 158);
        dialog->setWindowTitle(translated("Job Authentication"));

        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        formLayout = new QFormLayout;
        formLayout->setObjectName(QStringLiteral("formLayout"));
        verticalLayout->addLayout(formLayout);

        domainLabel = label(dialog, QStringLiteral("domainLabel"), translated("Domain:"));
        domainLineEdit = lineEdit(dialog, QStringLiteral("domainLineEdit"));
        formLayout->addRow(domainLabel, domainLineEdit);
        userLabel = label(dialog, QStringLiteral("userLabel"), translated("User:"));
        userLineEdit = lineEdit(dialog, QStringLiteral("userLineEdit"));
        formLayout->addRow(userLabel, userLineEdit);
        passwordLabel = label(dialog, QStringLiteral("passwordLabel"), translated("Password:"));
        passwordLineEdit = lineEdit(dialog, QStringLiteral("passwordLineEdit"));
        passwordLineEdit->setEchoMode(QLineEdit::Password);
        formLayout->addRow(passwordLabel, passwordLineEdit);

        buttonBox = createButtonBox(dialog, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        verticalLayout->addWidget(buttonBox);
    }

    static QLabel *label(QWidget *parent, const QString &name, const QString &text)
    {
        auto *label = new QLabel(text, parent);
        label->setObjectName(name);
        return label;
    }

    static QLineEdit *lineEdit(QWidget *parent, const QString &name)
    {
        auto *edit = new QLineEdit(parent);
        edit->setObjectName(name);
        return edit;
    }
};

JobAuthDialog::JobAuthDialog(const QStringList &authInfoRequired, QWidget *parent)
    : QDialog(parent)
    , ui(new JobAuthDialogUi)
    , authInfoRequired(authInfoRequired)
{
    ui->setupUi(this);
    const bool domain = authInfoRequired.contains(DomainKey);
    const bool user = authInfoRequired.contains(UserKey);
    const bool password = authInfoRequired.contains(PasswordKey);
    ui->domainLabel->setVisible(domain);
    ui->domainLineEdit->setVisible(domain);
    ui->userLabel->setVisible(user);
    ui->userLineEdit->setVisible(user);
    ui->passwordLabel->setVisible(password);
    ui->passwordLineEdit->setVisible(password);
}

JobAuthDialog::~JobAuthDialog()
{
    delete ui;
}

QStringList JobAuthDialog::authInfo() const
{
    QStringList info;
    if (authInfoRequired.contains(DomainKey)) {
        info << ui->domainLineEdit->text();
    }
    if (authInfoRequired.contains(UserKey)) {
        info << ui->userLineEdit->text();
    }
    if (authInfoRequired.contains(PasswordKey)) {
        info << ui->passwordLineEdit->text();
    }
    return info;
}

QStringList authInfoInServerOrder(const QStringList &required, const QStringList &dialogInfo)
{
    // cupsd pairs each value with the destination's own list by position.
    static const QStringList dialogOrder = {DomainKey, UserKey, PasswordKey};
    QHash<QString, QString> byName;
    int next = 0;
    for (const QString &name : dialogOrder) {
        if (required.contains(name) && next < dialogInfo.size()) {
            byName.insert(name, dialogInfo.at(next++));
        }
    }
    QStringList info;
    for (const QString &name : required) {
        if (byName.contains(name)) {
            info.append(byName.value(name));
        }
    }
    return info;
}
} // namespace CUPS
