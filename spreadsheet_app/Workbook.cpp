// The workbook reader: opens the zip package and reads the workbook part,
// its relationships and the styles at once; worksheets and shared strings
// are parsed as their XML streams out of the package, and only as far as the
// cells asked for need. Interface: Workbook, Worksheet and Range in
// Spreadsheet.h.
#include "spreadsheet_app/CellReference.h"
#include "spreadsheet_app/NumberFormat.h"
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"

#include <expat.h>
#include <pugixml.hpp>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>

namespace tessly::spreadsheet {

namespace {

// Uncomputed: a formula saved without its value, which only a calculating
// application can show.
enum class CellType : uint8_t { Number, SharedString, LocalString, Boolean, Error, Uncomputed };

// Kept small: a 50 MB sheet has millions of these.
struct Cell {
    uint32_t row;
    uint32_t col;
    uint32_t style;
    CellType type;
    double number;  // also the string index and the boolean
};

// "_x000D_" escapes stand for characters XML cannot carry.
std::u16string decodeEscapes(std::u16string s)
{
    if (s.find(u"_x") == std::u16string::npos)
        return s;
    std::u16string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && s[i + 6] == u'_') {
            bool hex = true;
            char16_t v = 0;
            for (size_t k = 2; k < 6; ++k) {
                char16_t c = s[i + k];
                int d = c >= u'0' && c <= u'9' ? c - u'0'
                    : c >= u'a' && c <= u'f'   ? c - u'a' + 10
                    : c >= u'A' && c <= u'F'   ? c - u'A' + 10
                                               : -1;
                if (d < 0) {
                    hex = false;
                    break;
                }
                v = static_cast<char16_t>(v * 16 + d);
            }
            if (hex) {
                out.push_back(v);
                i += 6;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

// Texts as the XML holds them, one after the other, converted only when
// shown: far smaller than a string object apiece.
struct TextPool {
    std::string bytes;
    std::vector<uint32_t> starts;  // a part is far below 4 GB

    size_t size() const { return starts.size(); }
    void add(std::string_view text)
    {
        starts.push_back(static_cast<uint32_t>(bytes.size()));
        bytes.append(text);
    }
    std::u16string text(size_t i) const
    {
        size_t end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
        return decodeEscapes(toUtf16(std::string_view(bytes).substr(starts[i], end - starts[i])));
    }
};

struct Sheet {
    std::u16string name;
    std::string part;
    bool isWorksheet = true;
    std::vector<Cell> cells;            // sorted by row, then column
    TextPool strings;                   // of inline, formula and error texts
    bool complete = false;              // every cell read
    bool inOrder = true;                // each cell read so far came after the one before
    uint32_t lastRow = 0, lastCol = 0;  // the last cell read
    std::string failure;                // why the rest of the sheet cannot be read
};

struct DefinedName {
    std::u16string name;
    int localSheet = -1;
    std::string target;
};

const char* localName(const char* n)
{
    const char* c = std::strchr(n, ':');
    return c ? c + 1 : n;
}

bool isNamed(const pugi::xml_node& n, const char* name) { return std::strcmp(localName(n.name()), name) == 0; }

pugi::xml_node child(const pugi::xml_node& n, const char* name)
{
    for (pugi::xml_node c : n.children())
        if (isNamed(c, name))
            return c;
    return {};
}

// Relationship ids sit in a namespace whose prefix varies between producers.
const char* relId(const pugi::xml_node& n)
{
    for (pugi::xml_attribute a : n.attributes())
        if (std::strchr(a.name(), ':') && std::strcmp(localName(a.name()), "id") == 0)
            return a.value();
    return "";
}

std::string joinPart(const std::string& base, const std::string& target)
{
    if (!target.empty() && target[0] == '/')
        return target.substr(1);
    std::filesystem::path p = std::filesystem::path(base).parent_path() / target;
    return p.lexically_normal().generic_string();
}

std::string relsPartOf(const std::string& part)
{
    std::filesystem::path p(part);
    return (p.parent_path() / "_rels" / (p.filename().string() + ".rels")).generic_string();
}

// "B7" for row 7, column 2.
std::string cellName(uint32_t row, uint32_t col)
{
    std::string letters;
    for (; col > 0; col = (col - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (col - 1) % 26));
    return letters + std::to_string(row);
}

// Workbook formats of other applications: the built-in one reads only the
// zip packages of spreadsheet XML.
const char* otherFormat(std::string extension)
{
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, const char*> kFormats[] = {
        {".xls", "binary workbook of Excel 97-2003"},
        {".xlt", "binary template of Excel 97-2003"},
        {".xlsb", "binary workbook"},
        {".ods", "OpenDocument spreadsheet"},
        {".fods", "flat OpenDocument spreadsheet"},
        {".ots", "OpenDocument spreadsheet template"},
        {".csv", "comma-separated text file"},
        {".tsv", "tab-separated text file"},
    };
    for (const auto& [ext, name] : kFormats)
        if (extension == ext)
            return name;
    return nullptr;
}

// Days from 1970-01-01 of a Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

// The largest part read, uncompressed: far above any real worksheet the
// cell field is used with, and a bound on the memory one part can take.
constexpr zip_uint64_t kMaxPartSize = 128u << 20;

struct WorkbookData {
    std::string path;
    zip_t* zip = nullptr;
    bool date1904 = false;
    std::string sharedStringsPart;
    std::vector<std::string> xfFormats;  // format code of each cellXfs entry
    std::vector<Sheet> sheets;           // every sheet, in workbook order
    std::vector<int> worksheets;         // the worksheets among them
    std::vector<DefinedName> names;

    WorkbookData() = default;
    WorkbookData(const WorkbookData&) = delete;
    WorkbookData& operator=(const WorkbookData&) = delete;
    ~WorkbookData()
    {
        loading.clear();  // open parts before their package
        sharedLoad.reset();
        if (zip)
            zip_discard(zip);
    }

    [[noreturn]] void fail(const std::string& problem) const
    {
        throw SpreadsheetError("Workbook '" + path + "': " + problem);
    }

    std::optional<std::string> readPart(const std::string& name) const
    {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(zip, name.c_str(), ZIP_FL_NOCASE, &st) != 0)
            return std::nullopt;
        zip_file_t* f = zip_fopen(zip, name.c_str(), ZIP_FL_NOCASE);
        if (!f)
            fail("cannot read part '" + name + "': " + zip_strerror(zip));
        // The size is the package's own claim: a zip bomb or a forged
        // header is refused before anything is allocated for it.
        if (!(st.valid & ZIP_STAT_SIZE) || st.size > kMaxPartSize) {
            zip_fclose(f);
            fail("part '" + name + "' is too large");
        }
        std::string data(static_cast<size_t>(st.size), '\0');
        zip_int64_t got = zip_fread(f, data.data(), data.size());
        std::string err = got < 0 ? zip_file_strerror(f) : "";
        zip_fclose(f);
        if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
            fail("part '" + name + "' is corrupt" + (err.empty() ? "" : ": " + err));
        return data;
    }

    // The XML is parsed in place, so the text and the DOM share one buffer.
    bool loadXml(const std::string& name, pugi::xml_document& doc, std::string& buffer) const
    {
        auto data = readPart(name);
        if (!data)
            return false;
        buffer = std::move(*data);
        // A text of blanks alone is a text: <t> </t> holds one space.
        pugi::xml_parse_result r =
            doc.load_buffer_inplace(buffer.data(), buffer.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
        if (!r)
            fail("part '" + name + "' is corrupt: " + r.description());
        return true;
    }

    std::map<std::string, std::pair<std::string, std::string>> readRels(const std::string& part) const
    {
        std::map<std::string, std::pair<std::string, std::string>> rels;
        pugi::xml_document doc;
        std::string buf;
        if (!loadXml(relsPartOf(part), doc, buf))
            return rels;
        for (pugi::xml_node r : child(doc, "Relationships").children()) {
            if (!isNamed(r, "Relationship"))
                continue;
            std::string type = r.attribute("Type").value();
            rels[r.attribute("Id").value()] = {type.substr(type.rfind('/') + 1),
                                               joinPart(part, r.attribute("Target").value())};
        }
        return rels;
    }

    void load()
    {
        std::string workbookPart = "xl/workbook.xml";
        {
            pugi::xml_document doc;
            std::string buf;
            if (loadXml("_rels/.rels", doc, buf)) {
                for (pugi::xml_node r : child(doc, "Relationships").children()) {
                    std::string type = r.attribute("Type").value();
                    if (type.size() >= 15 && type.substr(type.size() - 15) == "/officeDocument")
                        workbookPart = joinPart("", r.attribute("Target").value());
                }
            }
        }
        auto rels = readRels(workbookPart);
        {
            pugi::xml_document doc;
            std::string buf;
            if (!loadXml(workbookPart, doc, buf))
                fail("is corrupt: it has no workbook part");
            pugi::xml_node wb = child(doc, "workbook");
            std::string d1904 = child(wb, "workbookPr").attribute("date1904").value();
            date1904 = d1904 == "1" || d1904 == "true";
            for (pugi::xml_node s : child(wb, "sheets").children()) {
                if (!isNamed(s, "sheet"))
                    continue;
                Sheet sheet;
                sheet.name = toUtf16(s.attribute("name").value());
                auto it = rels.find(relId(s));
                if (it != rels.end()) {
                    sheet.isWorksheet = it->second.first == "worksheet";
                    sheet.part = it->second.second;
                } else {
                    sheet.isWorksheet = false;
                }
                if (sheet.isWorksheet)
                    worksheets.push_back(static_cast<int>(sheets.size()));
                sheets.push_back(std::move(sheet));
            }
            for (pugi::xml_node n : child(wb, "definedNames").children()) {
                if (!isNamed(n, "definedName"))
                    continue;
                DefinedName dn;
                dn.name = toUtf16(n.attribute("name").value());
                pugi::xml_attribute local = n.attribute("localSheetId");
                dn.localSheet = local ? local.as_int() : -1;
                dn.target = n.text().get();
                names.push_back(std::move(dn));
            }
        }
        for (const auto& [id, rel] : rels) {
            if (rel.first == "sharedStrings" && sharedStringsPart.empty())
                sharedStringsPart = rel.second;
            else if (rel.first == "styles")
                loadStyles(rel.second);
        }
    }

    void loadStyles(const std::string& part)
    {
        pugi::xml_document doc;
        std::string buf;
        if (!loadXml(part, doc, buf))
            return;
        pugi::xml_node ss = child(doc, "styleSheet");
        std::map<int, std::string> custom;
        for (pugi::xml_node f : child(ss, "numFmts").children())
            if (isNamed(f, "numFmt"))
                custom[f.attribute("numFmtId").as_int()] = f.attribute("formatCode").value();
        for (pugi::xml_node xf : child(ss, "cellXfs").children()) {
            if (!isNamed(xf, "xf"))
                continue;
            int id = xf.attribute("numFmtId").as_int();
            auto it = custom.find(id);
            xfFormats.push_back(it != custom.end() ? it->second : builtinFormatCode(id));
        }
    }

    // A part's XML fed to an expat parser piece by piece as it inflates out
    // of the package: a part is never held whole, inflated or as a tree. A
    // handler may suspend the parse; the next advance() carries on from
    // there, with the inflate and parser state kept.
    struct PartStream {
        std::string name;
        zip_uint64_t size = 0, total = 0;
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file{nullptr, zip_fclose};
        std::unique_ptr<std::remove_pointer_t<XML_Parser>, void (*)(XML_Parser)> parser{nullptr, XML_ParserFree};
        bool suspended = false, lastPiece = false, done = false;
    };

    // Inflated and parsed at a time. Large pieces: fewer calls through the
    // inflater and the parser, and still a few milliseconds' work.
    static constexpr size_t kPiece = 1 << 20;

    // Nothing when the part is missing.
    std::unique_ptr<PartStream> openStream(const std::string& name) const
    {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(zip, name.c_str(), ZIP_FL_NOCASE, &st) != 0)
            return nullptr;
        // The size is the package's own claim: a zip bomb or a forged
        // header is refused before anything is inflated.
        if (!(st.valid & ZIP_STAT_SIZE) || st.size > kMaxPartSize)
            fail("part '" + name + "' is too large");
        auto s = std::make_unique<PartStream>();
        s->name = name;
        s->size = st.size;
        s->file.reset(zip_fopen(zip, name.c_str(), ZIP_FL_NOCASE));
        if (!s->file)
            fail("cannot read part '" + name + "': " + zip_strerror(zip));
        s->parser.reset(XML_ParserCreate(nullptr));
        if (!s->parser)
            fail("part '" + name + "': out of memory");
        return s;
    }

    // Parses until a handler suspends the parse or the part ends (done).
    void advance(PartStream& s, const std::string& handlerError) const
    {
        XML_Parser p = s.parser.get();
        auto suspended = [&](XML_Status status) {
            if (status == XML_STATUS_ERROR) {
                if (!handlerError.empty())
                    throw SpreadsheetError(handlerError);
                fail("part '" + s.name + "' is corrupt: " + XML_ErrorString(XML_GetErrorCode(p)));
            }
            return status == XML_STATUS_SUSPENDED;
        };
        if (s.suspended && (s.suspended = suspended(XML_ResumeParser(p))))
            return;
        while (!s.lastPiece) {
            void* buf = XML_GetBuffer(p, kPiece);
            if (!buf)
                fail("part '" + s.name + "' is too large");
            zip_int64_t got = zip_fread(s.file.get(), buf, kPiece);
            if (got < 0)
                fail("part '" + s.name + "' is corrupt: " + zip_file_strerror(s.file.get()));
            s.total += static_cast<zip_uint64_t>(got);
            if (s.total > s.size)
                fail("part '" + s.name + "' is corrupt");
            s.lastPiece = got == 0;
            if ((s.suspended = suspended(XML_ParseBuffer(p, static_cast<int>(got), s.lastPiece))))
                return;
        }
        if (s.total != s.size)
            fail("part '" + s.name + "' is corrupt");
        s.done = true;
    }

    // Reads a worksheet's cells from parser events: worksheet/sheetData/row/c,
    // a cell's first <v>, or its first <is> with <t> and rich-text <r><t>.
    // It suspends the parse once a cell lies past the one asked for.
    struct SheetReader {
        SheetReader(WorkbookData& b, Sheet& s) : book(b), sheet(s) {}
        WorkbookData& book;
        Sheet& sheet;
        XML_Parser parser = nullptr;
        std::string error;  // set by a handler, which must not throw through the parser
        bool sorted = true;
        uint32_t stopRow = 0, stopCol = 0;
        int depth = 0;
        int matched = 0;  // how many of the open elements are on the cell path
        uint32_t rowNo = 0, colNo = 0;
        Cell cell{};
        // The t attribute; anything unknown reads as a number.
        enum class Type : uint8_t { Number, Shared, Str, Inline, Boolean, Error, Date } type = Type::Number;
        std::string value, inlineText;
        bool hasValue = false, hasInline = false, runTaken = false, hasFormula = false;
        enum class Capture { None, Value, Inline } capture = Capture::None;

        static Type typeOf(const char* t)
        {
            if (!t)
                return Type::Number;
            static const std::pair<const char*, Type> kTypes[] = {{"s", Type::Shared},         {"str", Type::Str},
                                                                  {"inlineStr", Type::Inline}, {"b", Type::Boolean},
                                                                  {"e", Type::Error},          {"d", Type::Date}};
            for (const auto& [name, type] : kTypes)
                if (std::strcmp(t, name) == 0)
                    return type;
            return Type::Number;
        }
        // As pugixml reads whole numbers: blanks first, "0x" for hexadecimal.
        static unsigned long long wholeNumber(const char* text)
        {
            if (!text)
                return 0;
            unsigned long long n = 0;
            const char* p = text;
            for (; *p >= '0' && *p <= '9' && p - text < 18; ++p)
                n = n * 10 + static_cast<unsigned>(*p - '0');
            if (!*p && p != text && (text[0] != '0' || !text[1]))
                return n;
            while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
                ++text;
            bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
            return std::strtoull(text, nullptr, hex ? 16 : 10);
        }
        // Exactly as strtod reads it; from_chars first, as it is several
        // times faster and rounds the same wherever it reads the whole text.
        static double decimal(const std::string& text)
        {
            double d = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
            if (ec == std::errc() && end == text.data() + text.size())
                return d;
            return std::strtod(text.c_str(), nullptr);
        }
        // "B7" as producers write it, read without detours; anything else
        // ("$B$7", lower case, ranges, faults) through the full parser.
        static bool plainCellName(const char* s, uint32_t& row, uint32_t& col)
        {
            uint32_t c = 0, r = 0;
            const char* p = s;
            for (; *p >= 'A' && *p <= 'Z' && p - s < 3; ++p)
                c = c * 26 + static_cast<uint32_t>(*p - 'A' + 1);
            if (p == s || *p < '1' || *p > '9')
                return false;
            const char* digits = p;
            for (; *p >= '0' && *p <= '9' && p - digits < 7; ++p)
                r = r * 10 + static_cast<uint32_t>(*p - '0');
            if (*p || c > kMaxColumn || r > kMaxRow)
                return false;
            row = r;
            col = c;
            return true;
        }
        void stop(std::string message)
        {
            error = std::move(message);
            XML_StopParser(parser, XML_FALSE);
        }

        static void start(void* data, const char* name, const char** attrs)
        {
            auto& r = *static_cast<SheetReader*>(data);
            if (!r.error.empty())
                return;
            ++r.depth;
            if (r.matched != r.depth - 1)
                return;
            const char* local = localName(name);
            switch (r.depth) {
            case 1: r.matched += std::strcmp(local, "worksheet") == 0; break;
            case 2: r.matched += std::strcmp(local, "sheetData") == 0; break;
            case 3: {
                if (std::strcmp(local, "row") != 0)
                    return;
                ++r.matched;
                const char* at = nullptr;
                for (const char** a = attrs; *a; a += 2)
                    if (a[0][0] == 'r' && !a[0][1])
                        at = a[1];
                r.rowNo = at ? static_cast<uint32_t>(wholeNumber(at)) : r.rowNo + 1;
                r.colNo = 0;
                break;
            }
            case 4: {
                if (std::strcmp(local, "c") != 0)
                    return;
                ++r.matched;
                const char *ref = nullptr, *style = nullptr, *type = nullptr;
                for (const char** a = attrs; *a; a += 2) {
                    if (a[0][0] && !a[0][1]) {
                        if (a[0][0] == 'r')
                            ref = a[1];
                        else if (a[0][0] == 's')
                            style = a[1];
                        else if (a[0][0] == 't')
                            type = a[1];
                    }
                }
                if (ref && *ref) {
                    if (!plainCellName(ref, r.rowNo, r.colNo)) {
                        auto rect = parseRangeAddress(ref);
                        if (!rect)
                            return r.stop("Workbook '" + r.book.path + "': sheet '" + toUtf8(r.sheet.name) +
                                          "' has a bad cell address '" + ref + "'");
                        r.colNo = static_cast<uint32_t>(rect->col1);
                        r.rowNo = static_cast<uint32_t>(rect->row1);
                    }
                } else {
                    ++r.colNo;
                }
                r.cell = Cell{r.rowNo, r.colNo, static_cast<uint32_t>(wholeNumber(style)), CellType::Number, 0};
                r.type = typeOf(type);
                r.value.clear();
                r.inlineText.clear();
                r.hasValue = r.hasInline = r.hasFormula = false;
                break;
            }
            case 5:
                if (std::strcmp(local, "v") == 0 && !r.hasValue) {
                    ++r.matched;
                    r.hasValue = true;
                    r.capture = Capture::Value;
                } else if (std::strcmp(local, "is") == 0 && !r.hasInline) {
                    ++r.matched;
                    r.hasInline = true;
                } else if (std::strcmp(local, "f") == 0) {
                    r.hasFormula = true;
                }
                break;
            case 6:
                if (!r.hasInline || r.capture == Capture::Value)
                    return;
                if (std::strcmp(local, "t") == 0) {
                    ++r.matched;
                    r.capture = Capture::Inline;
                } else if (std::strcmp(local, "r") == 0) {
                    ++r.matched;
                    r.runTaken = false;
                }
                break;
            case 7:
                if (r.capture == Capture::None && std::strcmp(local, "t") == 0 && !r.runTaken) {
                    ++r.matched;
                    r.runTaken = true;
                    r.capture = Capture::Inline;
                }
                break;
            default: break;
            }
        }

        static void text(void* data, const char* s, int len)
        {
            auto& r = *static_cast<SheetReader*>(data);
            if (r.capture == Capture::None || r.matched != r.depth)
                return;
            (r.capture == Capture::Value ? r.value : r.inlineText).append(s, static_cast<size_t>(len));
        }

        static void end(void* data, const char*)
        {
            auto& r = *static_cast<SheetReader*>(data);
            if (!r.error.empty())
                return;
            bool onPath = r.matched == r.depth;
            --r.depth;
            if (!onPath)
                return;
            --r.matched;
            if (r.capture != Capture::None && r.depth + 1 >= 5)
                r.capture = Capture::None;
            if (r.depth + 1 == 4) {
                r.finishCell();
                r.passed(r.cell.row, r.cell.col);
            }
        }

        void finishCell()
        {
            // A formula text may be empty; any other formula result may not.
            if (hasFormula && (!hasValue || (type != Type::Str && value.empty()))) {
                cell.type = CellType::Uncomputed;
            } else if (type == Type::Inline) {
                cell.type = CellType::LocalString;
                cell.number = static_cast<double>(sheet.strings.size());
                sheet.strings.add(inlineText);
            } else if (!hasValue) {
                return;  // formatted but empty
            } else if (type == Type::Shared) {
                cell.type = CellType::SharedString;
                cell.number = static_cast<double>(static_cast<uint32_t>(wholeNumber(value.c_str())));
            } else if (type == Type::Str || type == Type::Error) {
                cell.type = type == Type::Error ? CellType::Error : CellType::LocalString;
                cell.number = static_cast<double>(sheet.strings.size());
                sheet.strings.add(value);
            } else if (type == Type::Boolean) {
                cell.type = CellType::Boolean;
                cell.number = std::strtol(value.c_str(), nullptr, 10) != 0;
            } else if (type == Type::Date) {
                cell.number = book.isoDateToSerial(value.c_str());
            } else {
                cell.number = decimal(value);
            }
            if (!sheet.cells.empty()) {
                const Cell& last = sheet.cells.back();
                if (last.row > cell.row || (last.row == cell.row && last.col >= cell.col))
                    sorted = false;
            }
            sheet.cells.push_back(cell);
        }

        // Every cell up to the last one read is known as long as each came
        // after the one before, as every producer writes them. Once one comes
        // out of order the sheet is read through and sorted; one that would
        // come only further on than the cells asked for is not waited for.
        void passed(uint32_t row, uint32_t col)
        {
            if (row < sheet.lastRow || (row == sheet.lastRow && col <= sheet.lastCol))
                sheet.inOrder = false;
            sheet.lastRow = row;
            sheet.lastCol = col;
            if (sheet.inOrder && (row > stopRow || (row == stopRow && col > stopCol)))
                XML_StopParser(parser, XML_TRUE);
        }
    };

    struct SheetLoad {
        SheetLoad(WorkbookData& book, Sheet& sheet) : reader(book, sheet) {}
        std::unique_ptr<PartStream> stream;
        SheetReader reader;
    };
    std::map<int, std::unique_ptr<SheetLoad>> loading;  // sheets read in part, by index

    // The sheet with every cell up to (row, col), rows first, read. A sheet
    // is read as its XML streams out of the package, only as far as asked;
    // only the compact cell list stays. A sheet found broken keeps the cells
    // read before the fault and fails every request past them alike.
    const Sheet& sheetThrough(int index, uint32_t row, uint32_t col)
    {
        Sheet& sheet = sheets[static_cast<size_t>(index)];
        if (sheet.complete || (sheet.inOrder && (sheet.lastRow > row || (sheet.lastRow == row && sheet.lastCol > col))))
            return sheet;
        if (!sheet.failure.empty())
            throw SpreadsheetError(sheet.failure);
        try {
            std::unique_ptr<SheetLoad>& load = loading[index];
            if (!load) {
                load = std::make_unique<SheetLoad>(*this, sheet);
                load->stream = openStream(sheet.part);
                if (!load->stream)
                    fail("sheet '" + toUtf8(sheet.name) + "' is missing from the file");
                XML_Parser p = load->stream->parser.get();
                load->reader.parser = p;
                XML_SetUserData(p, &load->reader);
                XML_SetElementHandler(p, SheetReader::start, SheetReader::end);
                XML_SetCharacterDataHandler(p, SheetReader::text);
                sheet.cells.reserve(
                    static_cast<size_t>(load->stream->size / 32));  // about the smallest a cell's XML is
            }
            // A sheet of one piece is read whole: stopping early saves
            // nothing there, and a row out of order is found whatever is asked.
            bool whole = load->stream->size <= kPiece;
            load->reader.stopRow = whole ? UINT32_MAX : row;
            load->reader.stopCol = whole ? UINT32_MAX : col;
            advance(*load->stream, load->reader.error);
            if (load->stream->done) {
                if (!load->reader.sorted) {
                    std::stable_sort(sheet.cells.begin(), sheet.cells.end(), [](const Cell& a, const Cell& b) {
                        return a.row != b.row ? a.row < b.row : a.col < b.col;
                    });
                }
                if (sheet.cells.capacity() > sheet.cells.size() + sheet.cells.size() / 4)
                    sheet.cells.shrink_to_fit();
                sheet.complete = true;
                loading.erase(index);
            }
        } catch (const SpreadsheetError& e) {
            sheet.failure = e.what();
            loading.erase(index);
            throw;
        }
        return sheet;
    }

    // Reads shared string items from parser events: sst/si, each item's text
    // of <t> and of the first <t> of each rich-text run <r>; phonetic runs are
    // not shown. It suspends the parse once the item asked for is read.
    struct StringsReader {
        explicit StringsReader(TextPool& s) : strings(s) {}
        TextPool& strings;
        XML_Parser parser = nullptr;
        std::string error;  // no handler fails
        size_t stopAfter = 0;
        int depth = 0;
        int matched = 0;  // how many of the open elements are on the text path
        bool capture = false, runTaken = false;
        std::string item;

        static void start(void* data, const char* name, const char**)
        {
            auto& r = *static_cast<StringsReader*>(data);
            ++r.depth;
            if (r.matched != r.depth - 1)
                return;
            const char* local = localName(name);
            switch (r.depth) {
            case 1: r.matched += std::strcmp(local, "sst") == 0; break;
            case 2:
                if (std::strcmp(local, "si") != 0)
                    return;
                ++r.matched;
                r.item.clear();
                break;
            case 3:
                if (std::strcmp(local, "t") == 0) {
                    ++r.matched;
                    r.capture = true;
                } else if (std::strcmp(local, "r") == 0) {
                    ++r.matched;
                    r.runTaken = false;
                }
                break;
            case 4:
                if (!r.capture && !r.runTaken && std::strcmp(local, "t") == 0) {
                    ++r.matched;
                    r.runTaken = true;
                    r.capture = true;
                }
                break;
            default: break;
            }
        }

        static void text(void* data, const char* s, int len)
        {
            auto& r = *static_cast<StringsReader*>(data);
            if (r.capture && r.matched == r.depth)
                r.item.append(s, static_cast<size_t>(len));
        }

        static void end(void* data, const char*)
        {
            auto& r = *static_cast<StringsReader*>(data);
            bool onPath = r.matched == r.depth;
            --r.depth;
            if (!onPath)
                return;
            --r.matched;
            r.capture = false;
            if (r.depth + 1 == 2) {
                r.strings.add(r.item);
                if (r.strings.size() > r.stopAfter)
                    XML_StopParser(r.parser, XML_TRUE);
            }
        }
    };

    struct StringsLoad {
        explicit StringsLoad(TextPool& strings) : reader(strings) {}
        std::unique_ptr<PartStream> stream;
        StringsReader reader;
    };
    TextPool sharedStrings;  // those read so far
    std::unique_ptr<StringsLoad> sharedLoad;
    bool sharedComplete = false;
    std::string sharedFailure;  // why the rest cannot be read

    // Shared strings are read only when a cell shows one, and only as far
    // as that one; like a sheet, a broken part keeps the items before the
    // fault. An index past the last item is an empty text.
    std::u16string sharedString(size_t index)
    {
        if (index >= sharedStrings.size() && !sharedComplete) {
            if (!sharedFailure.empty())
                throw SpreadsheetError(sharedFailure);
            try {
                if (!sharedLoad) {
                    auto load = std::make_unique<StringsLoad>(sharedStrings);
                    if (!sharedStringsPart.empty())
                        load->stream = openStream(sharedStringsPart);
                    if (!load->stream) {
                        sharedComplete = true;
                        return {};
                    }
                    XML_Parser p = load->stream->parser.get();
                    load->reader.parser = p;
                    XML_SetUserData(p, &load->reader);
                    XML_SetElementHandler(p, StringsReader::start, StringsReader::end);
                    XML_SetCharacterDataHandler(p, StringsReader::text);
                    sharedLoad = std::move(load);
                }
                sharedLoad->reader.stopAfter = index;
                advance(*sharedLoad->stream, sharedLoad->reader.error);
                if (sharedLoad->stream->done) {
                    sharedComplete = true;
                    sharedLoad.reset();
                }
            } catch (const SpreadsheetError& e) {
                sharedFailure = e.what();
                sharedLoad.reset();
                throw;
            }
        }
        return index < sharedStrings.size() ? sharedStrings.text(index) : std::u16string();
    }

    double isoDateToSerial(const char* text) const
    {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0;
        double s = 0;
        std::sscanf(text, "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s);
        if (mo < 1 || mo > 12)
            return 0;
        long long days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
        double serial = static_cast<double>(days - (date1904 ? -24107 : -25569));
        if (!date1904 && serial < 61)
            serial -= 1;  // before the fictitious 29 February 1900
        return serial + (h * 3600 + mi * 60 + s) / 86400.0;
    }

    std::u16string display(const Sheet& sheet, const Cell& cell)
    {
        static const std::string general = "General";
        const std::string& fmt = cell.style < xfFormats.size() ? xfFormats[cell.style] : general;
        switch (cell.type) {
        case CellType::Number: return formatNumber(cell.number, fmt, date1904);
        case CellType::SharedString: return formatText(sharedString(static_cast<size_t>(cell.number)), fmt);
        case CellType::LocalString: return formatText(sheet.strings.text(static_cast<size_t>(cell.number)), fmt);
        case CellType::Error: return sheet.strings.text(static_cast<size_t>(cell.number));
        case CellType::Boolean: return cell.number != 0 ? u"TRUE" : u"FALSE";
        case CellType::Uncomputed:
            fail("sheet '" + toUtf8(sheet.name) + "': " + cellName(cell.row, cell.col) +
                 " holds a formula with no stored value; the built-in application does not compute formulas");
        }
        return {};
    }

    int sheetByName(std::u16string_view name) const
    {
        for (int i : worksheets)
            if (equalsIgnoreCase(sheets[static_cast<size_t>(i)].name, name))
                return i;
        return -1;
    }
};

namespace {

// "Sheet1!$A$1:$B$2" or "'My sheet'!A1" (quotes doubled inside).
bool splitQualified(const std::string& text, std::string& sheet, std::string& address)
{
    size_t bang = text.rfind('!');
    if (bang == std::string::npos)
        return false;
    sheet = text.substr(0, bang);
    address = text.substr(bang + 1);
    if (sheet.size() >= 2 && sheet.front() == '\'' && sheet.back() == '\'') {
        std::string s;
        for (size_t i = 1; i + 1 < sheet.size(); ++i) {
            s.push_back(sheet[i]);
            if (sheet[i] == '\'' && sheet[i + 1] == '\'')
                ++i;
        }
        sheet = s;
    }
    return true;
}

}  // namespace

// ---- Workbook ----

Workbook Workbook::open(const std::u16string& path)
{
    auto data = std::make_shared<WorkbookData>();
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(toUtf8(path)), ec).lexically_normal();
    data->path = p.string();
    if (path.empty() || !std::filesystem::is_regular_file(p, ec))
        data->fail("the file does not exist");
    if (const char* format = otherFormat(p.extension().string()))
        data->fail(std::string("is a ") + format + " (" + p.extension().string() +
                   "), which the built-in application cannot open: it opens .xlsx, .xlsm, .xltx and .xltm "
                   "workbooks; LibreOffice opens this one (--spreadsheet libreoffice)");
    {
        std::ifstream in(p, std::ios::binary);
        unsigned char sig[8] = {};
        in.read(reinterpret_cast<char*>(sig), sizeof sig);
        static const unsigned char ole[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        if (in.gcount() == 8 && std::memcmp(sig, ole, 8) == 0)
            data->fail("the file is encrypted with a password (or is an old binary workbook) and cannot be read");
    }
    int err = 0;
    data->zip = zip_open(data->path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!data->zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, err);
        std::string msg = zip_error_strerror(&ze);
        zip_error_fini(&ze);
        data->fail("the file is corrupt or not a workbook (" + msg + ")");
    }
    data->load();
    return Workbook(std::move(data));
}

std::u16string Workbook::fullName() const { return toUtf16(m_data->path); }
bool Workbook::date1904() const { return m_data->date1904; }
int Workbook::worksheetCount() const { return static_cast<int>(m_data->worksheets.size()); }

Worksheet Workbook::worksheet(int index) const
{
    if (index < 1 || index > worksheetCount())
        m_data->fail("there is no worksheet number " + std::to_string(index) + " (it has " +
                     std::to_string(worksheetCount()) + ")");
    return Worksheet(m_data, m_data->worksheets[static_cast<size_t>(index - 1)]);
}

Worksheet Workbook::worksheetByName(const std::u16string& name) const
{
    int i = m_data->sheetByName(name);
    if (i < 0)
        m_data->fail("there is no worksheet named '" + toUtf8(name) + "'");
    return Worksheet(m_data, i);
}

// ---- Worksheet ----

std::u16string Worksheet::name() const { return m_book->sheets[static_cast<size_t>(m_sheet)].name; }

Range Worksheet::range(const std::u16string& reference) const
{
    std::string ref = toUtf8(reference);
    if (auto rect = parseRangeAddress(ref))
        return Range(m_book, m_sheet, rect->row1, rect->col1, rect->row2, rect->col2);

    std::string target;
    bool found = false;
    for (int pass = 0; pass < 2 && !found; ++pass) {
        for (const DefinedName& n : m_book->names) {
            if (n.localSheet == (pass == 0 ? m_sheet : -1) && equalsIgnoreCase(n.name, reference)) {
                target = n.target;
                found = true;
                break;
            }
        }
    }
    if (!found)
        target = ref;
    std::string sheetName, address;
    if (splitQualified(target, sheetName, address)) {
        int sheet = m_book->sheetByName(toUtf16(sheetName));
        auto rect = parseRangeAddress(address);
        std::string where = "sheet '" + toUtf8(name()) + "': '" + ref + "' ";
        // A worksheet's range lies on that worksheet, whatever a name says.
        if (sheet >= 0 && sheet != m_sheet && rect)
            m_book->fail(where + "refers to a range on sheet '" + sheetName + "', not on this sheet");
        if (sheet >= 0 && rect)
            return Range(m_book, sheet, rect->row1, rect->col1, rect->row2, rect->col2);
    }
    std::string where = "sheet '" + toUtf8(name()) + "': '" + ref + "' ";
    if (found)
        m_book->fail(where + "is a name that does not refer to a range (" + target + ")");
    m_book->fail(where + "is neither a cell reference nor a defined name");
}

// ---- Range ----

std::u16string Range::text() const
{
    const Sheet& sheet = m_book->sheetThrough(m_sheet, static_cast<uint32_t>(m_row2), static_cast<uint32_t>(m_col2));
    const auto& cells = sheet.cells;
    auto it = std::lower_bound(
        cells.begin(), cells.end(), std::make_pair(m_row1, m_col1), [](const Cell& c, const std::pair<int, int>& key) {
            return c.row != static_cast<uint32_t>(key.first) ? c.row < static_cast<uint32_t>(key.first)
                                                             : c.col < static_cast<uint32_t>(key.second);
        });
    long long area = static_cast<long long>(m_row2 - m_row1 + 1) * (m_col2 - m_col1 + 1);
    long long seen = 0;
    std::optional<std::u16string> common;
    for (; it != cells.end() && it->row <= static_cast<uint32_t>(m_row2); ++it) {
        if (it->col < static_cast<uint32_t>(m_col1) || it->col > static_cast<uint32_t>(m_col2))
            continue;
        ++seen;
        std::u16string t = m_book->display(sheet, *it);
        if (!common)
            common = std::move(t);
        else if (*common != t)
            return {};
    }
    // Cells not stored are empty and show nothing.
    if (!common || (seen < area && !common->empty()))
        return {};
    return *common;
}

}  // namespace tessly::spreadsheet
