// Cuts the playback stream's bytes into "PVXF" frames, whatever the chunking of
// the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pavrix {

struct StreamFrame
{
    enum Kind : unsigned char
    {
        Picture = 1,
        EndOfSpan = 2,
        Error = 3
    };

    Kind kind = Picture;
    std::int64_t osdMs = 0; // on-screen time, ms since the epoch (UTC)
    std::string payload;
};

class FrameParser
{
public:
    static constexpr std::size_t kHeaderSize = 17;
    static constexpr std::uint32_t kMaxPayload = 16u << 20;

    // Appends the complete frames to *frames. False once the data is not a frame
    // stream (bad magic or kind, oversized payload); the parser then stays failed.
    bool feed(const char* data, std::size_t size, std::vector<StreamFrame>* frames);
    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    // Bytes of an incomplete frame still waiting for the rest.
    std::size_t pending() const { return m_buffer.size() - m_offset; }

    static std::string encode(const StreamFrame& frame); // for tests and tools

private:
    bool takeFrame(std::vector<StreamFrame>* frames, bool* complete);

    std::string m_buffer;
    std::size_t m_offset = 0;
    std::string m_error;
};

} // namespace pavrix
