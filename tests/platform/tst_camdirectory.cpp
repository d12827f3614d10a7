// The camera directory behind the device filter: what a search filters by for
// the name typed, after good and hostile replies.
#include "platform/CCamDirectory.h"

#include <QtTest>

namespace {

const std::string kCameras = R"({"code":"200","data":[
    {"channelName":"Gate","deviceSerial":"D1","channelNo":1},
    {"channelName":"Yard","deviceSerial":"D2","channelNo":0},
    {"channelName":"Gate","deviceSerial":"D3","channelNo":4},
    {"channelName":"NoSerial","channelNo":2},
    {"channelName":"BadChannel","deviceSerial":"D4","channelNo":-1}]})";

} // namespace

class TestCamDirectory : public QObject
{
    Q_OBJECT
private slots:
    void deviceForName()
    {
        CCamDirectory directory;
        std::vector<std::string> names;
        std::string strReason;
        QVERIFY(directory.TakeCamReply(kCameras, names, &strReason));
        QCOMPARE(names, (std::vector<std::string>{"Gate", "Yard", "Gate"}));
        QVERIFY(!strReason.empty()); // names the cameras left out
        // A name never offered must match no device, not every device.
        const std::pair<std::string, CCamDirectory::CAM_ENTRY> kCases[] = {
            {"", {"", -1}},      {"Yard", {"D2", 0}},     {"Gate", {"D1", 1}},
            {"Roof", {"-1", 0}}, {"NoSerial", {"-1", 0}}, {"BadChannel", {"-1", 0}}};
        for (const auto& entry : kCases) {
            const CCamDirectory::CAM_ENTRY device = directory.DeviceFor(entry.first);
            QCOMPARE(device.deviceSerial, entry.second.deviceSerial);
            QCOMPARE(device.channelNo, entry.second.channelNo);
        }
    }

    // A reply that is no camera list offers nothing: a name from the last
    // list no longer picks its camera.
    void hostileReplyOffersNothing()
    {
        for (const std::string& strReply :
             {std::string("<html>"), std::string(R"({"code":"401","data":[]})"), std::string(5000, '[')}) {
            CCamDirectory directory;
            std::vector<std::string> names;
            QVERIFY(directory.TakeCamReply(kCameras, names, nullptr));
            std::string strReason;
            QVERIFY(!directory.TakeCamReply(strReply, names, &strReason));
            QVERIFY(names.empty() && !strReason.empty());
            QCOMPARE(directory.DeviceFor("Yard").deviceSerial, std::string("-1"));
        }
    }

    void organisation()
    {
        CCamDirectory directory;
        QVERIFY(!directory.HasOrg());
        QVERIFY(!directory.TakeOrgReply(R"({"code":"200","data":[{"id":"12"}]})", nullptr));
        QVERIFY(!directory.HasOrg());
        QVERIFY(directory.TakeOrgReply(R"({"code":"200","data":[{"id":12},{"id":13}]})", nullptr));
        QCOMPARE(directory.OrgId(), 12);
        QVERIFY(!directory.TakeOrgReply("{", nullptr)); // the organisation found stays
        QCOMPARE(directory.OrgId(), 12);
    }
};

QTEST_APPLESS_MAIN(TestCamDirectory)
#include "tst_camdirectory.moc"
