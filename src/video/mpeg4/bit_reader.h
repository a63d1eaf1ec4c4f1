// Most-significant-bit-first reader over one bounded input.
//
// Reads never touch memory past the input: once the input is used up the reader supplies
// zero bits and remembers that it ran out, so callers check Exhausted() at points where a
// loop could otherwise spin on those zeros (every coefficient code, every macroblock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kv::mpeg4 {

class BitReader {
public:
    BitReader() = default;
    BitReader(const uint8_t* data, size_t size) { Reset(data, size); }

    void Reset(const uint8_t* data, size_t size)
    {
        data_ = data;
        size_ = size;
        SeekByte(0);
    }

    // Bits consumed so far.
    size_t BitPosition() const { return next_ * 8 - static_cast<size_t>(cached_); }
    // True once more bits were consumed than the input holds.
    bool Exhausted() const { return BitPosition() > size_ * 8; }
    size_t Size() const { return size_; }
    const uint8_t* Data() const { return data_; }

    // Restart at a byte position (cached bits are dropped).
    void SeekByte(size_t pos)
    {
        next_ = pos;
        cache_ = 0;
        cached_ = 0;
    }

    // The next n bits (1 ... 32) without consuming them.
    uint32_t Peek(int n)
    {
        if (cached_ < n)
            Refill();
        return static_cast<uint32_t>(cache_ >> (64 - n));
    }
    void Skip(int n)
    {
        if (cached_ < n)
            Refill();
        cache_ <<= n;
        cached_ -= n;
    }
    // Drops n bits that the last Peek of at least n bits made available.
    void SkipPeeked(int n)
    {
        cache_ <<= n;
        cached_ -= n;
    }
    uint32_t Read(int n)
    {
        const uint32_t v = Peek(n);
        cache_ <<= n;
        cached_ -= n;
        return v;
    }
    uint32_t ReadBit() { return Read(1); }

    // Position of the first whole byte not yet consumed, after dropping the bits left in a
    // partly read byte.
    size_t AlignedBytePosition() const { return (BitPosition() + 7) / 8; }

private:
    void Refill()
    {
        // Keep at least 57 valid bits. Whole input words are loaded eight bytes at a time;
        // the bits below the counted bytes are the true following bits, so OR-ing the next
        // load over them changes nothing.
        if (next_ + 8 <= size_) {
            uint64_t word;
            std::memcpy(&word, data_ + next_, 8);
            word = __builtin_bswap64(word);
            cache_ |= word >> cached_;
            const int bytes = (63 - cached_) >> 3;
            next_ += static_cast<size_t>(bytes);
            cached_ += bytes * 8;
            return;
        }
        while (cached_ <= 56) {
            const uint64_t byte = next_ < size_ ? data_[next_] : 0;
            cache_ |= byte << (56 - cached_);
            ++next_;
            cached_ += 8;
        }
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t next_ = 0;   // next byte to load into the cache
    uint64_t cache_ = 0; // left-aligned, cached_ valid bits
    int cached_ = 0;
};

} // namespace kv::mpeg4
