// The song-stream interface's shared part.
#include "engine/SongStream.h"

#include "media/SongTags.h"

void TSongStream::Bind(const TDecodeBuffers& buffers, TStreamReports& reports) {
    m_buffers = buffers;
    m_reports = &reports;
}

void TSongStream::FillMissingNames(const std::string& fileName) {
    if (!m_info.Title.empty() && !m_info.Artist.empty() && !m_info.Album.empty()) {
        return;
    }
    const TSongTags tags = ReadSongTags(fileName);
    for (auto [field, tag] :
         {std::pair{&m_info.Title, &tags.Title}, std::pair{&m_info.Artist, &tags.Artist},
          std::pair{&m_info.Album, &tags.Album}}) {
        if (field->empty()) {
            *field = *tag;
        }
    }
}
