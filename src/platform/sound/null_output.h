// The back end without a sound card: a software clock consumes the samples at the format's
// rate, optionally writing them to a WAV file.
#pragma once

#include "platform/sound/sound_output.h"

#include <cstdio>
#include <memory>
#include <string>

namespace kv {

// A 16-bit PCM WAV file whose header is kept up to date after every write, so the file is
// complete at any moment.
class CWavWriter {
public:
    static std::unique_ptr<CWavWriter> Create(const std::string& path, const WaveFormat& format);
    ~CWavWriter();
    CWavWriter(const CWavWriter&) = delete;
    CWavWriter& operator=(const CWavWriter&) = delete;

    void Write(std::span<const std::int16_t> samples);
    void Flush();

private:
    CWavWriter(std::FILE* file, const WaveFormat& format);
    bool WriteHeader();

    std::FILE* m_file;
    WaveFormat m_format;
    std::uint32_t m_dataBytes = 0;
    bool m_failed = false;
};

std::unique_ptr<ISoundBackend> CreateNullBackend(std::string wavPath);

} // namespace kv
