#include "csv_document.h"

namespace {

const char BOM[] = "\xEF\xBB\xBF";

struct Reader {
    const std::string& bytes;
    size_t at;
    CsvDocument& document;
};

bool fail(Reader& reader, const std::string& fault)
{
    reader.document.fault = fault + " at byte " + std::to_string(reader.at);
    return false;
}

bool read_quoted(Reader& reader, std::string& field)
{
    ++reader.at;
    for (;;) {
        if (reader.at >= reader.bytes.size())
            return fail(reader, "unclosed quote");
        char c = reader.bytes[reader.at++];
        if (c != '"') {
            field += c;
        } else if (reader.at < reader.bytes.size() && reader.bytes[reader.at] == '"') {
            field += '"';
            ++reader.at;
        } else {
            return true;
        }
    }
}

bool read_plain(Reader& reader, std::string& field)
{
    while (reader.at < reader.bytes.size()) {
        char c = reader.bytes[reader.at];
        if (c == ',' || c == '\r')
            return true;
        if (c == '"' || c == '\n')
            return fail(reader, std::string("bare ") + (c == '"' ? "quote" : "line feed"));
        field += c;
        ++reader.at;
    }
    return true;
}

// One row; false at a fault.
bool read_row(Reader& reader, std::vector<std::string>& row)
{
    for (;;) {
        std::string field;
        bool read = reader.at < reader.bytes.size() && reader.bytes[reader.at] == '"' ? read_quoted(reader, field)
                                                                                      : read_plain(reader, field);
        if (!read)
            return false;
        row.push_back(field);
        if (reader.at >= reader.bytes.size())
            return fail(reader, "last row without its line end");
        if (reader.bytes[reader.at] == ',') {
            ++reader.at;
            continue;
        }
        if (reader.bytes.compare(reader.at, 2, "\r\n") != 0)
            return fail(reader, "field followed by neither comma nor CRLF");
        reader.at += 2;
        return true;
    }
}

} // namespace

CsvDocument parse_csv(const std::string& bytes)
{
    CsvDocument document;
    document.bom = bytes.compare(0, 3, BOM) == 0;
    Reader reader = {bytes, document.bom ? 3u : 0u, document};
    while (reader.at < bytes.size()) {
        std::vector<std::string> row;
        if (!read_row(reader, row))
            break;
        document.rows.push_back(row);
    }
    return document;
}

int csv_column(const CsvDocument& document, const std::string& name)
{
    if (document.rows.empty())
        return -1;
    const std::vector<std::string>& header = document.rows[0];
    for (size_t index = 0; index < header.size(); ++index) {
        if (header[index] == name)
            return static_cast<int>(index);
    }
    return -1;
}

std::string csv_value(const CsvDocument& document, size_t row, const std::string& name)
{
    int column = csv_column(document, name);
    if (column < 0 || row >= document.rows.size() || static_cast<size_t>(column) >= document.rows[row].size())
        return "?";
    return document.rows[row][static_cast<size_t>(column)];
}
