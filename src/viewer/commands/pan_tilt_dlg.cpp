#include "viewer/commands/pan_tilt_dlg.h"

#include <QMouseEvent>

#include "core/timings.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/ui_helpers.h"
#include "platform/ui/window_timers.h"
#include "viewer/commands/command_urls.h"
#include "viewer/commands/pad_command_queue.h"
#include "viewer/panel/colour_scheme.h"
#include "viewer/resources/resources.h"
#include "viewer/resources/string_table.h"

namespace kv::viewer {

namespace {

struct PadPlace {
    int id;
    int x, y;  // dialog units
};

// The pad in the dialog template: three rows of three 25 by 25 buttons.
constexpr std::array<PadPlace, 9> kPadPlaces{{
    {IDC_PT_UP_LEFT, 6, 6},     {IDC_PT_UP, 31, 6},     {IDC_PT_UP_RIGHT, 57, 6},
    {IDC_PT_LEFT, 6, 31},       {IDC_PT_HOME, 31, 31},  {IDC_PT_RIGHT, 57, 31},
    {IDC_PT_DOWN_LEFT, 6, 56},  {IDC_PT_DOWN, 31, 56},  {IDC_PT_DOWN_RIGHT, 57, 56},
}};
constexpr int kPadButtonSize = 25;
constexpr int kDialogWidth = 90;
constexpr int kDialogHeight = 109;

// Hover and normal bitmaps per button (216 .. 224, then OK) and scheme.
constexpr std::array<std::array<ImagePair, 3>, 10> kPadImages{{
    {{{529, 525}, {566, 567}, {605, 604}}},  // 216 up
    {{{528, 524}, {571, 570}, {608, 609}}},  // 217 up-right
    {{{522, 520}, {563, 562}, {601, 600}}},  // 218 right
    {{{518, 514}, {553, 552}, {591, 590}}},  // 219 down-right
    {{{519, 515}, {549, 548}, {587, 586}}},  // 220 down
    {{{516, 517}, {551, 550}, {589, 588}}},  // 221 down-left
    {{{523, 521}, {555, 554}, {593, 592}}},  // 222 left
    {{{526, 527}, {569, 568}, {607, 606}}},  // 223 up-left
    {{{513, 512}, {543, 542}, {581, 580}}},  // 224 home
    {{{531, 530}, {545, 544}, {583, 582}}},  // 1 OK
}};

std::size_t ImageRow(int id) { return id == CPanTiltDlg::IDOK ? 9 : static_cast<std::size_t>(id - IDC_PT_UP); }

} // namespace

CPadButton::CPadButton(int id, QWidget* parent) : CPanelButton(parent), m_id(id)
{
    kv::ui::SetControlId(this, id);
}

void CPadButton::mousePressEvent(QMouseEvent* event)
{
    // The button draws itself pressed first; then the command goes.
    CPanelButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit PadPressed(m_id);
}

void CPadButton::mouseReleaseEvent(QMouseEvent* event)
{
    CPanelButton::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit PadReleased(m_id);
}

CPanTiltDlg::CPanTiltDlg(const std::string& ptzfUrl, const std::string& presetUrl, const std::string& user,
                         const std::string& password, int language, int color, int remainTime, QWidget* parent,
                         CameraGet send)
    : QDialog(parent), m_nLanguage(language), m_nColor(color), m_nRemainTime(remainTime),
      m_commands(std::make_unique<CPadCommandQueue>(std::move(send))),
      m_timers(std::make_unique<kv::ui::CWindowTimers>(this, [this](int id) { OnTimer(id); }))
{
    setModal(false);
    setFont(kv::ui::DialogFont());
    setFixedSize(kv::ui::DluSize(kDialogWidth, kDialogHeight));
    setWindowTitle(QString::fromUtf8(TextForLanguage(language, IDS_PAN_TILT_CAPTION, dialog103::kCaption)));

    for (std::size_t i = 0; i < kPadPlaces.size(); ++i) {
        const PadPlace& place = kPadPlaces[i];
        auto* button = new CPadButton(place.id, this);
        button->setGeometry(kv::ui::DluRect(place.x, place.y, kPadButtonSize, kPadButtonSize));
        button->setFocusPolicy(Qt::NoFocus);
        button->m_sPtzfUrl = ptzfUrl;
        button->m_sPresetUrl = presetUrl;
        button->m_sUser = user;
        button->m_sPassword = password;
        connect(button, &CPadButton::PadPressed, this, &CPanTiltDlg::OnPadPressed);
        connect(button, &CPadButton::PadReleased, this, &CPanTiltDlg::OnPadReleased);
        m_buttons[static_cast<std::size_t>(place.id - IDC_PT_UP)] = button;
    }

    // OK carries its word in its picture, so the button itself has no text.
    m_okButton = new CPanelButton(this);
    kv::ui::SetControlId(m_okButton, IDOK);
    m_okButton->setGeometry(kv::ui::DluRect(20, 86, 50, 18));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);

    ApplyScheme();
    // The pad counts the same seconds as the panel's countdown.
    if (m_nRemainTime != kNoRemainTime)
        m_timers->SetTimer(TIMER_PT_REMAIN, kv::ModuleTimings().controlTickMs.load());
}

CPanTiltDlg::~CPanTiltDlg()
{
    m_timers->KillAll();
    // A camera turning for a button that is still held when the pad goes would never stop.
    SendStopForHeldButton();
}

void CPanTiltDlg::ApplyScheme()
{
    const ColourScheme* colours = SchemeFor(m_nColor);
    if (!colours)
        return;  // other schemes: no brush, images or colours
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kv::ui::ToQColor(colours->background));
    pal.setColor(QPalette::Button, kv::ui::ToQColor(colours->background));
    setPalette(pal);

    const std::size_t scheme = static_cast<std::size_t>(m_nColor - 1);
    auto style = [&](CPanelButton* button, int id) {
        const ImagePair& images = kPadImages[ImageRow(id)][scheme];
        button->SetBitmaps(images.hover, kArtworkTransparentColour, images.normal, kArtworkTransparentColour);
        button->SetColor(CPanelButton::BTNST_COLOR_FG_IN, colours->text);
        button->SetColor(CPanelButton::BTNST_COLOR_FG_OUT, colours->text);
        button->SetDrawBorder(false);
        button->SetBtnCursor(IDC_HAND);
        button->SetTransparent(true);
    };
    for (CPadButton* button : m_buttons)
        style(button, button->Id());
    style(m_okButton, IDOK);
}

CPadButton* CPanTiltDlg::Button(int id) const
{
    if (!IsPadButton(id))
        return nullptr;
    return m_buttons[static_cast<std::size_t>(id - IDC_PT_UP)];
}

bool CPanTiltDlg::RemainTimerRunning() const { return m_timers->IsRunning(TIMER_PT_REMAIN); }

void CPanTiltDlg::FlushCommands() { m_commands->Flush(); }

void CPanTiltDlg::OnTimer(int id)
{
    if (id != TIMER_PT_REMAIN)
        return;
    if (m_nRemainTime != 0) {
        --m_nRemainTime;
        return;
    }
    // Control has run out: the pad goes away as Cancel would take it.
    m_timers->KillTimer(TIMER_PT_REMAIN);
    reject();
}

void CPanTiltDlg::OnPadPressed(int id)
{
    const CPadButton* button = Button(id);
    if (!button)
        return;
    const auto url = PadPressUrl(id, button->m_sPtzfUrl, button->m_sPresetUrl);
    if (!url)
        return;
    if (id != IDC_PT_HOME)
        m_heldButton = id;
    m_commands->Enqueue({*url, button->m_sUser, button->m_sPassword});
}

void CPanTiltDlg::OnPadReleased(int id)
{
    CPadButton* button = Button(id);
    if (!button)
        return;
    const auto url = PadReleaseUrl(id, button->m_sPtzfUrl);
    if (!url)
        return;  // home: nothing to stop
    if (m_heldButton == id)
        m_heldButton = 0;
    button->ResetHover();
    m_commands->Enqueue({*url, button->m_sUser, button->m_sPassword});
}

void CPanTiltDlg::SendStopForHeldButton()
{
    if (m_heldButton == 0)
        return;
    const int id = m_heldButton;
    m_heldButton = 0;
    if (const CPadButton* button = Button(id))
        if (const auto url = PadReleaseUrl(id, button->m_sPtzfUrl))
            m_commands->Enqueue({*url, button->m_sUser, button->m_sPassword});
}

void CPanTiltDlg::hideEvent(QHideEvent* event)
{
    // Hidden while a direction is held: the release will never come, so stop now.
    if (m_heldButton != 0) {
        if (CPadButton* button = Button(m_heldButton))
            button->setDown(false);
        SendStopForHeldButton();
    }
    QDialog::hideEvent(event);
}

} // namespace kv::viewer
