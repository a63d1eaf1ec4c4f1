// The modal dialog in which the user types a user name and password when the camera asks
// for them during a settings read. It only collects the two texts; the read tries them.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kv::motion {

class AuthorizationDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 206;

    explicit AuthorizationDialog(QWidget* parent = nullptr);
    ~AuthorizationDialog() override;

    // Valid after OK.
    const QString& User() const { return m_sUser; }
    const QString& Password() const { return m_sPassword; }

    QLineEdit* UserEdit() const { return m_userEdit; }
    QLineEdit* PasswordEdit() const { return m_passwordEdit; }
    QPushButton* OkButton() const { return m_okButton; }
    QPushButton* CancelButton() const { return m_cancelButton; }

private:
    void OnOK();

    QString m_sUser;
    QString m_sPassword;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace kv::motion
