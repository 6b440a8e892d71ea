// Ogg Vorbis encoding over libvorbisenc.
#include "decoders/vorbis/OggEncoder.h"

#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace vorbisdll {

struct OggEncoder::Codec {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    bool dspReady = false;
    bool streamReady = false;

    Codec() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~Codec() {
        if (streamReady) {
            ogg_stream_clear(&stream);
        }
        if (dspReady) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
};

std::unique_ptr<OggEncoder> OggEncoder::Create(const std::string& path, const Settings& settings) {
    if (settings.channels < 1 || settings.channels > 2 || settings.sampleRate < 8000 ||
        settings.sampleRate > 192000 || !(settings.quality >= -0.1f) ||
        !(settings.quality <= 1.0f)) {
        return nullptr;
    }
    auto codec = std::make_unique<Codec>();
    if (vorbis_encode_init_vbr(&codec->info, settings.channels, settings.sampleRate,
                               settings.quality) != 0) {
        return nullptr;
    }
    for (const std::string& text : settings.comments) {
        vorbis_comment_add(&codec->comment, text.c_str());
    }
    if (vorbis_analysis_init(&codec->dsp, &codec->info) != 0) {
        return nullptr;
    }
    vorbis_block_init(&codec->dsp, &codec->block);
    codec->dspReady = true;
    if (ogg_stream_init(&codec->stream, settings.serial) != 0) {
        return nullptr;
    }
    codec->streamReady = true;

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return nullptr;
    }
    std::unique_ptr<OggEncoder> encoder(
        new OggEncoder(path, file, std::move(codec), settings.channels));

    ogg_packet identification;
    ogg_packet comments;
    ogg_packet books;
    Codec& c = *encoder->m_codec;
    if (vorbis_analysis_headerout(&c.dsp, &c.comment, &identification, &comments, &books) != 0) {
        return nullptr;
    }
    ogg_stream_packetin(&c.stream, &identification);
    ogg_stream_packetin(&c.stream, &comments);
    ogg_stream_packetin(&c.stream, &books);
    // The audio starts on a page of its own, as decoders expect.
    ogg_page page;
    while (ogg_stream_flush(&c.stream, &page) != 0) {
        if (!encoder->WritePage(page.header, page.header_len, page.body, page.body_len)) {
            return nullptr;
        }
    }
    return encoder;
}

OggEncoder::OggEncoder(std::string path, std::FILE* file, std::unique_ptr<Codec> codec,
                       int channels)
    : m_path(std::move(path)), m_file(file), m_codec(std::move(codec)), m_channels(channels) {}

OggEncoder::~OggEncoder() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    if (!m_finished) {
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
    }
}

bool OggEncoder::WritePage(const void* header, long headerLen, const void* body, long bodyLen) {
    if (std::fwrite(header, 1, static_cast<size_t>(headerLen), m_file) !=
            static_cast<size_t>(headerLen) ||
        std::fwrite(body, 1, static_cast<size_t>(bodyLen), m_file) !=
            static_cast<size_t>(bodyLen)) {
        m_failed = true;
    }
    return !m_failed;
}

bool OggEncoder::Drain(bool flushAll) {
    Codec& c = *m_codec;
    while (vorbis_analysis_blockout(&c.dsp, &c.block) == 1) {
        vorbis_analysis(&c.block, nullptr);
        vorbis_bitrate_addblock(&c.block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&c.dsp, &packet) == 1) {
            ogg_stream_packetin(&c.stream, &packet);
            ogg_page page;
            while (ogg_stream_pageout(&c.stream, &page) != 0) {
                if (!WritePage(page.header, page.header_len, page.body, page.body_len)) {
                    return false;
                }
            }
        }
    }
    if (flushAll) {
        ogg_page page;
        while (ogg_stream_flush(&c.stream, &page) != 0) {
            if (!WritePage(page.header, page.header_len, page.body, page.body_len)) {
                return false;
            }
        }
    }
    return !m_failed;
}

bool OggEncoder::Write(const int16_t* samples, int64_t frames) {
    if (m_failed || m_finished || frames < 0 || (frames > 0 && samples == nullptr)) {
        return false;
    }
    constexpr int64_t kBlock = 4096;
    while (frames > 0) {
        const int count = static_cast<int>(std::min(frames, kBlock));
        float** buffer = vorbis_analysis_buffer(&m_codec->dsp, count);
        for (int i = 0; i < count; ++i) {
            for (int ch = 0; ch < m_channels; ++ch) {
                buffer[ch][i] = static_cast<float>(samples[i * m_channels + ch]) / 32768.0f;
            }
        }
        vorbis_analysis_wrote(&m_codec->dsp, count);
        if (!Drain(false)) {
            return false;
        }
        samples += static_cast<ptrdiff_t>(count) * m_channels;
        frames -= count;
    }
    return true;
}

bool OggEncoder::Finish() {
    if (m_finished || m_failed) {
        return false;
    }
    vorbis_analysis_wrote(&m_codec->dsp, 0);
    bool ok = Drain(true);
    ok = std::fflush(m_file) == 0 && ok;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    m_finished = ok;
    return ok;
}

} // namespace vorbisdll
