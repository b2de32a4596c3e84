#include "signer_reading.h"

#include <wincrypt.h>

#include <string.h>

#include "fault_guard.h"
#include "file_properties.h"
#include "report_frame.h"
#include "text_helpers.h"
#include "version_report.h"

namespace {

// A TSTInfo's fifth field is its genTime (RFC 3161).
const DWORD GEN_TIME_FIELD = 4;

// Who signed, as read from the signature itself; every handle starts empty so that the
// clean-up can release whatever a damaged signature let the reading obtain.
struct SignerReading {
    const wchar_t* source;
    HCERTSTORE store;
    HCRYPTMSG message;
    CMSG_SIGNER_INFO* info;
    DWORD info_size;
    PCCERT_CONTEXT certificate;
    bool found;
    wchar_t signer[TEXT_CHARS];
    wchar_t issuer[TEXT_CHARS];
    bool stamped;
    FILETIME signed_on;
};

} // namespace

const CRYPT_ATTRIBUTE* find_attribute(const CRYPT_ATTRIBUTES& attributes, const char* oid)
{
    for (DWORD index = 0; index < attributes.cAttr; ++index) {
        const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[index];
        if (attribute.pszObjId != nullptr && strcmp(attribute.pszObjId, oid) == 0 && attribute.cValue > 0)
            return &attribute;
    }
    return nullptr;
}

namespace {

bool decode_time(LPCSTR type, const CRYPT_DATA_BLOB& value, FILETIME& time)
{
    DWORD size = sizeof(time);
    return CryptDecodeObjectEx(ENCODINGS, type, value.pbData, value.cbData, 0, nullptr, &time, &size) == TRUE;
}

// The decoded structure in memory of its own (LocalFree), or null when data is no such thing.
void* decode_allocated(LPCSTR type, const BYTE* data, DWORD size)
{
    void* decoded = nullptr;
    DWORD decoded_size = 0;
    if (CryptDecodeObjectEx(ENCODINGS, type, data, size, CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &decoded_size) !=
        TRUE)
        return nullptr;
    return decoded;
}

// An Authenticode counter-signature: a signer info whose signing time is the time stamp.
bool read_counter_signature(const CRYPT_DATA_BLOB& value, FILETIME& time)
{
    CMSG_SIGNER_INFO* counter =
        static_cast<CMSG_SIGNER_INFO*>(decode_allocated(PKCS7_SIGNER_INFO, value.pbData, value.cbData));
    if (counter == nullptr)
        return false;
    const CRYPT_ATTRIBUTE* signing_time = find_attribute(counter->AuthAttrs, szOID_RSA_signingTime);
    bool found = signing_time != nullptr && decode_time(szOID_RSA_signingTime, signing_time->rgValue[0], time);
    LocalFree(counter);
    return found;
}

// The genTime field of an encoded TSTInfo.
bool read_gen_time(const BYTE* encoded, DWORD size, FILETIME& time)
{
    CRYPT_SEQUENCE_OF_ANY* fields =
        static_cast<CRYPT_SEQUENCE_OF_ANY*>(decode_allocated(X509_SEQUENCE_OF_ANY, encoded, size));
    if (fields == nullptr)
        return false;
    bool found =
        fields->cValue > GEN_TIME_FIELD && decode_time(X509_CHOICE_OF_TIME, fields->rgValue[GEN_TIME_FIELD], time);
    LocalFree(fields);
    return found;
}

// Some providers hand the token's content over still wrapped in its OCTET STRING.
bool read_wrapped_gen_time(const BYTE* encoded, DWORD size, FILETIME& time)
{
    CRYPT_DATA_BLOB* inner = static_cast<CRYPT_DATA_BLOB*>(decode_allocated(X509_OCTET_STRING, encoded, size));
    if (inner == nullptr)
        return false;
    bool found = read_gen_time(inner->pbData, inner->cbData, time);
    LocalFree(inner);
    return found;
}

// The genTime of the time-stamp token's TSTInfo content.
bool read_token_time(HCRYPTMSG token, FILETIME& time)
{
    DWORD content_size = 0;
    if (CryptMsgGetParam(token, CMSG_CONTENT_PARAM, 0, nullptr, &content_size) != TRUE || content_size == 0)
        return false;
    BYTE* content = static_cast<BYTE*>(VirtualAlloc(nullptr, content_size, MEM_COMMIT, PAGE_READWRITE));
    if (content == nullptr)
        return false;
    bool found = CryptMsgGetParam(token, CMSG_CONTENT_PARAM, 0, content, &content_size) == TRUE &&
                 (read_gen_time(content, content_size, time) || read_wrapped_gen_time(content, content_size, time));
    VirtualFree(content, 0, MEM_RELEASE);
    return found;
}

// An RFC 3161 time stamp: a signed message whose content is the TSTInfo.
bool read_rfc3161_stamp(const CRYPT_DATA_BLOB& value, FILETIME& time)
{
    HCRYPTMSG token = CryptMsgOpenToDecode(ENCODINGS, 0, 0, 0, nullptr, nullptr);
    if (token == nullptr)
        return false;
    bool found = CryptMsgUpdate(token, value.pbData, value.cbData, TRUE) == TRUE && read_token_time(token, time);
    CryptMsgClose(token);
    return found;
}

bool open_signature(SignerReading& reading)
{
    DWORD encoding = 0, content_type = 0, format_type = 0;
    if (CryptQueryObject(CERT_QUERY_OBJECT_FILE, reading.source,
                         CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED | CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                         CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content_type, &format_type, &reading.store,
                         &reading.message, nullptr) != TRUE)
        return false;
    if (CryptMsgGetParam(reading.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &reading.info_size) != TRUE ||
        reading.info_size == 0)
        return false;
    reading.info = static_cast<CMSG_SIGNER_INFO*>(VirtualAlloc(nullptr, reading.info_size, MEM_COMMIT, PAGE_READWRITE));
    return reading.info != nullptr &&
           CryptMsgGetParam(reading.message, CMSG_SIGNER_INFO_PARAM, 0, reading.info, &reading.info_size) == TRUE;
}

// The signature's data may be hostile too: the reading runs guarded like the trust check.
void call_read_signer(void* context)
{
    SignerReading& reading = *static_cast<SignerReading*>(context);
    if (!open_signature(reading))
        return;
    CERT_INFO wanted;
    memset(&wanted, 0, sizeof(wanted));
    wanted.Issuer = reading.info->Issuer;
    wanted.SerialNumber = reading.info->SerialNumber;
    reading.certificate =
        CertFindCertificateInStore(reading.store, ENCODINGS, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    if (reading.certificate == nullptr)
        return;
    read_certificate_names(reading.certificate, reading.signer, reading.issuer);
    reading.stamped = read_signer_time_stamp(*reading.info, reading.signed_on);
    reading.found = true;
}

void release_signer_reading(SignerReading& reading)
{
    if (reading.certificate != nullptr)
        CertFreeCertificateContext(reading.certificate);
    if (reading.info != nullptr)
        VirtualFree(reading.info, 0, MEM_RELEASE);
    if (reading.message != nullptr)
        CryptMsgClose(reading.message);
    if (reading.store != nullptr)
        CertCloseStore(reading.store, 0);
}
} // namespace

bool read_signer_time_stamp(const CMSG_SIGNER_INFO& info, FILETIME& time)
{
    const CRYPT_ATTRIBUTE* counter = find_attribute(info.UnauthAttrs, szOID_RSA_counterSign);
    if (counter != nullptr && read_counter_signature(counter->rgValue[0], time))
        return true;
    const CRYPT_ATTRIBUTE* token = find_attribute(info.UnauthAttrs, szOID_RFC3161_counterSign);
    return token != nullptr && read_rfc3161_stamp(token->rgValue[0], time);
}

void read_certificate_names(PCCERT_CONTEXT certificate, wchar_t* signer, wchar_t* issuer)
{
    CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, signer, TEXT_CHARS);
    CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, issuer, TEXT_CHARS);
}

bool read_signer(const wchar_t* source, SignerFacts& facts)
{
    SignerReading reading;
    memset(&reading, 0, sizeof(reading));
    reading.source = source;
    bool found = run_guarded(call_read_signer, &reading) && reading.found;
    if (found)
        facts = {reading.signer, reading.issuer, reading.stamped, reading.signed_on};
    release_signer_reading(reading);
    return found;
}

void print_signer_lines(const wchar_t* source)
{
    SignerFacts facts;
    if (!read_signer(source, facts))
        return;
    wchar_t signed_on[TEXT_CHARS];
    clear_text_buffer(signed_on);
    if (facts.stamped)
        format_file_time(facts.signed_on, signed_on, TEXT_CHARS);
    else
        copy_text(signed_on, TEXT_CHARS, L"none");
    print_colored_line(7, L"%ls", L"[Signer]\n");
    print_colored_line(2, L"-- %ls --\n", facts.subject.c_str());
    print_colored_line(7, L"%ls", L"[Issuer]\n");
    print_colored_line(2, L"-- %ls --\n", facts.issuer.c_str());
    print_colored_line(7, L"%ls", L"[Signed On]\n");
    print_colored_line(2, L"-- %ls --\n", signed_on);
}
