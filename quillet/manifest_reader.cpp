// The rights an image's manifest asks for: its RT_MANIFEST resource, found by the platform's
// resource functions on the file loaded as data, read by the platform's XML reader (XmlLite).
#include <windows.h>

#include <initguid.h>
#include <objbase.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <string>

#include "extended_info.h"
#include "fault_guard.h"

namespace {

// Real manifests are a few KiB; a resource this big is no manifest.
const DWORD LARGEST_MANIFEST = 1 << 20;
// Longer values are cut: no manifest value the platform knows is this long.
const size_t LONGEST_VALUE = 256;
const UINT MOST_XML_DEPTH = 64;

typedef HRESULT(WINAPI* create_reader_function)(REFIID, void**, IMalloc*);

// What one manifest reading holds; everything starts empty so that the clean-up releases what
// was obtained.
struct ManifestReading {
    const wchar_t* path;
    HMODULE module;
    std::string bytes;
    bool too_large;
    ManifestValues* values;
};

// The first manifest resource, copied out of the mapped file (a damaged resource directory
// may point outside it: the copy runs guarded).
BOOL CALLBACK take_manifest(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context)
{
    ManifestReading& reading = *reinterpret_cast<ManifestReading*>(context);
    HRSRC resource = FindResourceW(module, name, type);
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
    if (data == nullptr)
        return FALSE;
    reading.values->found = true;
    if (size > LARGEST_MANIFEST)
        reading.too_large = true;
    else
        reading.bytes.assign(static_cast<const char*>(data), size);
    return FALSE;
}

void find_manifest(void* context)
{
    ManifestReading& reading = *static_cast<ManifestReading*>(context);
    EnumResourceNamesW(reading.module, RT_MANIFEST, take_manifest, reinterpret_cast<LONG_PTR>(&reading));
}

// As data only: nothing of the file runs, and any architecture loads.
HMODULE load_as_data(const wchar_t* path)
{
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
        module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::wstring cut(const wchar_t* value)
{
    std::wstring text(value);
    size_t first = text.find_first_not_of(L" \t\r\n");
    size_t last = text.find_last_not_of(L" \t\r\n");
    text = first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
    return text.substr(0, LONGEST_VALUE);
}

void read_execution_level(IXmlReader* reader, ManifestValues& values)
{
    for (HRESULT result = reader->MoveToFirstAttribute(); result == S_OK; result = reader->MoveToNextAttribute()) {
        const wchar_t* name = nullptr;
        const wchar_t* value = nullptr;
        if (FAILED(reader->GetLocalName(&name, nullptr)) || FAILED(reader->GetValue(&value, nullptr)))
            continue;
        if (wcscmp(name, L"level") == 0)
            values.level = cut(value);
        else if (wcscmp(name, L"uiAccess") == 0)
            values.ui_access = cut(value);
    }
}

// The elements of interest, found by their local names whatever namespace the manifest gives
// them: older manifests use older namespaces for the same elements.
PeStatus walk_manifest(IXmlReader* reader, ManifestValues& values)
{
    std::wstring* text_target = nullptr;
    std::wstring long_path;
    XmlNodeType type;
    HRESULT result;
    while ((result = reader->Read(&type)) == S_OK) {
        const wchar_t* name = nullptr;
        if (type == XmlNodeType_Element && SUCCEEDED(reader->GetLocalName(&name, nullptr))) {
            text_target = nullptr;
            if (wcscmp(name, L"requestedExecutionLevel") == 0)
                read_execution_level(reader, values);
            else if (wcscmp(name, L"autoElevate") == 0)
                text_target = &values.auto_elevate;
            else if (wcscmp(name, L"longPathAware") == 0)
                text_target = &long_path;
        } else if (type == XmlNodeType_Text && text_target != nullptr) {
            const wchar_t* value = nullptr;
            if (SUCCEEDED(reader->GetValue(&value, nullptr)))
                *text_target = cut(value);
        } else if (type == XmlNodeType_EndElement) {
            text_target = nullptr;
        }
    }
    values.long_path_aware = _wcsicmp(long_path.c_str(), L"true") == 0;
    return FAILED(result) ? PE_DAMAGED : PE_IMAGE;
}

PeStatus parse_manifest(const std::string& bytes, ManifestValues& values, ValueRead& failure)
{
    HMODULE xmllite = LoadLibraryW(L"xmllite.dll");
    create_reader_function create =
        xmllite != nullptr ? reinterpret_cast<create_reader_function>(GetProcAddress(xmllite, "CreateXmlReader"))
                           : nullptr;
    if (create == nullptr) {
        failure = ValueRead{PE_READ_FAILED, L"show_extended_info::CreateXmlReader", GetLastError()};
        if (xmllite != nullptr)
            FreeLibrary(xmllite);
        return PE_READ_FAILED;
    }
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    IXmlReader* reader = nullptr;
    PeStatus status = PE_DAMAGED;
    if (stream != nullptr && SUCCEEDED(create(IID_IXmlReader, reinterpret_cast<void**>(&reader), nullptr)) &&
        SUCCEEDED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) &&
        SUCCEEDED(reader->SetProperty(XmlReaderProperty_MaxElementDepth, MOST_XML_DEPTH)) &&
        SUCCEEDED(reader->SetInput(stream)))
        status = walk_manifest(reader, values);
    if (reader != nullptr)
        reader->Release();
    if (stream != nullptr)
        stream->Release();
    FreeLibrary(xmllite);
    return status;
}

} // namespace

void read_manifest(const wchar_t* path, ManifestValues& values)
{
    ManifestReading reading = {path, nullptr, std::string(), false, &values};
    reading.module = load_as_data(path);
    if (reading.module == nullptr) {
        DWORD code = GetLastError();
        values.read = code == ERROR_BAD_EXE_FORMAT
                          ? ValueRead{PE_DAMAGED, nullptr, code}
                          : ValueRead{PE_READ_FAILED, L"show_extended_info::LoadLibraryExW", code};
        return;
    }
    bool completed = run_guarded(find_manifest, &reading);
    FreeLibrary(reading.module);
    values.read = ValueRead{PE_IMAGE, nullptr, 0};
    if (!completed || reading.too_large)
        values.read.status = PE_DAMAGED;
    else if (values.found)
        values.read.status = parse_manifest(reading.bytes, values, values.read);
}
