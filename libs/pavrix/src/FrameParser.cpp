#include "FrameParser.h"

namespace pavrix {

namespace {

std::uint64_t readBigEndian(const char* data, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    return value;
}

void writeBigEndian(std::string* out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

bool FrameParser::feed(const char* data, std::size_t size, std::vector<StreamFrame>* frames)
{
    if (failed())
        return false;
    m_buffer.append(data, size);
    bool complete = true;
    while (complete) {
        if (!takeFrame(frames, &complete))
            return false;
    }
    // Drop consumed bytes now and then rather than on every frame.
    if (m_offset > 0 && (m_offset == m_buffer.size() || m_offset > (1u << 20))) {
        m_buffer.erase(0, m_offset);
        m_offset = 0;
    }
    return true;
}

bool FrameParser::takeFrame(std::vector<StreamFrame>* frames, bool* complete)
{
    *complete = false;
    if (pending() < kHeaderSize)
        return true;
    const char* head = m_buffer.data() + m_offset;
    if (std::string(head, 4) != "PVXF") {
        m_error = "bad frame magic";
        return false;
    }
    const auto kind = static_cast<unsigned char>(head[4]);
    if (kind < StreamFrame::Picture || kind > StreamFrame::Error) {
        m_error = "unknown frame kind " + std::to_string(kind);
        return false;
    }
    const auto length = static_cast<std::uint32_t>(readBigEndian(head + 13, 4));
    if (length > kMaxPayload) {
        m_error = "frame payload of " + std::to_string(length) + " bytes is too large";
        return false;
    }
    if (pending() < kHeaderSize + length)
        return true;
    StreamFrame frame;
    frame.kind = static_cast<StreamFrame::Kind>(kind);
    frame.osdMs = static_cast<std::int64_t>(readBigEndian(head + 5, 8));
    frame.payload.assign(head + kHeaderSize, length);
    frames->push_back(std::move(frame));
    m_offset += kHeaderSize + length;
    *complete = true;
    return true;
}

std::string FrameParser::encode(const StreamFrame& frame)
{
    std::string out = "PVXF";
    out.push_back(static_cast<char>(frame.kind));
    writeBigEndian(&out, static_cast<std::uint64_t>(frame.osdMs), 8);
    writeBigEndian(&out, frame.payload.size(), 4);
    return out + frame.payload;
}

} // namespace pavrix
