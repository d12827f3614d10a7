// The encrypted picture format, as the video library reads a downloaded body.
// Input: one byte giving the verification code's length (mod 17), the code,
// then the body.
#include "Fuzz.h"
#include "PictureDecryptor.h"

#include <algorithm>

FUZZ_TARGET
{
    if (size == 0)
        return;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nCodeLen = std::min<std::size_t>(data[0] % 17, input.size());
    const std::string code = input.substr(0, nCodeLen), body = input.substr(nCodeLen);

    std::string picture = "\x01untouched";
    const pavrix::SdkError error = pavrix::PictureDecryptor::decode(body, code, &picture);
    if (!error.ok()) {
        FUZZ_CHECK(picture == "\x01untouched" && error.code != 0);
    } else if (body.compare(0, 4, "PVXE") == 0) {
        FUZZ_CHECK(pavrix::PictureDecryptor::isPicture(picture) && picture.size() < body.size());
    } else {
        FUZZ_CHECK(picture == body);
    }
}
