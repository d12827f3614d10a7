#include "CloudClient.h"

#include "PavrixSDK.h"
#include "SdkLog.h"
#include "TimeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>

namespace pavrix {

namespace {

std::string clipQueryText(const ClipQuery& query)
{
    return "device=" + Url::encodeQueryValue(query.device) + "&channel=" + std::to_string(query.channel) +
           "&start=" + Url::encodeQueryValue(query.start) + "&end=" + Url::encodeQueryValue(query.end);
}

int codeForStatus(int status)
{
    switch (status) {
    case 401:
        return OPENSDK_ERR_ACCESS_TOKEN;
    case 403:
        return OPENSDK_ERR_PLAY_CODE;
    case 404:
        return OPENSDK_ERR_NO_CHANNEL;
    case 503:
        return OPENSDK_ERR_DEVICE_OFFLINE;
    default:
        return OPENSDK_ERR_BAD_REPLY;
    }
}

} // namespace

CloudClient CloudClient::fromEnvironment()
{
    const char* env = std::getenv("PAVRIX_CLOUD_URL");
    Url base;
    // No address of its own: without one every call fails as unreachable.
    if (!env || !*env) {
        PVX_ERROR("PAVRIX_CLOUD_URL is not set; the device cloud cannot be reached");
    } else if (!Url::parse(env, &base)) {
        PVX_ERROR("PAVRIX_CLOUD_URL \"%s\" is not an http(s) address; the device cloud cannot be reached",
                  env);
        base = Url();
    }
    while (base.target.size() > 1 && base.target.back() == '/')
        base.target.pop_back();
    if (base.target == "/")
        base.target.clear();
    std::string streamFormat;
    const char* format = std::getenv("PAVRIX_STREAM_FORMAT");
    if (format && *format) {
        streamFormat = streamFormatQuery(format);
        if (streamFormat.empty())
            PVX_ERROR("PAVRIX_STREAM_FORMAT \"%s\" is not <width>x<height>@<fps>; using the cloud's default",
                      format);
    }
    return CloudClient(base, TlsSettings::fromEnvironment(), streamFormat);
}

std::string CloudClient::streamFormatQuery(const std::string& format)
{
    unsigned width = 0;
    unsigned height = 0;
    unsigned fps = 0;
    char end = 0;
    if (std::sscanf(format.c_str(), "%5ux%5u@%3u%c", &width, &height, &fps, &end) != 3 || width == 0 ||
        height == 0 || fps == 0)
        return {};
    return "&size=" + std::to_string(width) + "x" + std::to_string(height) + "&fps=" + std::to_string(fps);
}

Url CloudClient::endpoint(const std::string& path, const std::string& query) const
{
    Url url = m_base;
    url.target = m_base.target.substr(0, m_base.target.find('?')) + path + "?" + query;
    return url;
}

SdkError CloudClient::searchRecords(const ClipQuery& query, const std::string& token,
                                    std::vector<RecordSpan>* spans) const
{
    HttpOptions options;
    options.bearerToken = token;
    options.connectTimeoutMs = 3000;
    options.readTimeoutMs = 5000;
    options.maxBody = 4u << 20;
    const HttpResponse response = m_fetcher.get(endpoint("/v1/records", clipQueryText(query)), options);
    if (!response.answered() || response.status != 200)
        return replyError(response);
    if (!parseRecords(response.body, spans)) {
        PVX_ERROR("record search: reply is not a record list: %.200s", response.body.c_str());
        return {OPENSDK_ERR_BAD_REPLY, "record list does not parse"};
    }
    return SdkError::none();
}

Url CloudClient::framesUrl(const std::string& path, const ClipQuery& query) const
{
    return endpoint(path,
                    clipQueryText(query) + "&code=" + Url::encodeQueryValue(query.code) + m_streamFormat);
}

Url CloudClient::streamUrl(const ClipQuery& query) const
{
    return framesUrl("/v1/stream", query);
}

Url CloudClient::downloadUrl(const ClipQuery& query) const
{
    return framesUrl("/v1/download", query);
}

SdkError CloudClient::replyError(const HttpResponse& response)
{
    switch (response.failure) {
    case HttpResponse::Failure::Network:
        return {OPENSDK_ERR_NETWORK, "network failure: " + response.failureText};
    case HttpResponse::Failure::TooLarge:
        return {OPENSDK_ERR_BAD_REPLY, "reply too large"};
    case HttpResponse::Failure::Aborted:
        return {OPENSDK_ERR_NETWORK, "request aborted"};
    case HttpResponse::Failure::None:
        break;
    }
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(response.body)).object();
    const int code = body.value(QLatin1String("code")).toInt(0);
    const std::string msg = body.value(QLatin1String("msg")).toString().toStdString();
    if (code != 0)
        return {code, msg.empty() ? "HTTP " + std::to_string(response.status) : msg};
    return {codeForStatus(response.status), "HTTP " + std::to_string(response.status)};
}

bool CloudClient::parseRecords(const std::string& body, std::vector<RecordSpan>* spans)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    const QJsonValue records = doc.object().value(QLatin1String("records"));
    if (error.error != QJsonParseError::NoError || !records.isArray())
        return false;
    std::vector<RecordSpan> parsed;
    for (const QJsonValue& item : records.toArray()) {
        RecordSpan span{item.toObject().value(QLatin1String("start")).toString().toStdString(),
                        item.toObject().value(QLatin1String("end")).toString().toStdString()};
        if (!TimeText::isValid(span.start) || !TimeText::isValid(span.end))
            return false;
        parsed.push_back(span);
    }
    *spans = std::move(parsed);
    return true;
}

std::string CloudClient::fileListJson(const std::vector<RecordSpan>& spans)
{
    // Times are validated digits and punctuation, so no escaping is needed.
    std::string text = "{\"FileSize\":" + std::to_string(spans.size()) + ",\"FileList\":[";
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (i)
            text += ',';
        text += "{\"StartTime\":\"" + spans[i].start + "\",\"EndTime\":\"" + spans[i].end + "\"}";
    }
    return text + "]}";
}

} // namespace pavrix
