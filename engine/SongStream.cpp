// The song-stream interface's shared part.
#include "engine/SongStream.h"

void TSongStream::Bind(const TDecodeBuffers& buffers, TStreamReports& reports) {
    m_buffers = buffers;
    m_reports = &reports;
}
