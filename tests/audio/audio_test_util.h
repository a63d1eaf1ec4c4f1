// Helpers shared by the audio tests: fixture files, WAV reading and tone measurement.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace kv::audiotest {

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::filesystem::path G726Data(const std::string& name)
{
    return std::filesystem::path(KV_TEST_DATA_DIR) / "g726" / name;
}

// Samples of a 16-bit mono PCM WAV file as the null back end writes it; nothing when the
// header is not that.
inline std::optional<std::vector<std::int16_t>> ReadWav(const std::filesystem::path& path)
{
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    if (bytes.size() < 44 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
        std::string(bytes.begin() + 8, bytes.begin() + 12) != "WAVE")
        return std::nullopt;
    const auto le32 = [&](std::size_t at) {
        return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
               std::uint32_t(bytes[at + 3]) << 24;
    };
    if (le32(24) != 8000 || bytes[22] != 1 || bytes[34] != 16)
        return std::nullopt;
    const std::uint32_t dataBytes = le32(40);
    if (dataBytes > bytes.size() - 44)
        return std::nullopt;
    std::vector<std::int16_t> samples(dataBytes / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8);
    return samples;
}

// Power of one frequency in a block (Goertzel), normalised so a sine of amplitude A gives A^2/4.
inline double Goertzel(const std::int16_t* samples, std::size_t count, double frequency, double rate = 8000.0)
{
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return power / (static_cast<double>(count) * count);
}

inline double Rms(const std::int16_t* samples, std::size_t count)
{
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    return count ? std::sqrt(sum / count) : 0.0;
}

// Frequency from the count of upward zero crossings.
inline double ZeroCrossingFrequency(const std::int16_t* samples, std::size_t count, double rate = 8000.0)
{
    std::size_t crossings = 0;
    for (std::size_t i = 1; i < count; ++i)
        if (samples[i - 1] < 0 && samples[i] >= 0)
            ++crossings;
    return crossings * rate / static_cast<double>(count);
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace kv::audiotest
