#include "stream/keeping_rules.h"

#include "stream/debug_log.h"

#include <algorithm>

namespace kv {
namespace {

std::atomic<int> g_asfVideoKeepFactor{kAsfVideoKeepFactorAtLoad};

} // namespace

bool KeepMjpgVideoFrame(CFrameChain& chain, CurrentFrameText& currentText,
                        std::vector<std::uint8_t>&& frame, std::uint32_t timestamp,
                        const std::string& text)
{
    if (chain.Count() >= kMjpgVideoChainLimit) {
        std::vector<std::uint8_t>().swap(frame);
        return false;
    }
    currentText.Set(text);
    DebugMessage("motion-jpeg Add Video Frame", 1);
    chain.Append(std::move(frame), timestamp);
    return true;
}

bool KeepMjpgAudioFrame(CFrameChain& chain, CurrentFrameText& currentText, bool audioStarted,
                        std::vector<std::uint8_t>&& data, std::uint32_t timestamp,
                        const std::string& text)
{
    if (!audioStarted || chain.Count() >= kMjpgAudioChainLimit) {
        std::vector<std::uint8_t>().swap(data);
        return false;
    }
    currentText.Set(text);
    DebugMessage("motion-jpeg Add audio Frame", 1);
    chain.Append(std::move(data), timestamp);
    return true;
}

int AsfVideoKeepFactor()
{
    return g_asfVideoKeepFactor.load(std::memory_order_relaxed);
}

void SetAsfVideoKeepFactor(int n)
{
    g_asfVideoKeepFactor.store(n, std::memory_order_relaxed);
}

bool CAsfVideoKeeping::Keep(CFrameChain& chain, std::vector<std::uint8_t>&& frame,
                            std::uint32_t timestamp, bool keyFrame)
{
    const std::size_t limit = 2 * static_cast<std::size_t>(std::max(AsfVideoKeepFactor(), 0));
    const std::size_t waiting = chain.Count();
    if (m_skipping) {
        if (!keyFrame || waiting > limit) {
            std::vector<std::uint8_t>().swap(frame);
            return false;
        }
        m_skipping = false;
    } else if (waiting > limit) {
        m_skipping = true;
        std::vector<std::uint8_t>().swap(frame);
        return false;
    }
    chain.Append(std::move(frame), timestamp);
    return true;
}

bool KeepAsfAudioFrame(CFrameChain& chain, std::vector<std::uint8_t>&& data, std::uint32_t timestamp)
{
    if (chain.Count() > kAsfAudioChainLimit)
        chain.PopFront();  // the oldest goes first
    if (chain.Count() > kAsfAudioChainLimit) {
        std::vector<std::uint8_t>().swap(data);
        return false;
    }
    chain.Append(std::move(data), timestamp);
    return true;
}

} // namespace kv
