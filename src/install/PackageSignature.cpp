#include "install/PackageSignature.h"

#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

namespace Signature {

namespace {

struct StoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CertCloseStore(h, 0); }
};
struct MsgTraits {
    using Type = HCRYPTMSG;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CryptMsgClose(h); }
};
struct CertTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CertFreeCertificateContext(h); }
};
struct ChainTraits {
    using Type = PCCERT_CHAIN_CONTEXT;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CertFreeCertificateChain(h); }
};
using UniqueStore = Utils::UniqueResource<StoreTraits>;
using UniqueMsg = Utils::UniqueResource<MsgTraits>;
using UniqueCert = Utils::UniqueResource<CertTraits>;
using UniqueChain = Utils::UniqueResource<ChainTraits>;

std::wstring Hex32(unsigned long value)
{
    wchar_t text[16] = {};
    _snwprintf(text, 15, L"0x%08lX", value);
    return text;
}

std::wstring SubjectText(PCCERT_CONTEXT cert)
{
    const DWORD size = ::CertNameToStrW(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, nullptr, 0);
    if (size <= 1) {
        return L"(no subject)";
    }
    std::wstring text(size, L'\0');
    ::CertNameToStrW(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, text.data(), size);
    text.resize(size - 1);
    return text;
}

Config::Thumbprint CertThumbprint(PCCERT_CONTEXT cert)
{
    return Sha256(cert->pbCertEncoded, cert->cbCertEncoded);
}

// The signature as the file carries it: the signer's certificate (found by the issuer and
// serial number of the first signer) and the certificates shipped with the signature. Read
// with CryptQueryObject whatever WinVerifyTrust says, so a refusal can name the signer.
struct Embedded {
    UniqueStore store;
    UniqueMsg message;
    UniqueCert signer;
};

Embedded ReadEmbeddedSignature(const std::wstring& path)
{
    Embedded embedded;
    DWORD encoding = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
            CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &store, &message, nullptr)) {
        return embedded;
    }
    embedded.store.reset(store);
    embedded.message.reset(message);

    DWORD size = 0;
    if (!::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) {
        return embedded;
    }
    std::vector<unsigned char> buffer(size);
    if (!::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
        return embedded;
    }
    const auto* signerInfo = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    CERT_INFO wanted {};
    wanted.Issuer = signerInfo->Issuer;
    wanted.SerialNumber = signerInfo->SerialNumber;
    embedded.signer.reset(::CertFindCertificateInStore(
        store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
    return embedded;
}

// WinVerifyTrust's verdict on the open file, and the time the signature is to be judged at
// (the time stamp's, when the signature carries one; otherwise now).
struct TrustVerdict {
    LONG status = 0;
    bool hasVerifyTime = false;
    FILETIME verifyTime {};
};

TrustVerdict VerifyTrust(const std::wstring& path, HANDLE file)
{
    WINTRUST_FILE_INFO fileInfo {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file; // the locked handle: the bytes checked are the bytes run

    WINTRUST_DATA data {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    // Revocation is not checked, neither here nor for the chain below. It needs the CA's CRL
    // or OCSP servers, which installers often cannot reach (offline machines, captive portals,
    // proxies): a strict check would refuse or stall those installations, and a soft one is
    // no defence against the attacker on the path, who can block those servers too. What
    // keeps a stranger's program out is the pin; a leaked signing key is answered with a new
    // certificate and a build with a new pin.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    TrustVerdict verdict;
    verdict.status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (data.hWVTStateData) {
        if (CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData)) {
            if (CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0)) {
                verdict.verifyTime = signer->sftVerifyAsOf;
                verdict.hasVerifyTime
                    = signer->sftVerifyAsOf.dwHighDateTime != 0 || signer->sftVerifyAsOf.dwLowDateTime != 0;
            }
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return verdict;
}

Reason ReasonForTrustStatus(LONG status)
{
    switch (static_cast<HRESULT>(status)) {
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case TRUST_E_PROVIDER_UNKNOWN:
        return Reason::NoSignature;
    case TRUST_E_BAD_DIGEST:
        return Reason::BadDigest;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
    case CERT_E_EXPIRED:
    case CERT_E_REVOKED:
    case TRUST_E_EXPLICIT_DISTRUST:
        return Reason::UntrustedChain;
    case CERT_E_WRONG_USAGE:
        return Reason::WrongUsage;
    default:
        return Reason::BadSignature;
    }
}

// Names the chain's first problem; usage first, so a wrong-usage leaf under a trusted root
// says so.
std::pair<Reason, std::wstring> ChainProblem(DWORD status)
{
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) {
        return { Reason::WrongUsage, L"a certificate of the chain is not valid for code signing" };
    }
    if (status & CERT_TRUST_IS_UNTRUSTED_ROOT) {
        return { Reason::UntrustedChain, L"the chain ends in a root that is not trusted" };
    }
    if (status & CERT_TRUST_IS_PARTIAL_CHAIN) {
        return { Reason::UntrustedChain, L"the chain does not reach a root" };
    }
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) {
        return { Reason::UntrustedChain, L"a certificate of the chain is expired or not yet valid" };
    }
    if (status & CERT_TRUST_IS_REVOKED) {
        return { Reason::UntrustedChain, L"a certificate of the chain is revoked" };
    }
    if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) {
        return { Reason::UntrustedChain, L"a certificate of the chain has a bad signature" };
    }
    return { Reason::UntrustedChain, L"the chain has errors" };
}

} // namespace

const wchar_t* ReasonName(Reason reason)
{
    switch (reason) {
    case Reason::Accepted:
        return L"accepted";
    case Reason::PinUnreadable:
        return L"signer pin unreadable";
    case Reason::OpenFailed:
        return L"file not opened";
    case Reason::NoSignature:
        return L"no signature";
    case Reason::BadDigest:
        return L"bad digest";
    case Reason::BadSignature:
        return L"bad signature";
    case Reason::UntrustedChain:
        return L"untrusted chain";
    case Reason::WrongUsage:
        return L"wrong usage";
    case Reason::NotPinned:
        return L"signer not pinned";
    }
    return L"?";
}

std::wstring Result::Describe() const
{
    std::wstring line = Accepted() ? L"signature accepted" : L"signature refused: ";
    if (!Accepted()) {
        line += ReasonName(reason);
    }
    if (!detail.empty()) {
        line += L" (" + detail + L")";
    }
    if (signerThumbprint.empty()) {
        line += L"; signer: none found";
    } else {
        line += L"; signer: \"" + signerSubject + L"\" SHA-256 " + signerThumbprint;
    }
    if (!pinnedSubject.empty()) {
        line += L"; pinned certificate: \"" + pinnedSubject + L"\"";
    }
    return line;
}

Config::Thumbprint Sha256(const unsigned char* data, unsigned long size)
{
    Config::Thumbprint digest {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return digest;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash, const_cast<PUCHAR>(data), size, 0))
            || !BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
            digest = {};
        }
        ::BCryptDestroyHash(hash);
    }
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return digest;
}

Result CheckFile(const std::wstring& path, const Config::SignerPin& pin)
{
    Result result;
    if (pin.state != Config::SignerPin::State::Pinned) {
        result.reason = Reason::PinUnreadable;
        result.detail = pin.problem;
        return result;
    }

    // Read-only, shared for reading only: nobody can write, delete or rename the file while
    // we hold it, and a writer that has it open already makes this open fail.
    Utils::UniqueFileHandle file(::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        result.reason = Reason::OpenFailed;
        result.detail = L"error " + std::to_wstring(::GetLastError());
        return result;
    }

    const Embedded embedded = ReadEmbeddedSignature(path);
    if (embedded.signer) {
        result.signerSubject = SubjectText(embedded.signer.get());
        result.signerThumbprint = Config::ThumbprintText(CertThumbprint(embedded.signer.get()));
    }

    // 1. The signature covers the file as it is (WinVerifyTrust). Under Wine this passes for
    //    an intact signature by any certificate at all, and on Windows for any publicly trusted
    //    signer: it proves integrity, not who signed.
    const TrustVerdict trust = VerifyTrust(path, file.get());
    if (trust.status != 0) {
        result.reason = ReasonForTrustStatus(trust.status);
        result.detail = L"WinVerifyTrust " + Hex32(static_cast<unsigned long>(trust.status));
        return result;
    }
    if (!embedded.signer) {
        result.reason = Reason::BadSignature;
        result.detail = L"the signer's certificate is not in the signature";
        return result;
    }

    // 2. Our own chain for the signer, for code signing, with the certificates the signature
    //    ships as extra material, judged at the time stamp's time when there is one.
    LPSTR codeSigning[] = { const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING) };
    CERT_CHAIN_PARA chainPara {};
    chainPara.cbSize = sizeof(chainPara);
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = codeSigning;
    FILETIME verifyTime = trust.verifyTime;
    UniqueChain chain;
    // No revocation flags: see VerifyTrust.
    if (!::CertGetCertificateChain(nullptr, embedded.signer.get(), trust.hasVerifyTime ? &verifyTime : nullptr,
            embedded.store.get(), &chainPara, 0, nullptr, chain.put())
        || !chain || chain.get()->cChain == 0) {
        result.reason = Reason::UntrustedChain;
        result.detail = L"no chain could be built, error " + std::to_wstring(::GetLastError());
        return result;
    }
    const DWORD chainStatus = chain.get()->TrustStatus.dwErrorStatus;
    if (chainStatus != CERT_TRUST_NO_ERROR) {
        auto [reason, text] = ChainProblem(chainStatus);
        result.reason = reason;
        result.detail = text + L", chain status " + Hex32(chainStatus);
        return result;
    }

    // 3. The Authenticode policy on that chain.
    CERT_CHAIN_POLICY_PARA policyPara {};
    policyPara.cbSize = sizeof(policyPara);
    CERT_CHAIN_POLICY_STATUS policyStatus {};
    policyStatus.cbSize = sizeof(policyStatus);
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain.get(), &policyPara, &policyStatus)
        || policyStatus.dwError != 0) {
        const auto code = static_cast<HRESULT>(policyStatus.dwError);
        result.reason = code == CERT_E_WRONG_USAGE ? Reason::WrongUsage : Reason::UntrustedChain;
        result.detail = L"Authenticode policy " + Hex32(policyStatus.dwError);
        return result;
    }

    // 4. Some certificate of that chain, leaf to root, is pinned.
    const CERT_SIMPLE_CHAIN* simple = chain.get()->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
        PCCERT_CONTEXT cert = simple->rgpElement[i]->pCertContext;
        if (pin.Matches(CertThumbprint(cert))) {
            result.reason = Reason::Accepted;
            result.pinnedSubject = SubjectText(cert);
            result.lock = std::move(file);
            return result;
        }
    }
    result.reason = Reason::NotPinned;
    result.detail = L"none of the chain's " + std::to_wstring(simple->cElement) + L" certificates is pinned";
    return result;
}

} // namespace Signature
