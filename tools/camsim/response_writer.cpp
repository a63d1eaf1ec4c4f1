#include "response_writer.h"

#include <algorithm>

namespace camsim {

namespace {
constexpr std::int64_t kDefaultGarbageBytes = 65536;
}

bool FaultMatches(const FaultSpec& order, std::string_view path)
{
    return order.Active() && path.substr(0, std::min(path.size(), order.path.size())) == order.path &&
           path.size() >= order.path.size();
}

void FaultBoard::Set(const FaultSpec& order)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_spec = order;
    ++m_generation;
}

FaultSpec FaultBoard::Current() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_spec;
}

std::uint64_t FaultBoard::Generation() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_generation;
}

FaultSpec FaultBoard::Take(std::string_view path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!FaultMatches(m_spec, path) || m_spec.runningOnly)
        return FaultSpec{};
    FaultSpec taken = m_spec;
    if (m_spec.count > 0 && --m_spec.count == 0) {
        m_spec = FaultSpec{};
        ++m_generation;
    }
    return taken;
}

FaultSpec FaultBoard::Peek(std::string_view path, std::uint64_t& generation) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    generation = m_generation;
    return FaultMatches(m_spec, path) ? m_spec : FaultSpec{};
}

ResponseWriter::ResponseWriter(Connection& connection, FaultBoard& faults, const FaultSpec& fault, std::string path,
                               std::uint32_t seed, bool faultsApply)
    : m_connection(connection), m_faults(faults), m_fault(faultsApply ? fault : FaultSpec{}),
      m_generation(faults.Generation()), m_path(std::move(path)), m_faultsApply(faultsApply), m_random(seed)
{
}

void ResponseWriter::RecordTo(const std::string& file)
{
    m_record = std::make_unique<std::ofstream>(file, std::ios::binary | std::ios::trunc);
}

bool ResponseWriter::Raw(std::string_view bytes)
{
    if (!m_connection.SendAll(bytes))
        return false;
    if (m_record && *m_record) {
        m_record->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        m_record->flush();
    }
    m_bodyBytes += static_cast<std::int64_t>(bytes.size());
    return true;
}

void ResponseWriter::Refresh()
{
    if (!m_faultsApply || m_faults.Generation() == m_generation)
        return;
    // A fault ordered (or cleared) while this response runs: count its bytes from now on.
    // Faults that decide how a response begins do not apply to one already under way.
    FaultSpec live = m_faults.Peek(m_path, m_generation);
    if (live.kind == "stall_mid" || live.kind == "close_mid" || live.kind == "garbage" ||
        live.kind == "bad_stream_no" || live.kind == "none") {
        m_fault = live;
        m_faultBase = m_bodyBytes;
        m_frameBase = m_frames;
        m_packetBase = m_packets;
        m_stallDone = false;
    }
}

bool ResponseWriter::Stall(std::int64_t ms)
{
    const std::uint64_t generation = m_generation;
    std::int64_t waited = 0;
    while (ms < 0 || waited < ms) {
        if (!m_connection.Wait(20))
            return false;
        waited += 20;
        if (m_faults.Generation() != generation)
            break;  // cleared or replaced: go on
    }
    return true;
}

bool ResponseWriter::SendGarbage()
{
    std::int64_t left = m_fault.bytes >= 0 ? m_fault.bytes : kDefaultGarbageBytes;
    std::string block;
    while (left > 0) {
        block.resize(static_cast<std::size_t>(std::min<std::int64_t>(left, 4096)));
        for (char& ch : block)
            ch = static_cast<char>(m_random() & 0xff);
        if (!Raw(block))
            return false;
        left -= static_cast<std::int64_t>(block.size());
    }
    return false;  // the response ends after its garbage
}

bool ResponseWriter::Head(std::string_view head)
{
    // The head is not body: it is neither counted nor recorded.
    return m_connection.SendAll(head);
}

bool ResponseWriter::Body(std::string_view bytes)
{
    while (!bytes.empty()) {
        Refresh();
        const std::string& kind = m_fault.kind;
        const bool byteFault = (kind == "stall_mid" && !m_stallDone) || (kind == "close_mid" && m_fault.afterBytes >= 0) ||
                               kind == "garbage";
        if (!byteFault)
            return Raw(bytes);
        const std::int64_t after = std::max<std::int64_t>(m_fault.afterBytes, 0);
        const std::int64_t room = m_faultBase + after - m_bodyBytes;
        if (room > 0) {
            const auto take = static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(bytes.size())));
            if (!Raw(bytes.substr(0, take)))
                return false;
            bytes.remove_prefix(take);
            continue;
        }
        if (kind == "close_mid")
            return false;
        if (kind == "garbage")
            return SendGarbage();
        // stall_mid: hold the rest back until the stall ends.
        m_stallDone = true;
        if (!Stall(m_fault.ms))
            return false;
    }
    return true;
}

bool ResponseWriter::CutThisFrame()
{
    Refresh();
    if (m_fault.kind != "close_mid" || m_fault.afterBytes >= 0)
        return false;
    const std::int64_t after = m_fault.afterFrames >= 0 ? m_fault.afterFrames : 2;
    return m_frames - m_frameBase >= after;
}

bool ResponseWriter::BadStreamNow()
{
    Refresh();
    if (m_fault.kind != "bad_stream_no")
        return false;
    const std::int64_t after = m_fault.afterFrames >= 0 ? m_fault.afterFrames : 2;
    return m_packets - m_packetBase == after;
}

} // namespace camsim
