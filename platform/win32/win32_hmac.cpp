// HMAC-SHA256 of Windows' CNG, bcrypt.dll loaded from the system directory
// for each call and freed after it, so that the call leaves the process as it
// found it and a system without CNG fails the fingerprint alone.
#include <cstdio>
#include <cwchar>
#include <limits>
#include <vector>

#include "platform/win32/win32_cng.h"
#include "platform/win32/win32_platform.h"

namespace hdsn {
namespace {

// STATUS_INVALID_PARAMETER, which winnt.h and ntstatus.h type apart.
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);

std::string NtError(const char* call, NTSTATUS status) {
  char text[64];
  std::snprintf(text, sizeof text, "%s: 0x%08X", call, static_cast<unsigned>(status));
  return text;
}

std::string Win32Error(const char* step, DWORD error) {
  char text[64];
  std::snprintf(text, sizeof text, "%s: %lu", step, static_cast<unsigned long>(error));
  return text;
}

class Algorithm {
 public:
  explicit Algorithm(const CngCalls& cng) : cng_(cng) {}
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  ~Algorithm() {
    if (handle_ != nullptr) cng_.closeAlgorithmProvider(handle_, /*dwFlags=*/0);
  }
  BCRYPT_ALG_HANDLE* out() { return &handle_; }
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  const CngCalls& cng_;
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Hash {
 public:
  explicit Hash(const CngCalls& cng) : cng_(cng) {}
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;
  ~Hash() {
    if (handle_ != nullptr) cng_.destroyHash(handle_);
  }
  BCRYPT_HASH_HANDLE* out() { return &handle_; }
  BCRYPT_HASH_HANDLE get() const { return handle_; }

 private:
  const CngCalls& cng_;
  BCRYPT_HASH_HANDLE handle_ = nullptr;
};

class Library {
 public:
  explicit Library(HMODULE module) : module_(module) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// CNG takes its inputs as PUCHAR though it only reads them, and wants a
// pointer even for no bytes: an empty salt is a key like any other.
PUCHAR Input(std::span<const std::uint8_t> bytes) {
  static UCHAR none = 0;
  return bytes.empty() ? &none : const_cast<PUCHAR>(bytes.data());
}

template <typename Function>
bool Find(HMODULE module, const char* name, Function& function) {
  function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
  return function != nullptr;
}

class Win32Hmac final : public HmacInterface {
 public:
  std::string HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                         Sha256Digest& digest) override {
    // By its full path: a bare name would be looked for in the program's
    // folder and the current directory first.
    wchar_t path[MAX_PATH + 16];
    const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return Win32Error("system-directory", ::GetLastError());
    std::wcscpy(path + length, L"\\bcrypt.dll");
    const Library library(::LoadLibraryW(path));
    if (library.get() == nullptr) return Win32Error("bcrypt.dll", ::GetLastError());
    CngCalls cng;
    if (!Find(library.get(), "BCryptOpenAlgorithmProvider", cng.openAlgorithmProvider) ||
        !Find(library.get(), "BCryptGetProperty", cng.getProperty) ||
        !Find(library.get(), "BCryptCreateHash", cng.createHash) ||
        !Find(library.get(), "BCryptHashData", cng.hashData) ||
        !Find(library.get(), "BCryptFinishHash", cng.finishHash) ||
        !Find(library.get(), "BCryptDestroyHash", cng.destroyHash) ||
        !Find(library.get(), "BCryptCloseAlgorithmProvider", cng.closeAlgorithmProvider))
      return Win32Error("bcrypt.dll-export", ::GetLastError());
    return CngHmacSha256(cng, key, message, digest);
  }
};

}  // namespace

std::string CngHmacSha256(const CngCalls& cng, std::span<const std::uint8_t> key,
                          std::span<const std::uint8_t> message, Sha256Digest& digest) {
  constexpr std::size_t kMost = std::numeric_limits<ULONG>::max();
  if (key.size() > kMost || message.size() > kMost)
    return NtError("BCryptCreateHash", kStatusInvalidParameter);
  Algorithm algorithm(cng);
  NTSTATUS status =
      cng.openAlgorithmProvider(algorithm.out(), BCRYPT_SHA256_ALGORITHM,
                                /*pszImplementation=*/nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  if (!BCRYPT_SUCCESS(status)) return NtError("BCryptOpenAlgorithmProvider", status);
  // Vista wants the hash object's memory from the caller; later versions
  // take it as well.
  DWORD objectLength = 0;
  ULONG written = 0;
  status = cng.getProperty(algorithm.get(), BCRYPT_OBJECT_LENGTH,
                           reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength, &written,
                           /*dwFlags=*/0);
  if (!BCRYPT_SUCCESS(status)) return NtError("BCryptGetProperty", status);
  if (written != sizeof objectLength) return NtError("BCryptGetProperty", kStatusInvalidParameter);
  std::vector<UCHAR> object(objectLength);
  Hash hash(cng);
  status = cng.createHash(algorithm.get(), hash.out(), object.data(), objectLength, Input(key),
                          static_cast<ULONG>(key.size()), /*dwFlags=*/0);
  if (!BCRYPT_SUCCESS(status)) return NtError("BCryptCreateHash", status);
  status = cng.hashData(hash.get(), Input(message), static_cast<ULONG>(message.size()),
                        /*dwFlags=*/0);
  if (!BCRYPT_SUCCESS(status)) return NtError("BCryptHashData", status);
  Sha256Digest result;
  status = cng.finishHash(hash.get(), result.data(), static_cast<ULONG>(result.size()),
                          /*dwFlags=*/0);
  if (!BCRYPT_SUCCESS(status)) return NtError("BCryptFinishHash", status);
  digest = result;
  return "";
}

HmacInterface& GetWin32Hmac() {
  static Win32Hmac hmac;
  return hmac;
}

}  // namespace hdsn
