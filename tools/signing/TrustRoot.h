#pragma once

#include <string>

namespace TestPki {

// Adds a DER certificate file to the machine's trusted root store ("Root" of the local
// machine), as an administrator's certificate import would. True when it is there after.
bool TrustRootCertificate(const std::wstring& derPath, std::wstring& error);

} // namespace TestPki
