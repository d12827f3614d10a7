// The recordings found around an alarm laid end to end on one slider scale,
// and the arithmetic between slider values and recording times. Pure: no
// library calls, no signals, so it can be tested on its own.
#pragma once

#include <map>
#include <string>
#include <vector>

// One contiguous stretch of recording inside the search window.
struct RecordSegment
{
    int sliderStart = 0;
    int sliderEnd = 0;
    int length = 0;
    std::string date;  // "yyyy-MM-dd", rebuilds a full time on seek
    std::string start; // "yyyy-MM-dd hh:mm:ss", handed to the library
    std::string end;
};

using RecordSegmentMap = std::map<int, RecordSegment>;

// One file of the library's search result, texts as the library gave them.
struct RecordFile
{
    std::string start;
    std::string end;
};

class CRecordTable
{
public:
    // hh*3600 + mm*60 + ss of a "yyyy-MM-dd hh:mm:ss" text; -1 when the text is
    // too short or those places are not digits.
    static int SecondsOfDay(const std::string& strTime);
    // "hh:mm:ss" of a number of seconds.
    static std::string ClockText(int nSeconds);

    // Reads {"FileSize":n,"FileList":[{"StartTime":..,"EndTime":..}]}. False for text
    // that is not a JSON object with "FileSize"; nFileSize is then untouched.
    static bool ParseSearchResult(const char* szText, int& nFileSize, std::vector<RecordFile>& files);

    // The segments of the files inside [strWinStart, strWinStop]. Every slider
    // length to announce is appended to pLengths, in order.
    static RecordSegmentMap Build(const std::vector<RecordFile>& files, const std::string& strWinStart,
                                  const std::string& strWinStop, std::vector<int>* pLengths);

    // Where a slider value lands: the segment key and the full start time to
    // play from. False when no segment holds it or the time would not be positive.
    static bool SeekTarget(const RecordSegmentMap& segments, int nValue, int& nKey, std::string& strStart);

    struct Position
    {
        bool bBeforeFirst = false; // at or before the first segment's start: leave the slider alone
        bool bFound = false;
        int nIndex = 0; // position of the segment in key order; the segment count when none
        int nKey = -1;  // its key
        int nValue = 0; // slider value for the on-screen time
        std::string strEnd;
    };
    // The slider value for an on-screen time (seconds of the day).
    static Position Locate(const RecordSegmentMap& segments, int nOsd);
};
