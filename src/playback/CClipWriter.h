// Writes Motion JPEG frames as they are, without decoding or encoding them,
// into a Matroska file with libavformat. One frame's on-screen time becomes its
// time stamp, so gaps in the recording stay gaps in the file.
#pragma once

#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVPacket;
struct AVStream;

class CClipWriter
{
public:
    CClipWriter() = default;
    ~CClipWriter();
    CClipWriter(const CClipWriter&) = delete;
    CClipWriter& operator=(const CClipWriter&) = delete;

    // Creates (or truncates) strPath and writes the file header for pictures of
    // that size. False with the reason on failure.
    bool Open(const std::string& strPath, int nWidth, int nHeight, std::string* pError, int* pErrno);
    bool IsOpen() const { return m_pContext != nullptr; }
    // nTimeMs counts from the clip's start. A frame not after the previous one
    // is skipped (true). False with the reason when the file cannot take it;
    // *pErrno tells why when the system said so (ENOSPC for a full disk).
    bool WriteFrame(const char* pData, int nLength, std::int64_t nTimeMs, std::string* pError, int* pErrno);
    // The index and the end of the file; closed either way.
    bool Finish(std::string* pError, int* pErrno);
    // Closes and removes the file.
    void Abort();
    int Frames() const { return m_nFrames; }

    // Width and height from a JPEG's frame header; false when there is none.
    static bool JpegSize(const char* pData, int nLength, int* pWidth, int* pHeight);

private:
    void Close();

    std::string m_strPath;
    AVFormatContext* m_pContext = nullptr;
    AVStream* m_pStream = nullptr;
    AVPacket* m_pPacket = nullptr;
    std::int64_t m_nLastTimeMs = -1;
    std::int64_t m_nLastStepMs = 0;
    int m_nFrames = 0;
};
