#include "platform/com/control_dialogs.h"

#include "platform/ui/dialog_units.h"  // the inline unit conversions only

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kv::com {

namespace {
// The size of a control's property page template, and where its one text sits.
constexpr int kPageWidthDlu = 250;
constexpr int kPageHeightDlu = 62;
constexpr int kTextX = 23, kTextY = 18, kTextWidth = 204, kTextHeight = 26;
} // namespace

CPropertyPage::CPropertyPage(int templateId, const QString& caption, const QString& staticText, QWidget* parent)
    : QWidget(parent), m_templateId(templateId), m_text(new QLabel(staticText, this))
{
    setWindowTitle(caption);
    setFixedSize(ui::DluSize(kPageWidthDlu, kPageHeightDlu));
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_text->setGeometry(ui::DluRect(kTextX, kTextY, kTextWidth, kTextHeight));
}

CAboutBox::CAboutBox(const QString& title, const QPixmap& icon, const QString& nameLine, const QString& secondLine,
                     QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    if (parent)
        setFont(parent->font());  // a window does not take its owner's font by itself
    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(icon);
    iconLabel->setAlignment(Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(nameLine, this));
    texts->addWidget(new QLabel(secondLine, this));
    texts->addStretch();
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(iconLabel);
    row->addLayout(texts, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
    setLayout(row);
}

void ShowPropertyFrame(QWidget* control, const QString& typeName, CPropertyPage* page)
{
    QDialog frame(control);
    frame.setWindowTitle(typeName + QStringLiteral(" Properties"));
    if (control)
        frame.setFont(control->font());
    auto* tabs = new QTabWidget(&frame);
    tabs->addTab(page, page->Caption());  // the frame owns the page from here on
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &frame);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &frame, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &frame, &QDialog::reject);
    auto* layout = new QVBoxLayout(&frame);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    frame.exec();
}

} // namespace kv::com
