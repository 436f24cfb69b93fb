#include "TrustRoot.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace TestPki {

bool TrustRootCertificate(const std::wstring& derPath, std::wstring& error)
{
    HANDLE file = ::CreateFileW(derPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = L"cannot open " + derPath;
        return false;
    }
    std::vector<BYTE> bytes(::GetFileSize(file, nullptr));
    DWORD got = 0;
    const BOOL read = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    ::CloseHandle(file);
    if (!read || got != bytes.size()) {
        error = L"cannot read " + derPath;
        return false;
    }
    HCERTSTORE store = ::CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, static_cast<const void*>(L"Root"));
    if (!store) {
        error = L"cannot open the machine's Root store, error " + std::to_wstring(::GetLastError());
        return false;
    }
    const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, bytes.data(),
        static_cast<DWORD>(bytes.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (!added) {
        error = L"cannot add " + derPath + L", error " + std::to_wstring(::GetLastError());
    }
    ::CertCloseStore(store, 0);
    return added != FALSE;
}

} // namespace TestPki
