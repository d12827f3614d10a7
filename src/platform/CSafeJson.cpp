#include "platform/CSafeJson.h"

#include <cmath>
#include <exception>
#include <memory>

namespace {

void SetReason(std::string* pReason, const std::string& strReason)
{
    if (pReason) {
        *pReason = strReason;
    }
}

} // namespace

int CSafeJson::NestingDepth(const std::string& strText, int nLimit)
{
    int nDepth = 0;
    int nDeepest = 0;
    bool bInString = false;
    bool bEscaped = false;
    for (const char c : strText) {
        if (bInString) {
            if (bEscaped) {
                bEscaped = false;
            } else if (c == '\\') {
                bEscaped = true;
            } else if (c == '"') {
                bInString = false;
            }
            continue;
        }
        if (c == '"') {
            bInString = true;
        } else if (c == '{' || c == '[') {
            if (++nDepth > nDeepest) {
                nDeepest = nDepth;
                if (nDeepest > nLimit) {
                    return nDeepest;
                }
            }
        } else if ((c == '}' || c == ']') && nDepth > 0) {
            --nDepth;
        }
    }
    return nDeepest;
}

bool CSafeJson::Parse(const std::string& strText, Json::Value& root, std::string* pReason)
{
    root = Json::Value();
    if (strText.empty()) {
        SetReason(pReason, "empty text");
        return false;
    }
    if (NestingDepth(strText, kMaxDepth) > kMaxDepth) {
        SetReason(pReason, "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        return false;
    }
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    // Brackets inside comments can fool the count above; the parser's own
    // limit then ends the read, by throwing, which is caught below.
    builder["stackLimit"] = kMaxDepth + 1;
    try {
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string strErrors;
        Json::Value parsed;
        if (!reader->parse(strText.data(), strText.data() + strText.size(), &parsed, &strErrors)) {
            SetReason(pReason, "not JSON: " + strErrors.substr(0, strErrors.find('\n')));
            return false;
        }
        root.swap(parsed);
        return true;
    } catch (const std::exception& error) {
        SetReason(pReason, std::string("refused by the reader: ") + error.what());
    } catch (...) {
        SetReason(pReason, "refused by the reader");
    }
    root = Json::Value();
    return false;
}

bool CSafeJson::ParseObject(const std::string& strText, Json::Value& root, std::string* pReason)
{
    if (!Parse(strText, root, pReason)) {
        return false;
    }
    if (!root.isObject()) {
        SetReason(pReason, "not a JSON object");
        root = Json::Value();
        return false;
    }
    return true;
}

const Json::Value& CSafeJson::Member(const Json::Value& object, const char* szKey)
{
    static const Json::Value kNull;
    if (!object.isObject()) {
        return kNull;
    }
    const Json::Value* pValue = object.find(szKey, szKey + std::char_traits<char>::length(szKey));
    return pValue ? *pValue : kNull;
}

bool CSafeJson::ToInt64(const Json::Value& value, long long& nOut, long long nMin, long long nMax)
{
    // isInt64 covers integers and integral doubles that fit; asInt64 would
    // throw for the rest.
    if (!value.isInt64()) {
        return false;
    }
    const long long nValue = value.asInt64();
    if (nValue < nMin || nValue > nMax) {
        return false;
    }
    nOut = nValue;
    return true;
}

bool CSafeJson::ToInt(const Json::Value& value, int& nOut, int nMin, int nMax)
{
    long long nValue = 0;
    if (!ToInt64(value, nValue, nMin, nMax)) {
        return false;
    }
    nOut = static_cast<int>(nValue);
    return true;
}

bool CSafeJson::ToDouble(const Json::Value& value, double& dOut, double dMin, double dMax)
{
    if (!value.isNumeric() || value.isBool()) {
        return false;
    }
    const double dValue = value.asDouble();
    if (!std::isfinite(dValue) || dValue < dMin || dValue > dMax) {
        return false;
    }
    dOut = dValue;
    return true;
}

bool CSafeJson::ToText(const Json::Value& value, std::string& strOut)
{
    if (!value.isString() && !value.isNumeric() && !value.isBool()) {
        return false;
    }
    strOut = value.asString();
    return true;
}

bool CSafeJson::OptInt(const Json::Value& object, const char* szKey, int& nOut, int nMin, int nMax)
{
    const Json::Value& value = Member(object, szKey);
    return value.isNull() || ToInt(value, nOut, nMin, nMax);
}

bool CSafeJson::OptDouble(const Json::Value& object, const char* szKey, double& dOut, double dMin,
                          double dMax)
{
    const Json::Value& value = Member(object, szKey);
    return value.isNull() || ToDouble(value, dOut, dMin, dMax);
}

bool CSafeJson::OptText(const Json::Value& object, const char* szKey, std::string& strOut)
{
    const Json::Value& value = Member(object, szKey);
    return value.isNull() || ToText(value, strOut);
}
