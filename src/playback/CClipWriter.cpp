#include "playback/CClipWriter.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <cerrno>
#include <cstdio>

namespace {

constexpr AVRational kMillisecond{1, 1000};

std::string ErrorText(int nError)
{
    char szText[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(nError, szText, sizeof(szText));
    return szText;
}

// AVERROR(e) carries a system error number; libavformat's own codes do not.
int SystemErrno(int nError)
{
    return nError < 0 && nError > -4096 ? -nError : 0;
}

bool Fail(int nError, const char* szWhat, std::string* pError, int* pErrno = nullptr)
{
    if (pError) {
        *pError = std::string(szWhat) + ": " + ErrorText(nError);
    }
    if (pErrno) {
        *pErrno = SystemErrno(nError);
    }
    return false;
}

} // namespace

CClipWriter::~CClipWriter()
{
    if (IsOpen()) {
        Abort();
    }
}

bool CClipWriter::Open(const std::string& strPath, int nWidth, int nHeight, std::string* pError, int* pErrno)
{
    if (IsOpen() || nWidth <= 0 || nHeight <= 0) {
        if (pError) {
            *pError = IsOpen() ? "already open" : "no picture size";
        }
        return false;
    }
    av_log_set_level(AV_LOG_ERROR);
    m_strPath = strPath;
    int nRet = avformat_alloc_output_context2(&m_pContext, nullptr, "matroska", strPath.c_str());
    if (nRet < 0 || !m_pContext) {
        m_pContext = nullptr;
        return Fail(nRet, "no Matroska muxer", pError);
    }
    m_pStream = avformat_new_stream(m_pContext, nullptr);
    m_pPacket = av_packet_alloc();
    if (!m_pStream || !m_pPacket) {
        Abort();
        return Fail(AVERROR(ENOMEM), "out of memory", pError);
    }
    AVCodecParameters* pParams = m_pStream->codecpar;
    pParams->codec_type = AVMEDIA_TYPE_VIDEO;
    pParams->codec_id = AV_CODEC_ID_MJPEG;
    pParams->width = nWidth;
    pParams->height = nHeight;
    m_pStream->time_base = kMillisecond;
    nRet = avio_open(&m_pContext->pb, strPath.c_str(), AVIO_FLAG_WRITE);
    if (nRet < 0) {
        Close();
        return Fail(nRet, "cannot create the file", pError, pErrno);
    }
    nRet = avformat_write_header(m_pContext, nullptr);
    if (nRet < 0) {
        Abort();
        return Fail(nRet, "cannot write the header", pError, pErrno);
    }
    m_nLastTimeMs = -1;
    m_nLastStepMs = 0;
    m_nFrames = 0;
    return true;
}

bool CClipWriter::WriteFrame(const char* pData, int nLength, std::int64_t nTimeMs, std::string* pError,
                             int* pErrno)
{
    if (!IsOpen() || !pData || nLength <= 0) {
        return Fail(AVERROR(EINVAL), "no file or no frame", pError, pErrno);
    }
    if (nTimeMs <= m_nLastTimeMs) {
        return true; // the container needs rising time stamps; a repeated frame adds nothing
    }
    if (m_nLastTimeMs >= 0) {
        m_nLastStepMs = nTimeMs - m_nLastTimeMs;
    }
    av_packet_unref(m_pPacket);
    // The bytes stay the caller's: av_write_frame neither keeps nor frees them.
    m_pPacket->data = reinterpret_cast<uint8_t*>(const_cast<char*>(pData));
    m_pPacket->size = nLength;
    m_pPacket->stream_index = m_pStream->index;
    m_pPacket->pts = av_rescale_q(nTimeMs, kMillisecond, m_pStream->time_base);
    m_pPacket->dts = m_pPacket->pts;
    m_pPacket->duration = av_rescale_q(m_nLastStepMs, kMillisecond, m_pStream->time_base);
    m_pPacket->flags |= AV_PKT_FLAG_KEY;
    const int nRet = av_write_frame(m_pContext, m_pPacket);
    m_pPacket->data = nullptr;
    m_pPacket->size = 0;
    if (nRet < 0) {
        return Fail(nRet, "cannot write a frame", pError, pErrno);
    }
    // Errors of buffered writes show here, not in av_write_frame.
    if (m_pContext->pb && m_pContext->pb->error < 0) {
        return Fail(m_pContext->pb->error, "cannot write a frame", pError, pErrno);
    }
    m_nLastTimeMs = nTimeMs;
    ++m_nFrames;
    return true;
}

bool CClipWriter::Finish(std::string* pError, int* pErrno)
{
    if (!IsOpen()) {
        return Fail(AVERROR(EINVAL), "no file", pError, pErrno);
    }
    int nRet = av_write_trailer(m_pContext);
    if (nRet >= 0 && m_pContext->pb) {
        avio_flush(m_pContext->pb);
        nRet = m_pContext->pb->error;
    }
    if (nRet >= 0 && m_pContext->pb) {
        nRet = avio_closep(&m_pContext->pb);
    }
    Close();
    return nRet >= 0 ? true : Fail(nRet, "cannot finish the file", pError, pErrno);
}

void CClipWriter::Abort()
{
    const bool bHadFile = m_pContext && m_pContext->pb;
    Close();
    if (bHadFile) {
        std::remove(m_strPath.c_str());
    }
}

void CClipWriter::Close()
{
    if (m_pContext) {
        if (m_pContext->pb) {
            avio_closep(&m_pContext->pb);
        }
        avformat_free_context(m_pContext);
        m_pContext = nullptr;
    }
    m_pStream = nullptr;
    av_packet_free(&m_pPacket);
}

bool CClipWriter::JpegSize(const char* pData, int nLength, int* pWidth, int* pHeight)
{
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    if (!p || nLength < 4 || p[0] != 0xFF || p[1] != 0xD8) {
        return false;
    }
    int i = 2;
    while (i + 4 <= nLength) {
        if (p[i] != 0xFF) {
            return false;
        }
        const unsigned char marker = p[i + 1];
        if (marker == 0xFF) {
            ++i; // fill byte
            continue;
        }
        const int nSegment = (p[i + 2] << 8) | p[i + 3];
        if (nSegment < 2) {
            return false;
        }
        // Start-of-frame markers, baseline to lossless, without the DHT, JPG and DAC ones.
        const bool bFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (bFrame) {
            if (i + 9 > nLength) {
                return false;
            }
            *pHeight = (p[i + 5] << 8) | p[i + 6];
            *pWidth = (p[i + 7] << 8) | p[i + 8];
            return *pWidth > 0 && *pHeight > 0;
        }
        if (marker == 0xDA || marker == 0xD9) {
            return false; // scan or end before any frame header
        }
        i += 2 + nSegment;
    }
    return false;
}
