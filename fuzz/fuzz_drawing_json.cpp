// The drawing-file reader: any text as a drawing file, written back when it
// loads, as a save would. The reader parses with simdjson and gives
// nlohmann's words for text simdjson refuses; simdjson must never take text
// nlohmann refuses, or a file once refused would load.
#include "replacement_host/file/DrawingFile.h"

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16384)
        return -1;
    std::string text(reinterpret_cast<const char*>(data), size);
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (!parser.parse(text).get(root) && !nlohmann::ordered_json::accept(text)) {
        std::fprintf(stderr, "simdjson takes what nlohmann refuses\n");
        std::abort();
    }
    drawingfile::LoadResult r = drawingfile::loadFromText(text, "fuzz.json");
    if (r.database)
        drawingfile::toText(*r.database, r.selected);
    return 0;
}
