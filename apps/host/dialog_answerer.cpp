#include "host/dialog_answerer.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace kv::host {

namespace {

constexpr int kLookIntervalMs = 50;

struct CredentialFields {
    QLineEdit* user = nullptr;
    QLineEdit* password = nullptr;
};

CredentialFields FindFields(QWidget* dialog)
{
    CredentialFields fields;
    int edits = 0;
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
        ++edits;
        if (edit->echoMode() == QLineEdit::Password)
            fields.password = edit;
        else
            fields.user = edit;
    }
    if (edits != 2)
        return {};
    return fields;
}

QPushButton* ButtonNamed(QWidget* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text().remove(QLatin1Char('&')).trimmed().compare(text, Qt::CaseInsensitive) == 0)
            return button;
    return nullptr;
}

} // namespace

CDialogAnswerer::CDialogAnswerer(QString user, QString password, bool haveCredentials, bool unattended,
                                 std::function<void(const QString&)> note, QObject* parent)
    : QObject(parent),
      m_user(std::move(user)),
      m_password(std::move(password)),
      m_haveCredentials(haveCredentials),
      m_unattended(unattended),
      m_note(std::move(note))
{
    connect(&m_timer, &QTimer::timeout, this, [this] { AnswerActiveDialog(); });
    if (m_haveCredentials || m_unattended)
        m_timer.start(kLookIntervalMs);
}

bool CDialogAnswerer::IsPasswordDialog(QWidget* dialog)
{
    const CredentialFields fields = dialog ? FindFields(dialog) : CredentialFields{};
    return fields.user && fields.password;
}

bool CDialogAnswerer::AnswerActiveDialog()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return false;

    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (!m_unattended)
            return false;  // a person reads it
        if (m_note)
            m_note(QStringLiteral("the control said: ") + box->text().simplified());
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
        return true;
    }

    if (!IsPasswordDialog(modal))
        return false;
    const CredentialFields fields = FindFields(modal);
    if (!m_haveCredentials) {
        if (!m_unattended)
            return false;
        if (m_note)
            m_note(QStringLiteral("the camera asks for a password; give --user and --password"));
        if (QPushButton* cancel = ButtonNamed(modal, QStringLiteral("Cancel")))
            cancel->click();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        return true;
    }
    QPushButton* ok = ButtonNamed(modal, QStringLiteral("OK"));
    if (!ok)
        return false;
    fields.user->setText(m_user);
    fields.password->setText(m_password);
    ++m_answered;
    if (m_note)
        m_note(QStringLiteral("answered the password dialog as \"%1\"").arg(m_user));
    ok->click();  // the control tries the credentials against the camera from here
    return true;
}

} // namespace kv::host
