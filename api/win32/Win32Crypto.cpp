#include "api/win32/Win32Crypto.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>

#include <cstdint>
#include <cstring>
#include <utility>

namespace Tavorin::Api::Win32 {

namespace {

constexpr std::size_t keyLength = 32;
constexpr std::size_t ivLength = 16;

// PLAINTEXTKEYBLOB of an AES-256 key, as CryptImportKey reads it.
#pragma pack(push, 1)
struct Aes256KeyBlob
{
    BLOBHEADER header;
    DWORD keySize;
    BYTE key[keyLength];
};
#pragma pack(pop)
static_assert(sizeof(Aes256KeyBlob) == 44, "CryptImportKey reads a 44-byte blob");

// Each handle is released on every path that acquired it.
struct Provider
{
    HCRYPTPROV handle = 0;
    ~Provider()
    {
        if (handle)
            CryptReleaseContext(handle, 0);
    }
};

struct Key
{
    HCRYPTKEY handle = 0;
    ~Key()
    {
        if (handle)
            CryptDestroyKey(handle);
    }
};

} // namespace

DecryptResult aes256CbcDecrypt(const std::string &key, const std::string &iv, const std::string &ciphertext,
                               std::string &plain)
{
    plain.clear();
    if (key.size() != keyLength || iv.size() != ivLength)
        return DecryptResult::KeyRejected;

    Provider provider;
    if (!CryptAcquireContextW(&provider.handle, nullptr,
                              L"Microsoft Enhanced RSA and AES Cryptographic Provider", PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT))
        return DecryptResult::NoProvider;

    Aes256KeyBlob blob = {};
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.reserved = 0;
    blob.header.aiKeyAlg = CALG_AES_256;
    blob.keySize = static_cast<DWORD>(keyLength);
    std::memcpy(blob.key, key.data(), keyLength);
    Key aesKey;
    const BOOL imported = CryptImportKey(provider.handle, reinterpret_cast<const BYTE *>(&blob), sizeof blob,
                                         0, 0, &aesKey.handle);
    SecureZeroMemory(&blob, sizeof blob);
    if (!imported)
        return DecryptResult::KeyRejected;

    // CBC is the provider's default for AES; both are set so that nothing depends on that default. A key
    // left with another IV would decrypt the first block wrongly and still pass the padding check.
    DWORD mode = CRYPT_MODE_CBC;
    if (!CryptSetKeyParam(aesKey.handle, KP_MODE, reinterpret_cast<const BYTE *>(&mode), 0) ||
        !CryptSetKeyParam(aesKey.handle, KP_IV, reinterpret_cast<const BYTE *>(iv.data()), 0))
        return DecryptResult::KeyRejected;

    std::string buffer = ciphertext;
    DWORD length = static_cast<DWORD>(buffer.size());
    // Final = TRUE: the whole buffer is the last data, so the padding is checked and removed.
    if (!CryptDecrypt(aesKey.handle, 0, TRUE, 0, reinterpret_cast<BYTE *>(buffer.data()), &length))
        return DecryptResult::Rejected;
    buffer.resize(length);
    plain = std::move(buffer);
    return DecryptResult::Decrypted;
}

} // namespace Tavorin::Api::Win32
