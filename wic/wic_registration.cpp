// This file contains the registration of the imaging decoder, for every user
// of the machine (DllRegisterServer, what `regsvr32` does, under
// HKLM\Software\Classes) or for one user without administrator rights
// (DllInstall with "user", what `regsvr32 /n /i:user` does, under
// HKCU\Software\Classes). It writes what the imaging component looks for in a
// third-party decoder: the class with its DLL (ThreadingModel Both), its
// instance under the decoder category, its container format, vendor,
// version, extensions, MIME type, pixel format and the signature pattern by
// which it is found for files of any name; and, for the desktop, the .gcmp
// extension with its type and the system's thumbnail provider for pictures
// that an imaging decoder reads. Unregistering removes what registration
// added and nothing else: a .gcmp key that was there before is left alone.
#include <string>

#include "wic/wic_server.h"

#define WIDE_TEXT(text) L##text
#define WIDE(text) WIDE_TEXT(text)

namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";
constexpr wchar_t kDecoderCategory[] = L"{7ED96837-96F0-4812-B211-F13C24117ED3}";
constexpr wchar_t kThumbnailHandler[] = L"ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}";
constexpr wchar_t kImagingThumbnailProvider[] = L"{C7657C4A-9F68-40fa-A4DF-96BC08EB3551}";
constexpr wchar_t kExtension[] = L".gcmp";
constexpr wchar_t kProgId[] = L"orbelint.gcmp";
constexpr wchar_t kMimeType[] = L"image/x-gcmpsh0";
constexpr wchar_t kName[] = L"GCmpSH0 Decoder";

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// The path of this DLL.
std::wstring ModulePath() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModulePath), &module);
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// Writes values under `root`\Software\Classes, stopping at the first failure.
struct Writer {
  HKEY root;
  LONG error = ERROR_SUCCESS;

  void Set(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    if (error != ERROR_SUCCESS) return;
    HKEY opened = nullptr;
    error = RegCreateKeyExW(root, (kClasses + key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &opened, nullptr);
    if (error != ERROR_SUCCESS) return;
    if (data != nullptr)
      error = RegSetValueExW(opened, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(opened);
  }
  void Text(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    Set(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void Number(const std::wstring& key, const wchar_t* name, DWORD number) {
    Set(key, name, REG_DWORD, &number, sizeof number);
  }
  void Key(const std::wstring& key) { Set(key, nullptr, REG_NONE, nullptr, 0); }
};

std::wstring ClassKey() { return L"CLSID\\" + GuidText(kDecoderClass); }
std::wstring InstanceKey() {
  return std::wstring(L"CLSID\\") + kDecoderCategory + L"\\Instance\\" + GuidText(kDecoderClass);
}

// True when `root`\Software\Classes\`key` exists.
bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, (kClasses + key).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return false;
  RegCloseKey(opened);
  return true;
}

// True when the .gcmp key names this decoder's type: it was written here.
bool ExtensionIsOurs(HKEY root) {
  wchar_t value[64] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  return RegGetValueW(root, (std::wstring(kClasses) + kExtension).c_str(), nullptr, RRF_RT_REG_SZ,
                      nullptr, value, &size) == ERROR_SUCCESS &&
         std::wstring(value) == kProgId;
}

LONG Unregister(HKEY root) {
  LONG result = ERROR_SUCCESS;
  auto remove = [&](const std::wstring& key) {
    const LONG error = RegDeleteTreeW(root, (kClasses + key).c_str());
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) result = error;
  };
  if (ExtensionIsOurs(root)) remove(kExtension);
  remove(kProgId);
  remove(InstanceKey());
  remove(ClassKey());
  return result;
}

LONG Register(HKEY root) {
  Writer w{root};
  const std::wstring type = ClassKey();
  w.Text(type, nullptr, kName);
  w.Text(type, L"FriendlyName", kName);
  w.Text(type, L"Author", L"orbelint");
  w.Text(type, L"Vendor", GuidText(kVendor));
  w.Text(type, L"ContainerFormat", GuidText(kContainerFormat));
  w.Text(type, L"Version", WIDE(WIC_VERSION));
  w.Text(type, L"SpecVersion", L"1.0.0.0");
  w.Text(type, L"FileExtensions", kExtension);
  w.Text(type, L"MimeTypes", kMimeType);
  w.Number(type, L"SupportAnimation", 0);
  w.Number(type, L"SupportChromakey", 0);
  w.Number(type, L"SupportLossless", 1);
  w.Number(type, L"SupportMultiframe", 0);
  w.Text(type + L"\\InprocServer32", nullptr, ModulePath());
  w.Text(type + L"\\InprocServer32", L"ThreadingModel", L"Both");
  w.Key(type + L"\\Formats\\" + GuidText(GUID_WICPixelFormat24bppBGR));
  // Found by content: the 8-byte signature at the start, every bit of it.
  const std::wstring pattern = type + L"\\Patterns\\0";
  static const BYTE kSignature[8] = {'G', 'C', 'm', 'p', 'S', 'H', '0', 0};
  static const BYTE kMask[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  w.Number(pattern, L"Position", 0);
  w.Number(pattern, L"Length", sizeof kSignature);
  w.Set(pattern, L"Pattern", REG_BINARY, kSignature, sizeof kSignature);
  w.Set(pattern, L"Mask", REG_BINARY, kMask, sizeof kMask);
  w.Number(pattern, L"EndOfStream", 0);
  w.Text(InstanceKey(), L"CLSID", GuidText(kDecoderClass));
  w.Text(InstanceKey(), L"FriendlyName", kName);
  // The desktop: the file type, and thumbnails through the imaging component.
  w.Text(kProgId, nullptr, L"GCmpSH0 picture");
  w.Text(std::wstring(kProgId) + L"\\" + kThumbnailHandler, nullptr, kImagingThumbnailProvider);
  if (!KeyExists(root, kExtension)) {
    w.Text(kExtension, nullptr, kProgId);
    w.Text(kExtension, L"Content Type", kMimeType);
    w.Text(kExtension, L"PerceivedType", L"image");
    w.Text(std::wstring(kExtension) + L"\\" + kThumbnailHandler, nullptr,
           kImagingThumbnailProvider);
  }
  if (w.error != ERROR_SUCCESS) Unregister(root);
  return w.error;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return HRESULT_FROM_WIN32(Register(HKEY_LOCAL_MACHINE));
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return HRESULT_FROM_WIN32(Unregister(HKEY_LOCAL_MACHINE));
}

// "user": for the current user only; "machine" (or nothing): for every user.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR scope) {
  HKEY root = nullptr;
  if (scope == nullptr || scope[0] == 0 || lstrcmpiW(scope, L"machine") == 0) {
    root = HKEY_LOCAL_MACHINE;
  } else if (lstrcmpiW(scope, L"user") == 0) {
    root = HKEY_CURRENT_USER;
  } else {
    return E_INVALIDARG;
  }
  return HRESULT_FROM_WIN32(install ? Register(root) : Unregister(root));
}
