// The camera verification code as the platform sends it ("ipcValidateCode"):
// Base64 of one AES-128-ECB block under the launch value AesKey.
#pragma once

#include <string>

class CValidateCode
{
public:
    // The code in clear, or empty when the text is not valid Base64, holds
    // less than one block, or does not decrypt. Keys longer than 32 bytes are
    // cut; only the first 16 bytes of the zero-filled key buffer are used.
    static std::string Decrypt(const std::string& strBase64, const std::string& strAesKey);

    static constexpr size_t kBlockBytes = 16;
    static constexpr size_t kKeyBufferBytes = 32;
};
