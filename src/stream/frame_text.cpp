#include "stream/frame_text.h"

#include <algorithm>
#include <cstring>

namespace kv {

std::string FrameTextFrom(const std::uint8_t* bytes, std::size_t available)
{
    const std::size_t limit = std::min(available, kFrameTextSize);
    const void* nul = std::memchr(bytes, 0, limit);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes) : limit;
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

void CurrentFrameText::Set(std::string text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_text = std::move(text);
}

std::string CurrentFrameText::Get() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_text;
}

void CurrentFrameText::Clear()
{
    Set(std::string());
}

} // namespace kv
