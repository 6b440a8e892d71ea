// The texts behind the wave-out error codes, worded as the multimedia system words them, so
// that LastError reads the same whichever backend produced the code.
#include "platform/WaveOut.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

const char* TextOf(MMRESULT error) {
    switch (error) {
    case MMSYSERR_NOERROR:
        return "The specified command was carried out.";
    case MMSYSERR_ERROR:
        return "Undefined external error.";
    case MMSYSERR_BADDEVICEID:
        return "A device ID has been used that is out of range for your system.";
    case MMSYSERR_NOTENABLED:
        return "The driver was not enabled.";
    case MMSYSERR_ALLOCATED:
        return "The specified device is already in use. Wait until it is free, and then try "
               "again.";
    case MMSYSERR_INVALHANDLE:
        return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER:
        return "There is no driver installed on your system.";
    case MMSYSERR_NOMEM:
        return "There is not enough memory available for this task. Quit one or more "
               "applications to increase available memory, and then try again.";
    case MMSYSERR_NOTSUPPORTED:
        return "This function is not supported. Use the Capabilities function to determine "
               "which functions and messages the driver supports.";
    case MMSYSERR_BADERRNUM:
        return "An error number was specified that is not defined in the system.";
    case MMSYSERR_INVALFLAG:
        return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM:
        return "An invalid parameter was passed to a system function.";
    case WAVERR_BADFORMAT:
        return "The specified format is not supported or cannot be translated. Use the "
               "Capabilities function to determine the supported formats.";
    case WAVERR_STILLPLAYING:
        return "Cannot perform this operation while media data is still playing. Reset the "
               "device, or wait until the data is finished playing.";
    case WAVERR_UNPREPARED:
        return "The wave header was not prepared. Use the Prepare function to prepare the "
               "header, and then try again.";
    default:
        return nullptr;
    }
}

} // namespace

MMRESULT WaveOutErrorText(MMRESULT error, char* text, UINT size) {
    if (text == nullptr || size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const char* found = TextOf(error);
    const char* source = found != nullptr ? found : "";
    const size_t length = std::min<size_t>(std::strlen(source), size - 1);
    std::memcpy(text, source, length);
    text[length] = '\0';
    return found != nullptr ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM;
}

MMRESULT WaveOutDevice::waveOutGetPosition(HWAVEOUT, MMTIME*, UINT) {
    return MMSYSERR_NOTSUPPORTED;
}

// Converts a position in bytes into the unit the caller asked for (bytes when it asked for
// one the device does not keep).
void SetPosition(MMTIME& time, uint64_t bytes, const WAVEFORMATEX& format) {
    const uint32_t block = std::max<uint32_t>(format.nBlockAlign, 1);
    switch (time.wType) {
    case TIME_SAMPLES:
        time.u.sample = static_cast<DWORD>(bytes / block);
        break;
    case TIME_MS:
        time.u.ms = format.nAvgBytesPerSec > 0
                        ? static_cast<DWORD>(bytes * 1000 / format.nAvgBytesPerSec)
                        : 0;
        break;
    default:
        time.wType = TIME_BYTES;
        time.u.cb = static_cast<DWORD>(bytes);
        break;
    }
}

MMRESULT WaveHeaderQueue::Append(WAVEHDR* header) {
    if ((header->dwFlags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->lpNext = nullptr;
    if (m_tail != nullptr) {
        m_tail->lpNext = header;
    } else {
        m_head = header;
    }
    m_tail = header;
    return MMSYSERR_NOERROR;
}

WAVEHDR* WaveHeaderQueue::PopFront() {
    WAVEHDR* header = m_head;
    if (header == nullptr) {
        return nullptr;
    }
    m_head = header->lpNext;
    if (m_head == nullptr) {
        m_tail = nullptr;
    }
    header->lpNext = nullptr;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    return header;
}

WAVEHDR* WaveHeaderQueue::TakeAll() {
    WAVEHDR* list = m_head;
    m_head = nullptr;
    m_tail = nullptr;
    for (WAVEHDR* h = list; h != nullptr; h = h->lpNext) {
        h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    }
    return list;
}

} // namespace platform
