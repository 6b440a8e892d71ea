// A read-only file stream with the semantics the readers and the player rely on: reads report
// how many bytes arrived, seeks report failure instead of poisoning later reads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class TFileStream {
public:
    TFileStream() = default;
    ~TFileStream();
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // Opens the file for reading only; false when it cannot be opened or is not a regular file.
    bool Open(const std::string& fileName);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }

    int64_t Size() const { return m_size; }
    int64_t Position() const { return m_position; }
    // Absolute positioning; a negative position fails. Positions past the end are allowed
    // (reads there return 0 bytes).
    bool Seek(int64_t position);
    // Reads up to `count` bytes; returns how many arrived (0 at the end or on error).
    int32_t Read(void* buffer, int32_t count);

private:
    // The frame search reads one byte per call; a buffer of our own keeps that cheap and lets a
    // seek inside the buffered range cost nothing.
    static constexpr int32_t kBufferSize = 8192;

    bool Fill();

    std::FILE* m_file = nullptr;
    int64_t m_size = 0;
    int64_t m_position = 0;
    std::unique_ptr<uint8_t[]> m_buffer;
    int64_t m_bufferStart = 0; // file offset of m_buffer[0]
    int32_t m_bufferLength = 0;
};
