// Every signature a file carries: each signed-data entry of its certificate table, and the
// signatures nested in each entry's unsigned attributes (what signing tools add when a file is
// signed again with another digest). Who signed, with which digest, and when; whether any is
// trusted stays the trust check's verdict.
#include <windows.h>

#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <string>

#include "extended_info.h"
#include "fault_guard.h"
#include "signer_reading.h"
#include "text_helpers.h"

namespace {

const char NESTED_SIGNATURE_OID[] = "1.3.6.1.4.1.311.2.4.1";
// Signatures are some KiB; an entry this big is no signature.
const DWORD LARGEST_SIGNATURE = 8 << 20;
// More signatures than any signing tool adds: the list stops being read here.
const size_t MOST_SIGNATURES = 64;
const DWORD CERTIFICATE_ALIGNMENT = 8;

struct EntryHeader {
    DWORD length;
    WORD revision;
    WORD type;
};

// One signed message; every handle starts empty so that the clean-up can release what a
// damaged message let the decoding obtain.
struct MessageReading {
    HCRYPTMSG message;
    HCERTSTORE store;
    CMSG_SIGNER_INFO* info;
    PCCERT_CONTEXT certificate;
};

void release_message(MessageReading& reading)
{
    if (reading.certificate != nullptr)
        CertFreeCertificateContext(reading.certificate);
    if (reading.info != nullptr)
        LocalFree(reading.info);
    if (reading.store != nullptr)
        CertCloseStore(reading.store, 0);
    if (reading.message != nullptr)
        CryptMsgClose(reading.message);
}

// The platform's name of the digest ("SHA256"), or its object identifier when it has none.
std::wstring digest_name_of(const char* oid)
{
    PCCRYPT_OID_INFO known =
        CryptFindOIDInfo(CRYPT_OID_INFO_OID_KEY, const_cast<char*>(oid), CRYPT_HASH_ALG_OID_GROUP_ID);
    std::wstring name;
    if (known != nullptr && known->pwszName != nullptr)
        name = known->pwszName;
    else
        for (const char* c = oid; *c != '\0'; ++c)
            name += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(towupper(c));
    return name;
}

bool open_message(const BYTE* data, DWORD size, MessageReading& reading)
{
    reading.message = CryptMsgOpenToDecode(ENCODINGS, 0, 0, 0, nullptr, nullptr);
    DWORD info_size = 0;
    if (reading.message == nullptr || CryptMsgUpdate(reading.message, data, size, TRUE) != TRUE ||
        CryptMsgGetParam(reading.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &info_size) != TRUE || info_size == 0)
        return false;
    reading.info = static_cast<CMSG_SIGNER_INFO*>(LocalAlloc(LMEM_FIXED, info_size));
    if (reading.info == nullptr ||
        CryptMsgGetParam(reading.message, CMSG_SIGNER_INFO_PARAM, 0, reading.info, &info_size) != TRUE)
        return false;
    reading.store = CertOpenStore(CERT_STORE_PROV_MSG, ENCODINGS, 0, 0, reading.message);
    return reading.store != nullptr;
}

SignatureEntry entry_of(MessageReading& reading, bool nested)
{
    SignatureEntry entry = SignatureEntry();
    entry.nested = nested;
    const CMSG_SIGNER_INFO& info = *reading.info;
    entry.digest_algorithm = digest_name_of(info.HashAlgorithm.pszObjId != nullptr ? info.HashAlgorithm.pszObjId : "");
    CERT_INFO wanted = CERT_INFO();
    wanted.Issuer = info.Issuer;
    wanted.SerialNumber = info.SerialNumber;
    reading.certificate =
        CertFindCertificateInStore(reading.store, ENCODINGS, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    if (reading.certificate != nullptr) {
        wchar_t signer[TEXT_CHARS] = {}, issuer[TEXT_CHARS] = {};
        read_certificate_names(reading.certificate, signer, issuer);
        entry.signer = signer;
        entry.issuer = issuer;
    }
    entry.stamped = read_signer_time_stamp(info, entry.signed_on);
    return entry;
}

// One signed message and, for one of the certificate table, those nested in it.
PeStatus add_message(const BYTE* data, DWORD size, bool nested, SignatureValues& values)
{
    MessageReading reading = {};
    PeStatus status = PE_DAMAGED;
    if (values.entries.size() < MOST_SIGNATURES && open_message(data, size, reading)) {
        status = PE_IMAGE;
        values.entries.push_back(entry_of(reading, nested));
        const CRYPT_ATTRIBUTE* inner =
            nested ? nullptr : find_attribute(reading.info->UnauthAttrs, NESTED_SIGNATURE_OID);
        for (DWORD index = 0; inner != nullptr && index < inner->cValue && status == PE_IMAGE; ++index)
            status = add_message(inner->rgValue[index].pbData, inner->rgValue[index].cbData, true, values);
    } else if (values.entries.size() >= MOST_SIGNATURES) {
        status = PE_IMAGE;
    }
    release_message(reading);
    return status;
}

struct TableEntry {
    const std::string* bytes;
    SignatureValues* values;
    PeStatus status;
};

// The platform decodes data from the file: a fault ends this entry only.
void decode_entry(void* context)
{
    TableEntry& entry = *static_cast<TableEntry*>(context);
    entry.status = add_message(reinterpret_cast<const BYTE*>(entry.bytes->data()),
                               static_cast<DWORD>(entry.bytes->size()), false, *entry.values);
}

PeStatus read_entry_bytes(PeFile& pe, ULONGLONG offset, DWORD size, std::string& bytes)
{
    bytes.assign(size, '\0');
    for (DWORD done = 0; done < size;) {
        DWORD piece = std::min<DWORD>(size - done, PE_WINDOW_BYTES);
        if (!pe_read(pe, offset + done, &bytes[done], piece))
            return pe.read_error != 0 ? PE_READ_FAILED : PE_DAMAGED;
        done += piece;
    }
    return PE_IMAGE;
}

PeStatus read_table_entry(PeFile& pe, ULONGLONG offset, const EntryHeader& header, SignatureValues& values)
{
    if (header.type != WIN_CERT_TYPE_PKCS_SIGNED_DATA)
        return PE_IMAGE;
    if (header.length - sizeof(header) > LARGEST_SIGNATURE)
        return PE_DAMAGED;
    std::string bytes;
    PeStatus status = read_entry_bytes(pe, offset + sizeof(header), header.length - sizeof(header), bytes);
    if (status != PE_IMAGE)
        return status;
    TableEntry entry = {&bytes, &values, PE_DAMAGED};
    return run_guarded(decode_entry, &entry) ? entry.status : PE_DAMAGED;
}

} // namespace

void read_signature_list(PeFile& pe, SignatureValues& values)
{
    PeStatus status = PE_IMAGE;
    if (pe.has_security_entry && pe.security.Size != 0) {
        ULONGLONG offset = pe.security.VirtualAddress;
        ULONGLONG end = offset + pe.security.Size;
        while (status == PE_IMAGE && offset < end && end - offset >= sizeof(EntryHeader)) {
            EntryHeader header;
            if (!pe_read(pe, offset, &header, sizeof(header)))
                status = pe.read_error != 0 ? PE_READ_FAILED : PE_DAMAGED;
            else if (header.length < sizeof(header) || header.length > end - offset)
                status = PE_DAMAGED;
            else
                status = read_table_entry(pe, offset, header, values);
            offset += (static_cast<ULONGLONG>(header.length) + CERTIFICATE_ALIGNMENT - 1) / CERTIFICATE_ALIGNMENT *
                      CERTIFICATE_ALIGNMENT;
        }
    }
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}
