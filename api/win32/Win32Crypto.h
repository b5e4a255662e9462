#pragma once

#include <string>

namespace Tavorin::Api::Win32 {

// Where a decryption ended. Plain C++ on purpose: the Windows check builds and runs this without Qt.
enum class DecryptResult {
    Decrypted,
    NoProvider,  // the AES provider could not be acquired
    KeyRejected, // the key blob was refused (or the key or IV has the wrong length)
    Rejected,    // wrong key, a length that is not a multiple of 16, or bad padding
};

// AES-256-CBC with PKCS#7 padding through CryptoAPI's "Microsoft Enhanced RSA and AES Cryptographic
// Provider". Bytes travel in std::string; `key` has 32 bytes, `iv` 16. `plain` holds the plain text
// when the result is Decrypted and is empty otherwise.
DecryptResult aes256CbcDecrypt(const std::string &key, const std::string &iv, const std::string &ciphertext,
                               std::string &plain);

} // namespace Tavorin::Api::Win32
