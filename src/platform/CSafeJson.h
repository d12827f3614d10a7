// The one way platform JSON is read. Nothing is thrown out of it, nesting is
// bounded before the parser recurses, numbers are range-checked before they are
// converted, and a member of the wrong type is a failure, never an exception.
#pragma once

#include <json/json.h>

#include <climits>
#include <string>

class CSafeJson
{
public:
    // Replies nest a handful of levels; the parser recurses once per level,
    // so anything deeper is refused before it starts.
    static constexpr int kMaxDepth = 64;
    // Alarm and creation times, in ms since the epoch: year 1 to year 9999.
    static constexpr double kMinTimeMs = -62135596800000.0;
    static constexpr double kMaxTimeMs = 253402300799999.0;

    // The whole text as one JSON value. False, with the reason, for text that
    // is not JSON, nests deeper than kMaxDepth or makes the parser throw.
    static bool Parse(const std::string& strText, Json::Value& root, std::string* pReason = nullptr);
    // The same, and the root must be an object.
    static bool ParseObject(const std::string& strText, Json::Value& root, std::string* pReason = nullptr);

    // A member of an object; a null value when absent or when the value is
    // no object (where jsoncpp's own operator[] would throw).
    static const Json::Value& Member(const Json::Value& object, const char* szKey);

    // Values. Each returns false (output untouched) for a wrong type or a
    // value outside its range; null is a wrong type here.
    static bool ToInt(const Json::Value& value, int& nOut, int nMin = INT_MIN, int nMax = INT_MAX);
    static bool ToInt64(const Json::Value& value, long long& nOut, long long nMin, long long nMax);
    // Finite numbers only.
    static bool ToDouble(const Json::Value& value, double& dOut, double dMin, double dMax);
    // Text, or a number or boolean in its text form: the platform sends codes
    // both ways. Arrays and objects have no text form.
    static bool ToText(const Json::Value& value, std::string& strOut);

    // Members that may be missing: absent or null leaves the output as it is
    // and succeeds; present with a wrong type or out of range fails.
    static bool OptInt(const Json::Value& object, const char* szKey, int& nOut, int nMin = INT_MIN,
                       int nMax = INT_MAX);
    static bool OptDouble(const Json::Value& object, const char* szKey, double& dOut, double dMin,
                          double dMax);
    static bool OptText(const Json::Value& object, const char* szKey, std::string& strOut);

    // How deep the text nests, counting brackets outside strings; stops
    // counting past nLimit.
    static int NestingDepth(const std::string& strText, int nLimit);
};
