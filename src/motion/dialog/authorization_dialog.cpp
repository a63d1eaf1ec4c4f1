#include "motion/dialog/authorization_dialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "motion/resources/string_table.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/ui_helpers.h"

namespace kv::motion {

AuthorizationDialog::AuthorizationDialog(QWidget* parent) : QDialog(parent)
{
    using kv::ui::DluRect;
    setFont(kv::ui::DialogFont());
    setModal(true);
    setFixedSize(kv::ui::DluSize(210, 120));
    setWindowTitle(QString::fromUtf8(dialog206::kCaption));

    auto label = [this](const char* text, QRect where) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        // Template lines are as tall as the template font's; the installed face may need
        // a little more.
        where.setHeight(std::max(where.height(), QFontMetrics(font()).height()));
        l->setGeometry(where);
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    label(dialog206::kPrompt, DluRect(10, 10, 190, 8));
    label(dialog206::kRealm, DluRect(10, 26, 190, 8));
    label(dialog206::kUserName, DluRect(10, 49, 45, 8));
    label(dialog206::kPassword, DluRect(10, 71, 45, 8));

    m_userEdit = new QLineEdit(this);
    kv::ui::SetControlId(m_userEdit, dialog206::kUserEditId);
    m_userEdit->setGeometry(DluRect(60, 46, 135, 14));
    m_passwordEdit = new QLineEdit(this);
    kv::ui::SetControlId(m_passwordEdit, dialog206::kPasswordEditId);
    m_passwordEdit->setGeometry(DluRect(60, 68, 135, 14));
    m_passwordEdit->setEchoMode(QLineEdit::Password);

    m_okButton = new QPushButton(QString::fromUtf8(dialog206::kOk), this);
    kv::ui::SetControlId(m_okButton, 1);
    m_okButton->setGeometry(DluRect(45, 96, 50, 14));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(QString::fromUtf8(dialog206::kCancel), this);
    kv::ui::SetControlId(m_cancelButton, 2);
    m_cancelButton->setGeometry(DluRect(115, 96, 50, 14));
    m_cancelButton->setAutoDefault(false);

    connect(m_okButton, &QPushButton::clicked, this, &AuthorizationDialog::OnOK);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(m_userEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    m_userEdit->setFocus();
}

AuthorizationDialog::~AuthorizationDialog() = default;

void AuthorizationDialog::OnOK()
{
    m_sUser = m_userEdit->text();
    m_sPassword = m_passwordEdit->text();
    accept();
}

} // namespace kv::motion
