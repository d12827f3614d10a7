// The device cloud's playback stream. Input: one byte giving the size of the
// reads (1 to 64), then the stream. Cut into reads or taken whole, it must
// give the same frames, and the frames encode back to the bytes they came from.
#include "FrameParser.h"
#include "Fuzz.h"

#include <algorithm>
#include <vector>

FUZZ_TARGET
{
    if (size == 0)
        return;
    const std::size_t nRead = data[0] % 64 + 1, nStream = size - 1;
    const char* pStream = reinterpret_cast<const char*>(data) + 1;
    const auto encoded = [](const std::vector<pavrix::StreamFrame>& frames) {
        std::string bytes;
        for (const pavrix::StreamFrame& frame : frames)
            bytes += pavrix::FrameParser::encode(frame);
        return bytes;
    };

    pavrix::FrameParser whole, cut;
    std::vector<pavrix::StreamFrame> wholeFrames, cutFrames;
    const bool bWholeOk = whole.feed(pStream, nStream, &wholeFrames);
    FUZZ_CHECK(bWholeOk == !whole.failed());
    bool bCutOk = true;
    for (std::size_t nPos = 0; nPos < nStream; nPos += nRead)
        bCutOk = cut.feed(pStream + nPos, std::min(nRead, nStream - nPos), &cutFrames) && bCutOk;
    const std::string bytes = encoded(wholeFrames);
    FUZZ_CHECK(bCutOk == bWholeOk && wholeFrames.size() == cutFrames.size() && encoded(cutFrames) == bytes);
    FUZZ_CHECK(bytes.size() <= nStream && bytes.compare(0, bytes.size(), pStream, bytes.size()) == 0);
    if (bWholeOk)
        FUZZ_CHECK(whole.pending() == nStream - bytes.size() && cut.pending() == whole.pending());
}
