// Host-link frames as the module's side reads them: whatever comes in, in one
// read or in two. Every decoded frame encodes back to a frame that decodes to
// the same bytes.
#include "Fuzz.h"
#include "native/CHostFrame.h"

#include <vector>

namespace {

struct Event
{
    CHostFrame::DecodeResult eResult;
    QByteArray baFrame; // decoded: the frame encoded again; dropped: the reason
};

// Takes frames as long as the buffer yields any.
void TakeAll(QByteArray& baBuffer, std::vector<Event>& events)
{
    for (;;) {
        CHostFrame frame;
        QString strError;
        const int nBefore = baBuffer.size();
        const auto eResult = CHostFrame::takeFrame(baBuffer, frame, strError);
        if (eResult == CHostFrame::NeedMore || eResult == CHostFrame::Broken) {
            FUZZ_CHECK(baBuffer.size() == nBefore);
            if (eResult == CHostFrame::Broken)
                events.push_back({eResult, strError.toUtf8()});
            return;
        }
        FUZZ_CHECK(baBuffer.size() < nBefore);
        if (eResult == CHostFrame::Dropped) {
            FUZZ_CHECK(!strError.isEmpty());
            events.push_back({eResult, strError.toUtf8()});
            continue;
        }
        const QByteArray baEncoded = frame.encode();
        FUZZ_CHECK(!baEncoded.isEmpty());
        QByteArray baAgain = baEncoded;
        CHostFrame again;
        FUZZ_CHECK(CHostFrame::takeFrame(baAgain, again, strError) == CHostFrame::Decoded);
        FUZZ_CHECK(baAgain.isEmpty() && again.encode() == baEncoded);
        events.push_back({eResult, baEncoded});
    }
}

} // namespace

FUZZ_TARGET
{
    const QByteArray baInput(reinterpret_cast<const char*>(data), static_cast<int>(size));
    std::vector<Event> whole;
    QByteArray baBuffer = baInput;
    TakeAll(baBuffer, whole);

    std::vector<Event> split;
    QByteArray baSplit = baInput.left(baInput.size() / 2);
    TakeAll(baSplit, split);
    if (split.empty() || split.back().eResult != CHostFrame::Broken) {
        baSplit += baInput.mid(baInput.size() / 2);
        TakeAll(baSplit, split);
    }
    FUZZ_CHECK(split.size() == whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i)
        FUZZ_CHECK(split[i].eResult == whole[i].eResult && split[i].baFrame == whole[i].baFrame);
}
