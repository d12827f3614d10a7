// The slider scale of a clip: a wrong segment table seeks to the wrong
// second, plays a gap or moves the slider to the wrong place.
#include "playback/CRecordTable.h"

#include <QtTest>

namespace {

const std::string kWinStart = "2024-05-06 10:00:00";
const std::string kWinStop = "2024-05-06 10:02:00";

RecordSegmentMap BuildOf(const std::vector<RecordFile>& files, std::vector<int>* pLengths = nullptr)
{
    return CRecordTable::Build(files, kWinStart, kWinStop, pLengths);
}

} // namespace

class TestRecordTable : public QObject
{
    Q_OBJECT
private slots:
    void secondsOfDayReadsTheClockAndRejectsOddText()
    {
        QCOMPARE(CRecordTable::SecondsOfDay("2024-05-06 10:02:03"), 10 * 3600 + 2 * 60 + 3);
        QCOMPARE(CRecordTable::SecondsOfDay("2024-05-06 00:00:00"), 0);
        QCOMPARE(CRecordTable::SecondsOfDay("2024-05-06 23:59:59"), 86399);
        QCOMPARE(CRecordTable::SecondsOfDay("2024-05-06 10:02"), -1);
        QCOMPARE(CRecordTable::SecondsOfDay("2024-05-06 1x:02:03"), -1);
        QCOMPARE(CRecordTable::SecondsOfDay(""), -1);
        QCOMPARE(CRecordTable::ClockText(3 * 3600 + 4 * 60 + 5), std::string("03:04:05"));
    }

    void searchResultParsing()
    {
        int nSize = -7;
        std::vector<RecordFile> files;
        QVERIFY(CRecordTable::ParseSearchResult(
            R"({"FileSize":2,"FileList":[{"StartTime":"a","EndTime":"b"},{"StartTime":"c","EndTime":"d"}]})",
            nSize, files));
        QCOMPARE(nSize, 2);
        QCOMPARE(files.size(), size_t(2));
        QCOMPARE(files[1].start, std::string("c"));

        // A count larger than the list reads only what is there; odd members read as empty.
        QVERIFY(
            CRecordTable::ParseSearchResult(R"({"FileSize":5,"FileList":[{"StartTime":1}]})", nSize, files));
        QCOMPARE(nSize, 5);
        QCOMPARE(files.size(), size_t(1));
        QVERIFY(files[0].start.empty());

        nSize = -7;
        QVERIFY(!CRecordTable::ParseSearchResult("not json", nSize, files));
        QVERIFY(!CRecordTable::ParseSearchResult(R"({"FileList":[]})", nSize, files));
        QVERIFY(!CRecordTable::ParseSearchResult(R"({"FileSize":"2"})", nSize, files));
        QVERIFY(!CRecordTable::ParseSearchResult("[1,2]", nSize, files));
        QVERIFY(!CRecordTable::ParseSearchResult(nullptr, nSize, files));
        QCOMPARE(nSize, -7);
    }

    void singleFileHasExactLengthAndClipsToTheWindow()
    {
        std::vector<int> lengths;
        const RecordSegmentMap segments = BuildOf({{"2024-05-06 09:59:00", "2024-05-06 10:05:00"}}, &lengths);
        QCOMPARE(segments.size(), size_t(1));
        const RecordSegment& segment = segments.at(0);
        QCOMPARE(segment.sliderStart, 0);
        QCOMPARE(segment.length, 120);
        QCOMPARE(segment.sliderEnd, 120);
        QCOMPARE(segment.start, kWinStart);
        QCOMPARE(segment.end, kWinStop);
        QCOMPARE(segment.date, std::string("2024-05-06"));
        QCOMPARE(lengths, std::vector<int>({120}));
    }

    void anOverlappingFilePlaysOnFromWhereTheLastEnded()
    {
        // The second file starts before the first one ends: its segment must
        // begin where the first stopped, not at the window's start.
        const RecordSegmentMap segments = BuildOf(
            {{"2024-05-06 10:00:10", "2024-05-06 10:00:40"}, {"2024-05-06 10:00:30", "2024-05-06 10:01:10"}});
        QCOMPARE(segments.size(), size_t(2));
        const RecordSegment& second = segments.at(1);
        QCOMPARE(second.start, std::string("2024-05-06 10:00:40"));
        QCOMPARE(second.sliderStart, segments.at(0).sliderEnd);
        QCOMPARE(second.length, 29);
        // A picture at 10:00:50 is ten seconds into the second segment.
        const CRecordTable::Position position = CRecordTable::Locate(segments, 10 * 3600 + 50);
        QVERIFY(position.bFound);
        QCOMPARE(position.nValue, second.sliderStart + 10);
        int nKey = -1;
        std::string strStart;
        QVERIFY(CRecordTable::SeekTarget(segments, second.sliderStart + 5, nKey, strStart));
        QCOMPARE(strStart, std::string("2024-05-06 10:00:45"));
    }

    void twoFilesWithAGapLieEndToEndOneSecondShorterEach()
    {
        std::vector<int> lengths;
        const RecordSegmentMap segments = BuildOf(
            {{"2024-05-06 10:00:30", "2024-05-06 10:01:00"}, {"2024-05-06 10:01:20", "2024-05-06 10:03:00"}},
            &lengths);
        QCOMPARE(segments.size(), size_t(2));
        const RecordSegment& first = segments.at(0);
        QCOMPARE(first.start, std::string("2024-05-06 10:00:30"));
        QCOMPARE(first.end, std::string("2024-05-06 10:01:00"));
        QCOMPARE(first.length, 29);
        const RecordSegment& second = segments.at(1);
        QCOMPARE(second.sliderStart, 29);
        QCOMPARE(second.length, 39); // clipped at the window's end, less one
        QCOMPARE(second.sliderEnd, 68);
        QCOMPARE(second.end, kWinStop);
        QCOMPARE(lengths, std::vector<int>({68}));
    }

    void shortAndDuplicateFilesAreDroppedAndTheLengthStillAnnounced()
    {
        std::vector<int> lengths;
        const RecordSegmentMap segments = BuildOf({{"2024-05-06 10:00:10", "2024-05-06 10:00:11"},
                                                   {"2024-05-06 10:00:20", "2024-05-06 10:00:40"},
                                                   {"2024-05-06 10:00:20", "2024-05-06 10:01:40"},
                                                   {"garbage", "2024-05-06 10:00:40"}},
                                                  &lengths);
        QCOMPARE(segments.size(), size_t(1));
        QCOMPARE(segments.at(0).end, std::string("2024-05-06 10:00:40")); // the first of equal starts stays
        QCOMPARE(segments.at(0).length, 20);
        // Files that never became segments must not keep the scale at its default.
        QCOMPARE(lengths, std::vector<int>({20}));
    }

    void aFileInsideTheCoveredPartIsSkippedButKeepsItsKey()
    {
        std::vector<int> lengths;
        const RecordSegmentMap segments = BuildOf({{"2024-05-06 09:59:00", "2024-05-06 10:00:30"},
                                                   {"2024-05-06 10:00:10", "2024-05-06 10:00:31"},
                                                   {"2024-05-06 10:01:00", "2024-05-06 10:01:30"}},
                                                  &lengths);
        QCOMPARE(segments.size(), size_t(2));
        QVERIFY(segments.count(0) && segments.count(2));
        QCOMPARE(segments.at(0).start, kWinStart);
        QCOMPARE(segments.at(0).length, 29);
        QCOMPARE(segments.at(2).sliderStart, 29);
        QCOMPARE(segments.at(2).length, 29);
        QCOMPARE(lengths, std::vector<int>({58}));
    }

    void nothingUsableGivesNoSegments()
    {
        std::vector<int> lengths;
        QVERIFY(BuildOf({}, &lengths).empty());
        QVERIFY(BuildOf({{"2024-05-06 10:05:00", "2024-05-06 10:06:00"}}, &lengths).empty());
        QVERIFY(
            CRecordTable::Build({{"2024-05-06 10:00:00", "2024-05-06 10:01:00"}}, "bad", kWinStop, &lengths)
                .empty());
        QVERIFY(lengths.empty());
    }

    void seekTurnsASliderValueIntoAPlayTime()
    {
        const RecordSegmentMap segments = BuildOf(
            {{"2024-05-06 10:00:30", "2024-05-06 10:01:00"}, {"2024-05-06 10:01:20", "2024-05-06 10:03:00"}});
        int nKey = -1;
        std::string strStart;
        QVERIFY(CRecordTable::SeekTarget(segments, 10, nKey, strStart));
        QCOMPARE(nKey, 0);
        QCOMPARE(strStart, std::string("2024-05-06 10:00:40"));
        QVERIFY(CRecordTable::SeekTarget(segments, 40, nKey, strStart));
        QCOMPARE(nKey, 1);
        QCOMPARE(strStart, std::string("2024-05-06 10:01:31"));
        QVERIFY(!CRecordTable::SeekTarget(segments, 500, nKey, strStart));
        QVERIFY(!CRecordTable::SeekTarget(segments, -1, nKey, strStart));
        // A time of 0 (midnight) or less is never played from.
        RecordSegmentMap midnight;
        midnight[0] = RecordSegment{0, 10, 10, "2024-05-06", "2024-05-06 00:00:00", "2024-05-06 00:00:10"};
        QVERIFY(!CRecordTable::SeekTarget(midnight, 0, nKey, strStart));
    }

    void positionFollowsTheOnScreenTime()
    {
        const RecordSegmentMap segments = BuildOf(
            {{"2024-05-06 10:00:30", "2024-05-06 10:01:00"}, {"2024-05-06 10:01:20", "2024-05-06 10:03:00"}});
        const int nBase = 10 * 3600;
        QVERIFY(CRecordTable::Locate(segments, nBase + 30).bBeforeFirst);
        CRecordTable::Position position = CRecordTable::Locate(segments, nBase + 35);
        QVERIFY(position.bFound);
        QCOMPARE(position.nValue, 5);
        QCOMPARE(position.nIndex, 0);
        position = CRecordTable::Locate(segments, nBase + 90);
        QVERIFY(position.bFound);
        QCOMPARE(position.nIndex, 1);
        QCOMPARE(position.nValue, 29 + 10);
        QCOMPARE(position.strEnd, kWinStop);
        // In the gap: no segment, the walk ends past the last index.
        position = CRecordTable::Locate(segments, nBase + 70);
        QVERIFY(!position.bFound && !position.bBeforeFirst);
        QCOMPARE(position.nIndex, 2);
    }
};

QTEST_APPLESS_MAIN(TestRecordTable)
#include "tst_recordtable.moc"
