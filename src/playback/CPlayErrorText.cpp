#include "playback/CPlayErrorText.h"

#include <cstring>

namespace {

struct MessageCodeText
{
    const char* szCode;
    const char* szText;
};

struct ErrorCodeText
{
    unsigned int nCode;
    const char* szText;
};

const MessageCodeText kMessageCodes[] = {
    {"UE110", "设备不支持该清晰度类型"},
    {"UE001", "accesstoken失效"},
    {"UE101", "设备连接数过大，停止其他连接后再试试"},
    {"UE102", "设备不在线，请检查设备网络连接"},
    {"UE104", "验证码错误"},
    {"UE105", "视频播放失败"},
    {"UE103", "播放失败,请求连接设备超时，请检查设备网络连接"},
    {"UE106", "当前账号开启了终端绑定，只允许指定设备登录操作"},
    {"UE108", "未查找到录像文件"},
    {"UE109", "取流并发路数受限"},
};

const ErrorCodeText kErrorCodes[] = {
    {502012, "验证码错误"},
    {502021, "流媒体向设备发送或接受信令超时"},
    {525405, "流媒体向设备发送或接受信令超时"},
    {502604, "设备不在线"},
    {503121, "设备不在线"},
    {510121, "设备不在线"},
    {525404, "设备不在线"},
    {550012, "设备不在线"},
    {506499, "认证服务返回错误"},
    {510024, "相同序列号短时间内大量重复请求"},
    {510041, "设备无法响应"},
    {510046, "设备通道错误"},
    {525415, "设备通道错误"},
    {510053, "设备不支持该码流类型"},
    {525451, "设备不支持该码流类型"},
    {510066, "不支持的回放类型"},
    {510083, "设备资源受限"},
    {510122, "为了保护设备，拒绝请求"},
    {510209, "连接服务器失败"},
    {520037, "VTDU取流请求超时，网络或设备不推流"},
    {525557, "VTDU取流请求超时，网络或设备不推流"},
    {525410, "设备达到最大连接数"},
    {525416, "设备达到最大连接数"},
    {525411, "Token无权限访问,请查看设备是否存在"},
    {550017, "Token无权限访问,请查看设备是否存在"},
    {525452, "设备连接录像流媒体服务器失败"},
    {525491, "相同请求正在处理，拒绝本次处理"},
    {525544, "设备返回无视频源"},
    {525546, "VTDU取流并发2路限制"},
};

} // namespace

QString CPlayErrorText::ForPlayFailure(const char* szMessage, unsigned int nErrorCode)
{
    const QString strText = ForMessageCode(szMessage);
    return strText.isEmpty() ? ForErrorCode(nErrorCode) : strText;
}

QString CPlayErrorText::ForMessageCode(const char* szMessage)
{
    if (!szMessage) {
        return QString();
    }
    for (const MessageCodeText& entry : kMessageCodes) {
        if (std::strcmp(entry.szCode, szMessage) == 0) {
            return QString::fromUtf8(entry.szText);
        }
    }
    return QString();
}

QString CPlayErrorText::ForErrorCode(unsigned int nErrorCode)
{
    if (nErrorCode == 0) {
        return QString();
    }
    for (const ErrorCodeText& entry : kErrorCodes) {
        if (entry.nCode == nErrorCode) {
            return QString::fromUtf8(entry.szText);
        }
    }
    return QStringLiteral("播放异常");
}
