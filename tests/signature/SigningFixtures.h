#pragma once

#include <string>

// The signed test packages and certificates of tests/signature/CMakeLists.txt.
namespace SigningTest {

// build/bin/signing\<name>
std::wstring Fixture(const std::wstring& name);
// The SHA-256 thumbprint of a test certificate (rootA, leafA, leafB, …), upper-case hex.
std::wstring ThumbprintOf(const std::wstring& certName);
// Trusts rootA and rootB in this Wine prefix's machine Root store (rootC stays untrusted).
// Returns an error text, empty on success.
std::wstring TrustTestRoots();

enum class Change { None, CodeByte, Appended, SignatureByte };
// The file's bytes with one change: a byte of the first section flipped, bytes appended
// after the signature, or a byte of the signature value flipped.
std::string Changed(const std::string& bytes, Change change);

} // namespace SigningTest
