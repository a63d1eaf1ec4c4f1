#include "send_log.h"

#include <fstream>

namespace camsim {

std::vector<SentFrame> ReadSendLog(const std::filesystem::path& path)
{
    std::vector<SentFrame> sent;
    std::ifstream in(path);
    SentFrame line;
    while (in >> line.request >> line.stream >> line.frame >> line.firstByteNs >> line.lastByteNs)
        sent.push_back(line);
    return sent;
}

} // namespace camsim
