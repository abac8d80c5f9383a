#pragma once

#include <QByteArray>

#include <simdjson.h>

namespace velmar::launcher {

// Validates a whole JSON document and parses it for reading once. Built for
// documents of a hundred megabytes: the bytes are read where they lie whenever
// their allocation reaches far enough past their end, else copied for the parse
// alone, and the parsed values' memory goes with this object, so it is meant to
// live only while a reader takes the values out.
//
// The rules follow those the launcher has always applied to its documents: a
// UTF-8 byte order mark is skipped, the top level must be an object or an
// array, nesting deeper than 1024 levels fails, and a whole number too large
// for 64 bits reads as the nearest double.
class TJsonDocumentParser
{
public:
    // Grows the allocation of a document that no one else shares so that it can
    // be parsed in place; a large allocation grows without a copy. Shared or
    // borrowed bytes are left alone: those are copied once by parse() instead.
    static void reservePadding(QByteArray& aDocument);

    // False for anything that is no JSON document; root() is valid after true.
    bool parse(const QByteArray& aDocument);
    const simdjson::dom::element& root() const { return m_oRoot; }

private:
    // Copies bytes without padding for the parse only.
    simdjson::error_code parsePadded(const QByteArray& aDocument);
    simdjson::error_code parseBytes(const char* pBytes, size_t nSize);

    simdjson::dom::parser m_oParser;
    simdjson::dom::element m_oRoot;
};

} // namespace velmar::launcher
