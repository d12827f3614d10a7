#pragma once

#include <string>

// The cipher texts the platform and the device cloud hand out.
namespace CodeCipher {

// "ipcValidateCode": Base64 of one AES-128-ECB block of the code, filled up to
// 16 bytes with bytes of value (16 - length), under the 16-character AES key.
// Empty for an empty code or one longer than 15 characters.
std::string encryptValidateCode(const std::string& code, const std::string& aesKey);
// The inverse; empty when the text is not such a block.
std::string decryptValidateCode(const std::string& base64, const std::string& aesKey);

// An encrypted picture: "PVXE", version 1, salt, IV, AES-128-CBC/PKCS#7 of the
// JPEG under the first 16 bytes of SHA-256(salt + code).
std::string encryptPicture(const std::string& jpeg, const std::string& code);
// The inverse; false for a wrong code or a damaged object.
bool decryptPicture(const std::string& object, const std::string& code, std::string& jpeg);

} // namespace CodeCipher
