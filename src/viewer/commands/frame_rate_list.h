// The frame-rate list: a drop-down list that tells its owner just before it opens, so the
// owner can fill it with the rates the camera offers at that moment.
#pragma once

#include <QComboBox>

#include <functional>
#include <utility>

namespace kv::viewer {

class CFrameRateList final : public QComboBox {
public:
    using QComboBox::QComboBox;

    void SetOnDropdown(std::function<void()> onDropdown) { m_onDropdown = std::move(onDropdown); }

    void showPopup() override
    {
        if (m_onDropdown)
            m_onDropdown();
        QComboBox::showPopup();
    }

private:
    std::function<void()> m_onDropdown;
};

} // namespace kv::viewer
