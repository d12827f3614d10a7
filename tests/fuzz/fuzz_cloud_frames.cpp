// The device cloud's playback stream. Input: one byte giving the size of the
// reads (1 to 64), then the stream. Cut into reads or taken whole, it must
// give the same frames, and the frames encode back to the bytes they came from.
#include "FrameParser.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool SameFrames(const std::vector<pavrix::StreamFrame>& a, const std::vector<pavrix::StreamFrame>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || a[i].osdMs != b[i].osdMs || a[i].payload != b[i].payload) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t nRead = data[0] % 64 + 1;
    const char* pStream = reinterpret_cast<const char*>(data) + 1;
    const std::size_t nStream = size - 1;

    pavrix::FrameParser whole;
    std::vector<pavrix::StreamFrame> wholeFrames;
    const bool bWholeOk = whole.feed(pStream, nStream, &wholeFrames);
    FUZZ_CHECK(bWholeOk == !whole.failed());

    pavrix::FrameParser cut;
    std::vector<pavrix::StreamFrame> cutFrames;
    bool bCutOk = true;
    for (std::size_t nPos = 0; nPos < nStream; nPos += nRead) {
        bCutOk = cut.feed(pStream + nPos, std::min(nRead, nStream - nPos), &cutFrames) && bCutOk;
    }
    FUZZ_CHECK(bCutOk == bWholeOk && SameFrames(wholeFrames, cutFrames));

    std::string encoded;
    for (const pavrix::StreamFrame& frame : wholeFrames) {
        encoded += pavrix::FrameParser::encode(frame);
    }
    FUZZ_CHECK(encoded.size() <= nStream && encoded.compare(0, encoded.size(), pStream, encoded.size()) == 0);
    if (bWholeOk) {
        FUZZ_CHECK(whole.pending() == nStream - encoded.size() && cut.pending() == whole.pending());
    }
    return 0;
}
