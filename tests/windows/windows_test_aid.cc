// What the end-to-end check of the Windows program needs from inside wine:
//   windows_test_aid trust FILE.pem      trusts the test authority for good;
//   windows_test_aid snapshot PROGRAM.exe FILE
//       writes what the console of the running PROGRAM.exe shows to FILE, in UTF-8: a line
//       "COLUMNS ROWS" (the buffer's size), a line "LEFT TOP RIGHT BOTTOM" (the window on it,
//       from 0), each row of the window as its characters, then each row again as one
//       attribute per cell in four hexadecimal digits.
// Exit status: 0 done, 1 failed, 2 usage, 3 no such program running.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>  // after windows.h, whose types it uses
#include <wincrypt.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/unique_handle_windows.h"

namespace {

// Adds the PEM certificate in the file at `pem_path` to the current user's root store, where
// WinHTTP looks for the authorities it trusts, for good; false when it cannot. Windows asks
// the operator to confirm a new root authority, so this is for the throwaway wine prefixes
// of the test runs.
bool TrustAuthority(const char* pem_path) {
  std::ifstream in(pem_path, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<unsigned char> der(pem.size());  // the DER form is shorter than its PEM text
  auto length = static_cast<DWORD>(der.size());
  if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &length,
                              nullptr, nullptr)) {
    return false;
  }
  // The registry part of the root store itself: the system store that wine opens for "ROOT"
  // also holds the host's authorities. Wine writes the store out when it is closed.
  const HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                           CERT_SYSTEM_STORE_CURRENT_USER, L"ROOT");
  if (store == nullptr) return false;
  const bool added =
      ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), length,
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
  ::CertCloseStore(store, 0);
  return added;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, nullptr);
  return bytes;
}

DWORD FindProcess(const char* name) {
  const base::UniqueWinHandle processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes.valid()) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = ::Process32FirstW(processes.get(), &entry); more && found == 0;
       more = ::Process32NextW(processes.get(), &entry)) {
    if (::_stricmp(Utf8(entry.szExeFile).c_str(), name) == 0) found = entry.th32ProcessID;
  }
  return found;
}

int Snapshot(const char* program, const std::string& path) {
  const DWORD process = FindProcess(program);
  if (process == 0) return 3;
  ::FreeConsole();
  if (!::AttachConsole(process)) {
    std::fprintf(stderr, "cannot attach to the console (error %lu)\n", ::GetLastError());
    return 1;
  }
  const base::UniqueWinHandle output(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!output.valid() || !::GetConsoleScreenBufferInfo(output.get(), &info)) {
    std::fprintf(stderr, "cannot read the console (error %lu)\n", ::GetLastError());
    return 1;
  }
  const SMALL_RECT window = info.srWindow;
  const int columns = window.Right - window.Left + 1;
  const int rows = window.Bottom - window.Top + 1;
  std::vector<CHAR_INFO> cells(static_cast<std::size_t>(columns) * rows);
  SMALL_RECT region = window;
  if (!::ReadConsoleOutputW(output.get(), cells.data(),
                            COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)},
                            COORD{0, 0}, &region)) {
    std::fprintf(stderr, "cannot read the cells (error %lu)\n", ::GetLastError());
    return 1;
  }

  std::string text = std::to_string(info.dwSize.X) + " " + std::to_string(info.dwSize.Y) + "\n" +
                     std::to_string(window.Left) + " " + std::to_string(window.Top) + " " +
                     std::to_string(window.Right) + " " + std::to_string(window.Bottom) + "\n";
  std::string attributes;
  for (int row = 0; row < rows; ++row) {
    std::wstring characters;
    for (int column = 0; column < columns; ++column) {
      const CHAR_INFO& cell = cells[static_cast<std::size_t>(row) * columns + column];
      characters += cell.Char.UnicodeChar;
      char hex[5];
      std::snprintf(hex, sizeof hex, "%04X", cell.Attributes);
      attributes += hex;
    }
    text += Utf8(characters) + "\n";
    attributes += "\n";
  }
  text += attributes;
  // The check reads the file only after this program has ended.
  std::ofstream file(path, std::ios::binary);
  if (!(file << text).flush()) {
    std::fprintf(stderr, "cannot write the snapshot: %s\n", path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "trust") == 0) {
    if (TrustAuthority(argv[2])) return 0;
    std::fprintf(stderr, "cannot put the authority into the root store\n");
    return 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "snapshot") == 0) return Snapshot(argv[2], argv[3]);
  std::fprintf(stderr, "usage: windows_test_aid trust FILE.pem | snapshot PROGRAM.exe FILE\n");
  return 2;
}
