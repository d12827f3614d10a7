#include "playback/CRecordTable.h"

#include "platform/CSafeJson.h"

#include <json/json.h>

#include <cstdio>
#include <memory>

namespace {

struct KeptFile
{
    int nEnd = 0;
    RecordFile texts;
};

int TwoDigits(const std::string& strTime, size_t nPos)
{
    const char cHigh = strTime[nPos];
    const char cLow = strTime[nPos + 1];
    if (cHigh < '0' || cHigh > '9' || cLow < '0' || cLow > '9') {
        return -1;
    }
    return (cHigh - '0') * 10 + (cLow - '0');
}

std::string TextMember(const Json::Value& element, const char* szKey)
{
    if (!element.isObject()) {
        return std::string();
    }
    const Json::Value& value = element[szKey];
    return value.isString() ? value.asString() : std::string();
}

// Files of at least two seconds, ordered by start; a later file with the same
// start second is dropped.
std::map<int, KeptFile> KeepUsable(const std::vector<RecordFile>& files)
{
    std::map<int, KeptFile> kept;
    for (const RecordFile& file : files) {
        const int nStart = CRecordTable::SecondsOfDay(file.start);
        const int nEnd = CRecordTable::SecondsOfDay(file.end);
        if (nStart < 0 || nEnd < 0 || nStart >= nEnd - 1) {
            continue;
        }
        kept.emplace(nStart, KeptFile{nEnd, file});
    }
    return kept;
}

class SegmentBuilder
{
public:
    SegmentBuilder(const std::string& strWinStart, const std::string& strWinStop, std::vector<int>* pLengths)
        : m_strWinStart(strWinStart), m_strWinStop(strWinStop), m_pLengths(pLengths)
    {
    }

    RecordSegmentMap Run(std::map<int, KeptFile> kept)
    {
        m_nCursor = CRecordTable::SecondsOfDay(m_strWinStart);
        m_strCursorText = m_strWinStart;
        const int nWinEnd = CRecordTable::SecondsOfDay(m_strWinStop);
        m_nTrim = kept.size() >= 2 ? 1 : 0;
        while (m_nCursor < nWinEnd && !kept.empty()) {
            const auto first = kept.begin();
            const int nRecStart = first->first;
            const KeptFile file = first->second;
            kept.erase(first);
            Step(nRecStart, file, nWinEnd, kept.empty());
        }
        // A skipped last file announces nothing itself; the scale still needs its length.
        if (!m_segments.empty() && m_pLengths && (m_pLengths->empty() || m_pLengths->back() != m_nCum)) {
            m_pLengths->push_back(m_nCum);
        }
        return m_segments;
    }

private:
    void Step(int nRecStart, const KeptFile& file, int nWinEnd, bool bLastFile)
    {
        if (nRecStart >= nWinEnd) {
            ++m_nIdx; // outside the window: it would get a negative length
            return;
        }
        const bool bFromCursor = nRecStart <= m_nCursor;
        const int nFrom = bFromCursor ? m_nCursor : nRecStart;
        // A file that overlaps what is already laid out plays from the cursor
        // on, not from the window's start: no footage twice, no shifted scale.
        const std::string strStart = nRecStart < m_nCursor ? m_strCursorText : file.texts.start;
        const std::string strDate = strStart.substr(0, 10);
        if (file.nEnd >= nWinEnd) {
            Append(nWinEnd - nFrom - m_nTrim, strDate, strStart, m_strWinStop);
            Announce();
            m_nCursor = nWinEnd;
            return;
        }
        if (bFromCursor && file.nEnd <= m_nCursor + 1) {
            ++m_nIdx; // nothing new in it, but it keeps its key
            return;
        }
        Append(file.nEnd - nFrom - m_nTrim, strDate, strStart, file.texts.end);
        if (bLastFile) {
            Announce();
        }
        m_nCursor = file.nEnd;
        m_strCursorText = file.texts.end;
    }

    void Append(int nLength, const std::string& strDate, const std::string& strStart,
                const std::string& strEnd)
    {
        RecordSegment segment;
        segment.sliderStart = m_nCum;
        segment.sliderEnd = m_nCum + nLength;
        segment.length = nLength;
        segment.date = strDate;
        segment.start = strStart;
        segment.end = strEnd;
        m_segments[m_nIdx] = segment;
        ++m_nIdx;
        m_nCum += nLength;
    }

    void Announce()
    {
        if (m_pLengths) {
            m_pLengths->push_back(m_nCum);
        }
    }

    const std::string& m_strWinStart;
    const std::string& m_strWinStop;
    std::vector<int>* m_pLengths;
    RecordSegmentMap m_segments;
    int m_nCursor = 0;
    std::string m_strCursorText; // the cursor as a full time text
    int m_nTrim = 0;
    int m_nCum = 0;
    int m_nIdx = 0;
};

} // namespace

int CRecordTable::SecondsOfDay(const std::string& strTime)
{
    if (strTime.size() < 19) {
        return -1;
    }
    const int nHour = TwoDigits(strTime, 11);
    const int nMinute = TwoDigits(strTime, 14);
    const int nSecond = TwoDigits(strTime, 17);
    if (nHour < 0 || nMinute < 0 || nSecond < 0) {
        return -1;
    }
    return nHour * 3600 + nMinute * 60 + nSecond;
}

std::string CRecordTable::ClockText(int nSeconds)
{
    char szText[32];
    std::snprintf(szText, sizeof(szText), "%02d:%02d:%02d", nSeconds / 3600, nSeconds % 3600 / 60,
                  nSeconds % 60);
    return szText;
}

bool CRecordTable::ParseSearchResult(const char* szText, int& nFileSize, std::vector<RecordFile>& files)
{
    if (!szText) {
        return false;
    }
    Json::Value root;
    if (!CSafeJson::Parse(szText, root) || !root.isObject() || !root.isMember("FileSize") ||
        !root["FileSize"].isConvertibleTo(Json::intValue) || root["FileSize"].isString()) {
        return false;
    }
    nFileSize = root["FileSize"].asInt();
    files.clear();
    const Json::Value& list = root["FileList"];
    if (!list.isArray()) {
        return true;
    }
    // Only as many files as both the count and the list hold.
    for (Json::ArrayIndex i = 0; static_cast<int>(i) < nFileSize && i < list.size(); ++i) {
        files.push_back({TextMember(list[i], "StartTime"), TextMember(list[i], "EndTime")});
    }
    return true;
}

RecordSegmentMap CRecordTable::Build(const std::vector<RecordFile>& files, const std::string& strWinStart,
                                     const std::string& strWinStop, std::vector<int>* pLengths)
{
    if (SecondsOfDay(strWinStart) < 0 || SecondsOfDay(strWinStop) < 0) {
        return RecordSegmentMap();
    }
    SegmentBuilder builder(strWinStart, strWinStop, pLengths);
    return builder.Run(KeepUsable(files));
}

bool CRecordTable::SeekTarget(const RecordSegmentMap& segments, int nValue, int& nKey, std::string& strStart)
{
    for (const auto& entry : segments) {
        const RecordSegment& segment = entry.second;
        if (segment.sliderStart <= nValue && nValue <= segment.sliderEnd) {
            const int nTime = nValue - segment.sliderStart + SecondsOfDay(segment.start);
            if (nTime <= 0) {
                return false;
            }
            nKey = entry.first;
            strStart = segment.date + " " + ClockText(nTime);
            return true;
        }
    }
    return false;
}

CRecordTable::Position CRecordTable::Locate(const RecordSegmentMap& segments, int nOsd)
{
    Position position;
    for (const auto& entry : segments) {
        const RecordSegment& segment = entry.second;
        const int nStart = SecondsOfDay(segment.start);
        const int nEnd = SecondsOfDay(segment.end);
        if (position.nIndex == 0 && nOsd <= nStart) {
            position.bBeforeFirst = true;
            return position;
        }
        if (nStart < nOsd && nOsd <= nEnd) {
            position.bFound = true;
            position.nKey = entry.first;
            position.nValue = nOsd - nStart + segment.sliderStart;
            position.strEnd = segment.end;
            return position;
        }
        ++position.nIndex;
    }
    return position;
}
