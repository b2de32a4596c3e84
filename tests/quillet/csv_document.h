// Reads a CSV document back as RFC 4180 defines it, for checking what quillet writes.
#pragma once

#include <string>
#include <vector>

struct CsvDocument {
    bool bom = false;
    std::vector<std::vector<std::string>> rows;
    // Empty when the bytes are a well-formed document: every line end a CRLF, quotes only
    // around whole fields and doubled inside them, the last row ended.
    std::string fault;
};

CsvDocument parse_csv(const std::string& bytes);

// The index of the header's column named name, or -1.
int csv_column(const CsvDocument& document, const std::string& name);

// The value of column name in row index (1 the first row after the header); "?" when missing.
std::string csv_value(const CsvDocument& document, size_t row, const std::string& name);
