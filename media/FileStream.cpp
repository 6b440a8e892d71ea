// The read-only stream under every media reader and the player's MP3 reads.
#include "media/FileStream.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileStream::~TFileStream() {
    Close();
}

bool TFileStream::Open(const std::string& fileName) {
    Close();
    // Opened without waiting: a FIFO without a writer behind a song's name would block the
    // open for good. Only a regular file is read, and reads of one never wait.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    // Our own buffer does the buffering; a second one in stdio would only copy twice.
    std::setvbuf(file, nullptr, _IONBF, 0);
    m_file = file;
    m_size = st.st_size;
    m_position = 0;
    if (!m_buffer) {
        m_buffer = std::make_unique<uint8_t[]>(kBufferSize);
    }
    m_bufferStart = 0;
    m_bufferLength = 0;
    return true;
}

void TFileStream::Close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_size = 0;
    m_position = 0;
    m_bufferStart = 0;
    m_bufferLength = 0;
}

bool TFileStream::Seek(int64_t position) {
    if (m_file == nullptr || position < 0) {
        return false;
    }
    // The file is only positioned when the next read needs the disk.
    m_position = position;
    return true;
}

bool TFileStream::Fill() {
    m_bufferLength = 0;
    m_bufferStart = m_position;
    if (m_position >= m_size || fseeko(m_file, static_cast<off_t>(m_position), SEEK_SET) != 0) {
        return false;
    }
    const size_t got = std::fread(m_buffer.get(), 1, kBufferSize, m_file);
    m_bufferLength = static_cast<int32_t>(got);
    return got > 0;
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
    if (m_file == nullptr || count <= 0 || buffer == nullptr) {
        return 0;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count) {
        const int64_t offset = m_position - m_bufferStart;
        if (offset >= 0 && offset < m_bufferLength) {
            const int32_t n =
                static_cast<int32_t>(std::min<int64_t>(count - done, m_bufferLength - offset));
            std::memcpy(out + done, m_buffer.get() + offset, static_cast<size_t>(n));
            done += n;
            m_position += n;
            continue;
        }
        const int32_t rest = count - done;
        if (rest >= kBufferSize) {
            // Large reads go straight to the file.
            if (m_position >= m_size ||
                fseeko(m_file, static_cast<off_t>(m_position), SEEK_SET) != 0) {
                break;
            }
            const size_t got = std::fread(out + done, 1, static_cast<size_t>(rest), m_file);
            done += static_cast<int32_t>(got);
            m_position += static_cast<int64_t>(got);
            break;
        }
        if (!Fill()) {
            break;
        }
    }
    return done;
}
