// Host-link frames as the module's side reads them: whatever comes in, in one
// read or in two. Every decoded frame encodes back to a frame that decodes to
// the same bytes.
#include "Fuzz.h"
#include "native/CHostFrame.h"

#include <utility>
#include <vector>

namespace {

// What each take gave: decoded, the frame encoded again; dropped or broken, the reason.
using Events = std::vector<std::pair<int, QByteArray>>;

// Takes frames until the buffer needs more or is broken.
void TakeAll(QByteArray& baBuffer, Events& events)
{
    for (;;) {
        CHostFrame frame;
        QString strError;
        const int nBefore = baBuffer.size();
        const auto eResult = CHostFrame::takeFrame(baBuffer, frame, strError);
        const bool bKept = eResult == CHostFrame::NeedMore || eResult == CHostFrame::Broken;
        FUZZ_CHECK(bKept == (baBuffer.size() == nBefore));
        if (eResult == CHostFrame::NeedMore)
            return;
        FUZZ_CHECK(eResult == CHostFrame::Decoded || !strError.isEmpty());
        const QByteArray baEncoded = eResult == CHostFrame::Decoded ? frame.encode() : strError.toUtf8();
        events.emplace_back(eResult, baEncoded);
        if (eResult == CHostFrame::Broken)
            return;
        if (eResult == CHostFrame::Decoded) {
            QByteArray baAgain = baEncoded;
            CHostFrame again;
            FUZZ_CHECK(!baEncoded.isEmpty() &&
                       CHostFrame::takeFrame(baAgain, again, strError) == CHostFrame::Decoded);
            FUZZ_CHECK(baAgain.isEmpty() && again.encode() == baEncoded);
        }
    }
}

} // namespace

FUZZ_TARGET
{
    const QByteArray baInput(reinterpret_cast<const char*>(data), static_cast<int>(size));
    Events whole, split;
    QByteArray baBuffer = baInput;
    TakeAll(baBuffer, whole);
    QByteArray baSplit = baInput.left(baInput.size() / 2);
    TakeAll(baSplit, split);
    if (split.empty() || split.back().first != CHostFrame::Broken) {
        baSplit += baInput.mid(baInput.size() / 2);
        TakeAll(baSplit, split);
    }
    FUZZ_CHECK(split == whole);
}
