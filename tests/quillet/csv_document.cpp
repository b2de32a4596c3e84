#include "csv_document.h"

CsvDocument parse_csv(const std::string& bytes)
{
    CsvDocument document;
    document.bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    size_t at = document.bom ? 3 : 0;
    std::vector<std::string> row;
    while (at < bytes.size() && document.fault.empty()) {
        std::string field;
        if (bytes[at] == '"') {
            // Quoted: anything up to the closing quote, "" standing for one quote.
            size_t close;
            for (close = at + 1; close < bytes.size(); ++close) {
                if (bytes[close] == '"' && bytes.compare(close, 2, "\"\"") != 0)
                    break;
                field += bytes[close];
                close += bytes.compare(close, 2, "\"\"") == 0;
            }
            if (close >= bytes.size()) {
                document.fault = "unclosed quote";
                break;
            }
            at = close + 1;
        } else {
            size_t end = bytes.find_first_of(",\r\n\"", at);
            end = end == std::string::npos ? bytes.size() : end;
            field = bytes.substr(at, end - at);
            at = end;
        }
        row.push_back(field);
        if (at < bytes.size() && bytes[at] == ',') {
            ++at;
        } else if (bytes.compare(at, 2, "\r\n") == 0) {
            document.rows.push_back(row);
            row.clear();
            at += 2;
        } else {
            document.fault = "no comma or CRLF after field " + std::to_string(row.size()) + " of row " +
                             std::to_string(document.rows.size() + 1) + ", byte " + std::to_string(at);
        }
    }
    return document;
}

int csv_column(const CsvDocument& document, const std::string& name)
{
    for (size_t index = 0; !document.rows.empty() && index < document.rows[0].size(); ++index) {
        if (document.rows[0][index] == name)
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
