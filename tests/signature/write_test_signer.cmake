# cmake -DTHUMBPRINT=<file with a SHA-256 thumbprint> -DOUT=<source> -P write_test_signer.cmake
# Writes a definition of Config::BuiltInPackageSigner() that returns that thumbprint.
file(READ "${THUMBPRINT}" thumbprint)
string(STRIP "${thumbprint}" thumbprint)
if(NOT thumbprint MATCHES "^[0-9A-F]+$")
  message(FATAL_ERROR "${THUMBPRINT} holds no thumbprint")
endif()
file(WRITE "${OUT}" "#include \"config/InstallerConfig.h\"\n\nstd::wstring Config::BuiltInPackageSigner()\n{\n    return L\"${thumbprint}\";\n}\n")
