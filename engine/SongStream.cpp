// The song-stream interface's shared part and the choice of format by the file's extension.
#include "engine/SongStream.h"

#include "engine/Mp3Stream.h"
#include "engine/OggStream.h"
#include "platform/FileOps.h"

void TSongStream::Bind(const TDecodeBuffers& buffers, TStreamReports& reports) {
    m_buffers = buffers;
    m_reports = &reports;
    Bound();
}

std::unique_ptr<TSongStream> OpenSongStream(const std::string& FileName, TUsableLibraries usable,
                                            TOggVorbis& oggInfo) {
    const std::string ext = platform::UpperExtension(FileName);
    if (ext == ".MP3" && usable.Mp3) {
        return TMp3Stream::Open(FileName);
    }
    if (ext == ".OGG" && usable.Ogg) {
        return TOggStream::Open(FileName, oggInfo);
    }
    return nullptr;
}
