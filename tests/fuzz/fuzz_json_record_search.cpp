// The video library's recording-search result, and the slider scale built
// from it for a two-minute window around an alarm.
#include "Fuzz.h"
#include "playback/CRecordTable.h"

#include <vector>

FUZZ_TARGET
{
    const std::string strText = FuzzText(data, size);
    int nFileSize = -4;
    std::vector<RecordFile> files;
    if (!CRecordTable::ParseSearchResult(strText.c_str(), nFileSize, files)) {
        FUZZ_CHECK(nFileSize == -4 && files.empty());
        return;
    }
    FUZZ_CHECK(files.size() <= static_cast<std::size_t>(nFileSize < 0 ? 0 : nFileSize));
    std::vector<int> lengths;
    const RecordSegmentMap segments =
        CRecordTable::Build(files, "2026-12-06 10:00:00", "2026-12-06 10:02:00", &lengths);
    int nPrevEnd = -1;
    for (const auto& entry : segments) {
        const RecordSegment& segment = entry.second;
        FUZZ_CHECK(segment.sliderStart <= segment.sliderEnd && segment.sliderStart > nPrevEnd - 1);
        nPrevEnd = segment.sliderEnd;
        int nKey = 0;
        std::string strStart;
        if (CRecordTable::SeekTarget(segments, segment.sliderStart, nKey, strStart))
            FUZZ_CHECK(CRecordTable::SecondsOfDay(strStart) >= 0);
    }
    for (int nOsd : {0, 36000, 36059, 36120, 86399}) {
        const CRecordTable::Position position = CRecordTable::Locate(segments, nOsd);
        FUZZ_CHECK(!position.bFound || segments.count(position.nKey) == 1);
    }
}
